# Sourced by the stand-ins of Windows programs: sets "args" to the program's arguments as it gets
# them when Git for Windows' bash starts it. An argument that begins with "/" and holds no ":" or
# ";" is rewritten as a path under Git's folder, unless MSYS2_ARG_CONV_EXCL='*' (the guard) is set;
# a program started by anything but bash gets its arguments as they are.
# shellcheck shell=bash
args=("$@")
if [ "$(cat "/proc/$PPID/comm" 2>/dev/null)" = bash ] && [ "${MSYS2_ARG_CONV_EXCL:-}" != '*' ]; then
  for i in "${!args[@]}"; do
    [[ ${args[$i]} =~ ^/[^:\;]*$ ]] && args[i]="C:/Program Files/Git${args[$i]}"
  done
fi
