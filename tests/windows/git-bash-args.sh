# Sourced by the stand-ins of Windows programs: sets "args" to the program's arguments as it gets
# them when a program of Git for Windows' own (bash, or env, xargs, timeout and the like, which
# start a Windows program as bash does) starts it. Unless MSYS2_ARG_CONV_EXCL='*' (the guard) is
# set, an argument that begins with "//" loses one "/", and one that begins with "/" and holds no
# ":" or ";" is rewritten as a path under Git's folder. A program started by anything else (a
# Windows program such as cmake.exe) gets its arguments as they are.
# shellcheck shell=bash
args=("$@")
case "$(cat "/proc/$PPID/comm" 2>/dev/null)" in
  bash | sh | env | xargs | timeout | nice | nohup | find | stdbuf | time) git_parent=1 ;;
  *) git_parent=0 ;;
esac
if [ "$git_parent" -eq 1 ] && [ "${MSYS2_ARG_CONV_EXCL:-}" != '*' ]; then
  for i in "${!args[@]}"; do
    if [[ ${args[$i]} == //* ]]; then
      args[i]=${args[$i]#/}
    elif [[ ${args[$i]} =~ ^/[^:\;]*$ ]]; then
      args[i]="C:/Program Files/Git${args[$i]}"
    fi
  done
fi
