#!/usr/bin/env bash
# The scripts that only the hosted Windows runner runs, run here against stand-ins of the runner's
# programs (tests/windows/bin: cmd.exe, cygpath, cl.exe, link.exe, lib.exe; below: vswhere.exe,
# the Visual Studio installer's setup.exe, vcvarsall.bat). The scripts name the installer's folder
# as "C:/Program Files (x86)/...": run from a scratch folder, that is a relative path here, where
# the stand-ins are laid out.
# Usage: tests/windows/runner-scripts.sh PROJECT_DIR
set -euo pipefail
root=$(realpath "$1")
w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
cd "$w"
failed=0
expect() {  # WHAT STATUS TEXT COMMAND...: COMMAND exits with STATUS and prints a line holding TEXT
  local what=$1 want=$2 text=$3 out status=0
  shift 3
  out=$("$@" 2>&1) || status=$?
  if [ "$status" -ne "$want" ] || ! grep -qF -- "$text" <<<"$out"; then
    echo "FAILED: $what (exit $status, wanted $want and '$text'):"; echo "$out"; failed=$((failed + 1))
  else
    echo "ok: $what"
  fi
}

# ---- Visual Studio: vswhere, the installer, vcvarsall and the toolset's tools ----
installer="C:/Program Files (x86)/Microsoft Visual Studio/Installer"
vs=$w/VS
mkdir -p "$installer" "$vs/VC/Auxiliary/Build" "$w/bin"
ln -s "$root/tests/windows/bin/cmd.exe" "$root/tests/windows/bin/cygpath" "$w/bin/"
printf '#!/usr/bin/env bash\nprintf "%%s\\r\\n" "%s"\n' "$vs" >"$installer/vswhere.exe"
# The installer: SETUP_CASE=hands-over ends at once and installs the toolset two seconds later, as an
# installer that updates itself first does; updates-itself installs nothing on its first run and
# the toolset on the next; updates-itself-exits-1 the same, its first run exiting with 1; fails
# exits 1; installs-nothing exits 0.
cat >"$installer/setup.exe" <<SETUP
#!/usr/bin/env bash
[ "\$*" = "modify --installPath $vs --add Microsoft.VisualStudio.Component.VC.14.39.17.9.x86.x64 --quiet --norestart --nocache" ] ||
  { echo "setup.exe: unexpected arguments: \$*"; exit 87; }
case "\$SETUP_CASE" in
  hands-over) (sleep 2; mkdir -p "$vs/VC/Tools/MSVC/14.39.33519") >/dev/null 2>&1 & exit 0 ;;
  updates-itself) [ -e "$w/updated" ] && mkdir -p "$vs/VC/Tools/MSVC/14.39.33519"; touch "$w/updated"; exit 0 ;;
  updates-itself-exits-1) [ -e "$w/updated-1" ] && { mkdir -p "$vs/VC/Tools/MSVC/14.39.33519"; exit 0; }
    touch "$w/updated-1"; exit 1 ;;
  fails) exit 1 ;;
esac
SETUP
# vcvarsall.bat, sourced by the cmd.exe stand-in: a missing toolset is an ERROR line and exit 0.
cat >"$vs/VC/Auxiliary/Build/vcvarsall.bat" <<'BAT'
toolset=${2#-vcvars_ver=}
for dir in "$VS_ROOT/VC/Tools/MSVC/$toolset".*; do
  if [ -d "$dir" ]; then
    export PATH="$dir/bin/Hostx64/x64:$PATH" VCToolsVersion=${dir##*/}
    echo "[vcvarsall.bat] Environment initialized for: 'x64'"
    return 0
  fi
done
echo "[ERROR:vcvars.bat] Toolset directory for version '$toolset' was not found."
return 0
BAT
chmod +x "$installer"/*.exe
export VS_ROOT=$vs PATH="$w/bin:$PATH" LUMORA_TOOLSET_POLL_SECONDS=1
tools() { mkdir -p "$1/bin/Hostx64/x64" && ln -sf "$root"/tests/windows/bin/{cl,link,lib}.exe "$1/bin/Hostx64/x64/"; }

# ---- msvc-toolset: waits for the work, not for the process ----
toolset=$root/scripts/windows/msvc-toolset
expect "toolset: an installer that ends at once and installs two seconds later" 0 "MSVC 14.39 is installed in $vs after" \
  env SETUP_CASE=hands-over "$toolset" 14.39 17.9 1
expect "toolset: installed, the installer not run" 0 "MSVC 14.39 is installed in $vs" \
  env SETUP_CASE=fails "$toolset" 14.39 17.9 1
rm -rf "$vs/VC/Tools"
expect "toolset: an installer that only updates itself, run once more" 0 "running the installer once more" \
  env SETUP_CASE=updates-itself "$toolset" 14.39 17.9 0
rm -rf "$vs/VC/Tools"
expect "toolset: an installer that installs nothing, within the limit" 1 "MSVC 14.39 is still missing after 0.0 minutes (limit 0)" \
  env SETUP_CASE=installs-nothing "$toolset" 14.39 17.9 0
rm -rf "$vs/VC/Tools"
expect "toolset: an installer that updates itself, exits with 1, and installs when run once more" 0 \
  "MSVC 14.39 is installed in $vs after" env SETUP_CASE=updates-itself-exits-1 "$toolset" 14.39 17.9 0
rm -rf "$vs/VC/Tools"
# Both runs fail: the step ends at once, not after the 35 minutes of its limit.
expect "toolset: an installer that fails twice" 1 "the installer exited with 1, and with 1 when run once more" \
  env SETUP_CASE=fails "$toolset" 14.39 17.9 35

# ---- msvc-env: vcvarsall's output read, the environment written, the compiler checked ----
env_script=$root/scripts/windows/msvc-env
export GITHUB_ENV=$w/github-env
expect "msvc-env: a missing toolset, reported in vcvarsall's output only" 1 "Toolset directory for version '14.39' was not found" \
  "$env_script" 14.39
expect "msvc-env --check: a missing toolset" 1 "" "$env_script" --check 14.39
tools "$vs/VC/Tools/MSVC/14.39.33519"
: >"$GITHUB_ENV"
expect "msvc-env: the toolset set up" 0 "cl: Microsoft (R) C/C++ Optimizing Compiler Version 19.39.33523 for x64" \
  "$env_script" 14.39
for line in "VCToolsVersion=14.39.33519" "PATH=$vs/VC/Tools/MSVC/14.39.33519/bin/Hostx64/x64:"; do
  grep -qF "$line" "$GITHUB_ENV" || { echo "FAILED: msvc-env wrote no $line to GITHUB_ENV"; failed=$((failed + 1)); }
done
expect "msvc-env --check: the toolset there" 0 "" "$env_script" --check 14.39
expect "msvc-env: another compiler than the toolset's" 1 "cl.exe is not compiler 19.39" env CL_VERSION=19.40.33811 "$env_script" 14.39

# ---- asaapi-import-lib: the names the probe link leaves imported become the import library ----
import_lib=$root/scripts/windows/asaapi-import-lib
mkdir -p objects && : >objects/Plugin.obj
export PATH="$vs/VC/Tools/MSVC/14.39.33519/bin/Hostx64/x64:$PATH"
expect "import library: two names imported from the host" 0 "AsaApi.dll, as Lumora uses it: 2 names" \
  env LINK_CASE=unresolved "$import_lib" objects out/AsaApi.lib
if ! grep -qxF '    ?GetCommands@AsaApi@@YAAEAVICommands@1@XZ' out/AsaApi.lib ||
   ! grep -qxF 'LIBRARY AsaApi.dll' out/AsaApi.lib; then
  echo "FAILED: the import library's .def is not what the probe link named:"; cat out/AsaApi.lib; failed=$((failed + 1))
fi
expect "import library: a name no DLL provides" 1 "the objects need symbols that no DLL provides" \
  env LINK_CASE=not-imported "$import_lib" objects out/AsaApi.lib
expect "import library: another link error" 1 "failed for another reason than unresolved names" \
  env LINK_CASE=cannot-open "$import_lib" objects out/AsaApi.lib
expect "import library: a probe that needs nothing from the host" 1 "import nothing from it" \
  env LINK_CASE=links "$import_lib" objects out/AsaApi.lib

# ---- Git Bash's rewriting, as the stand-ins play it: by bash and Git's other programs ----
# shellcheck disable=SC2016 # the lines are written, not run
printf '#!/usr/bin/env bash\nsource %q\nprintf "[%%s]" "${args[@]}"\n' "$root/tests/windows/git-bash-args.sh" >bin/args.exe
chmod +x bin/args.exe
expect "Git Bash: bash rewrites a /option, and //c becomes /c" 0 "[C:/Program Files/Git/nologo][/c][x]" \
  bash -c 'args.exe /nologo //c x; true'
expect "Git Bash: xargs rewrites too" 0 "[C:/Program Files/Git/nologo]" bash -c 'echo /nologo | xargs args.exe'
expect "Git Bash: timeout rewrites too" 0 "[C:/Program Files/Git/nologo]" bash -c 'timeout 5 args.exe /nologo; true'
expect "Git Bash: the guard keeps every argument" 0 "[/nologo][//c]" \
  bash -c 'MSYS2_ARG_CONV_EXCL="*" timeout 5 args.exe /nologo //c; true'
expect "Git Bash: a Windows program's child gets its arguments as they are" 0 "[/nologo]" \
  python3 -c 'import subprocess; subprocess.run(["args.exe", "/nologo"])'

# ---- check-guards: a call without the one guard is refused, by its line ----
# shellcheck disable=SC2016 # the lines are written, not run
printf '#!/usr/bin/env bash\n"$msvc/link.exe" /NOLOGO /DLL x.obj\ncmd //c build.bat\n' >unguarded
# shellcheck disable=SC2016 # the lines are written, not run
printf '#!/usr/bin/env bash\nscripts/windows/wintool "$msvc/link.exe" /NOLOGO /DLL x.obj\n# dumpbin /imports, a comment\n' >guarded
expect "check-guards: unguarded calls" 1 "unguarded:2:" "$root/scripts/windows/check-guards" unguarded
expect "check-guards: unguarded cmd" 1 "unguarded:3:" "$root/scripts/windows/check-guards" unguarded
expect "check-guards: guarded calls" 0 "" "$root/scripts/windows/check-guards" guarded
# A script outside scripts/ that a workflow runs is held to the guard too.
mkdir -p tests/package
# shellcheck disable=SC2016 # the lines are written, not run
printf '#!/usr/bin/env bash\ncmd.exe /c ver\n' >tests/package/install.sh
printf 'steps:\n  - run: tests/package/install.sh build/extracted\n' >workflow.yml
expect "check-guards: a script a workflow runs" 1 "tests/package/install.sh:2:" \
  "$root/scripts/windows/check-guards" guarded --workflows workflow.yml
[ "$failed" -eq 0 ]
