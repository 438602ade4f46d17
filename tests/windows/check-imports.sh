#!/usr/bin/env bash
# scripts/check/check-imports and scripts/check/check-dll on MSVC's decorated names, read as the hosted runner
# reads them and as here: two COFF DLLs linked as MSVC links one (clang in MSVC mode, lld-link, an
# import library from a .def), one importing three names the host exports, the other those and one
# it does not. Each row reads them with mingw-w64's objdump or with the dumpbin stand-in (AsaApi.dll
# listed first, then last), with MSVC's undname, LLVM's llvm-undname or no demangler on the PATH:
# the first passes, the second is refused naming exactly the missing name, shown demangled where a
# demangler is there and decorated where none is. A last row calls the dumpbin stand-in from bash
# without the guard, as check-imports did before, and must see it fail as on the runner. Each row
# also refuses a DLL that imports from the host by ordinal, and, with dumpbin, takes the release
# DLLs of the redistributable (std::atomic::wait's, the codecvt facets') and refuses a debug one;
# one more row takes a cmake that ends its output lines with CRLF, as cmake.exe may.
# Usage: tests/windows/check-imports.sh PROJECT_DIR
set -euo pipefail
root=$(realpath "$1")
exports=$root/cmake/AsaApi-exports.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mapfile -t known < <(tr -d '\r' <"$exports" | grep '^??0FString' | head -3)
[ ${#known[@]} -eq 3 ] || { echo "the export list has no three FString constructors"; exit 1; }
missing='?NotInTheHost@@YAXXZ'
build() {  # DLL NAME...: NAME from AsaApi.dll, OTHER.dll!NAME from another DLL, "NAME @N NONAME" by ordinal
  local dll=$1 i=0 calls="" libs=() from
  shift
  {
    for name in "$@"; do
      echo "__declspec(dllimport) void f$i(void) __asm__(\"${name#*!}\");" | sed 's/ @[0-9]* NONAME//'
      calls+="f$i(); "
      i=$((i + 1))
    done
    # And one name from KERNEL32.dll, so that AsaApi.dll is not the only DLL listed.
    echo "__declspec(dllimport) unsigned long GetTickCount(void);"
    echo "__declspec(dllexport) void Plugin_Init(void) { $calls GetTickCount(); }"
    echo "__declspec(dllexport) void Plugin_Unload(void) {}"
  } >"$dll.c"
  for from in $(printf '%s\n' "$@" | sed -n 's/!.*//p' | sort -u) AsaApi.dll; do
    { printf 'LIBRARY %s\nEXPORTS\n' "$from"
      for name in "$@"; do
        if [ "$from" = AsaApi.dll ]; then [[ $name == *!* ]] || printf '    %s\n' "$name"
        elif [[ $name == "$from!"* ]]; then printf '    %s\n' "${name#*!}"; fi
      done; } >"$dll.$from.def"
    llvm-dlltool -m i386:x86-64 -d "$dll.$from.def" -l "$dll.$from.lib"
    libs+=("$dll.$from.lib")
  done
  clang-cl-14 --target=x86_64-pc-windows-msvc /nologo /c /Zl "$dll.c" "/Fo$dll.obj"
  lld-link /nologo /dll /noentry /nodefaultlib "/out:$dll.dll" "$dll.obj" "${libs[@]}" kernel32.lib
}
printf 'LIBRARY KERNEL32.dll\nEXPORTS\n    GetTickCount\n' >kernel32.def
llvm-dlltool -m i386:x86-64 -d kernel32.def -l kernel32.lib
build Good "${known[@]}"
build Bad "${known[@]}" "$missing"
build Ordinal "${known[@]}" "Hidden @12 NONAME"
build Runtime "${known[@]}" msvcp140_atomic_wait.dll!__std_atomic_wait_direct msvcp140_codecvt_ids.dll!__std_codecvt_id
build DebugRuntime "${known[@]}" msvcp140d_atomic_wait.dll!__std_atomic_wait_direct

# A PATH of the tools the scripts use and no others, so that a demangler is there only when a row
# puts it there.
tools() {  # DIR [TOOL...]: the basic tools, then each TOOL from the stand-ins or the system
  mkdir -p "$1"
  for t in bash env sh cat cut sed awk grep sort comm tr wc head mktemp rm dirname basename realpath cmake \
           x86_64-w64-mingw32-objdump; do
    ln -sf "$(command -v "$t")" "$1/$t"
  done
  local dir=$1
  shift
  for t in "$@"; do
    if [ -x "$root/tests/windows/bin/$t" ]; then ln -sf "$root/tests/windows/bin/$t" "$dir/$t"
    else ln -sf "$(command -v "$t-14")" "$dir/$t"; fi
  done
}
exported=$(tr -d '\r' <"$exports" | grep -c .)
failed=0
row() {  # READER ORDER DEMANGLER
  local reader=$1 order=$2 demangler=$3 dir="$work/path-$1-$2-$3" out status
  local extra=()
  [ "$reader" = dumpbin ] && extra+=(dumpbin)
  [ "$demangler" = none ] || extra+=("$demangler")
  [ "$demangler" = undname ] && extra+=(llvm-undname)  # what the undname stand-in reads with
  tools "$dir" "${extra[@]}"
  local shown=$missing
  [ "$demangler" = none ] || shown="void __cdecl NotInTheHost(void)  ($missing)"
  local what="$reader${order:+ ($order)}, demangler $demangler" before=$failed
  if ! out=$(PATH=$dir DUMPBIN_ASAAPI=$order bash "$root/scripts/check/check-dll" "$work/Good.dll" 2>&1) ||
     ! grep -qxF "check-imports: 3 names imported from AsaApi.dll, 0 not among the host's $exported exports" <<<"$out"; then
    echo "FAILED: $what: check-dll refused a DLL whose host imports are all exported"; echo "$out"; failed=$((failed + 1))
  fi
  status=0
  out=$(PATH=$dir DUMPBIN_ASAAPI=$order bash "$root/scripts/check/check-imports" "$work/Bad.dll" "$exports" 2>&1) || status=$?
  if [ "$status" -eq 0 ] || [ "$(grep -c '^not exported by the host: ' <<<"$out")" -ne 1 ] ||
     ! grep -qxF "not exported by the host: $shown" <<<"$out" ||
     ! grep -qxF "check-imports: 4 names imported from AsaApi.dll, 1 not among the host's $exported exports" <<<"$out"; then
    echo "FAILED: $what: check-imports did not name exactly $missing"; echo "$out"; failed=$((failed + 1))
  fi
  # An import by ordinal is refused by its ordinal, by either reader.
  status=0
  out=$(PATH=$dir DUMPBIN_ASAAPI=$order bash "$root/scripts/check/check-imports" "$work/Ordinal.dll" "$exports" 2>&1) || status=$?
  if [ "$status" -eq 0 ] || ! grep -qxF "imported from AsaApi.dll by ordinal, not by name: Ordinal 12" <<<"$out"; then
    echo "FAILED: $what: check-imports did not refuse the import by ordinal 12"; echo "$out"; failed=$((failed + 1))
  fi
  # dumpbin reads MSVC's DLLs: every release DLL of the redistributable, and no debug one.
  if [ "$reader" = dumpbin ]; then
    if ! out=$(PATH=$dir DUMPBIN_ASAAPI=$order bash "$root/scripts/check/check-dll" "$work/Runtime.dll" 2>&1); then
      echo "FAILED: $what: check-dll refused the release runtime's DLLs"; echo "$out"; failed=$((failed + 1))
    fi
    if out=$(PATH=$dir DUMPBIN_ASAAPI=$order bash "$root/scripts/check/check-dll" "$work/DebugRuntime.dll" 2>&1) ||
       ! grep -qF "imports the debug runtime msvcp140d_atomic_wait.dll" <<<"$out"; then
      echo "FAILED: $what: check-dll took a debug runtime"; echo "$out"; failed=$((failed + 1))
    fi
  fi
  [ "$failed" -ne "$before" ] || echo "ok: $what"
}
for demangler in undname llvm-undname none; do
  row objdump "" "$demangler"
  row dumpbin first "$demangler"
  row dumpbin last "$demangler"
done

# cmake.exe on the runner may end its lines with CRLF: check-dll's tables are the same.
tools "$work/path-crlf" dumpbin
rm "$work/path-crlf/cmake"
printf '#!/usr/bin/env bash\nset -o pipefail\n%q "$@" | sed "s/\\$/\\r/"\n' "$(command -v cmake)" >"$work/path-crlf/cmake"
chmod +x "$work/path-crlf/cmake"
if ! out=$(PATH=$work/path-crlf bash "$root/scripts/check/check-dll" "$work/Good.dll" 2>&1) ||
   ! grep -qF "is fit for the host" <<<"$out"; then
  echo "FAILED: check-dll refused a good DLL when cmake ends its lines with CRLF"; echo "$out"; failed=$((failed + 1))
else
  echo "ok: check-dll with a cmake that ends its lines with CRLF"
fi

# Without the guard, Git Bash's rewriting reaches the stand-in as it reaches dumpbin on the runner.
tools "$work/path-unguarded" dumpbin
if out=$(PATH=$work/path-unguarded bash -c 'cd "$1" && dumpbin /nologo /imports Good.dll' bash "$work" 2>&1) ||
   ! grep -qF "cannot open input file 'C:/Program Files/Git/nologo'" <<<"$out"; then
  echo "FAILED: the dumpbin stand-in took unguarded options from bash"; echo "$out"; failed=$((failed + 1))
fi
[ "$failed" -eq 0 ]
