#!/usr/bin/env bash
# A COFF DLL linked as MSVC links one (clang in MSVC mode, lld-link, an import library from a .def),
# importing MSVC's decorated names from AsaApi.dll: three that the host exports and one that it
# does not. scripts/check-imports must read those names and name exactly the missing one.
# Usage: tests/imports/msvc-names.sh CHECK_IMPORTS EXPORTS
set -euo pipefail
check_imports=$(realpath "$1")
exports=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mapfile -t known < <(tr -d '\r' <"$exports" | grep '^??0FString' | head -3)
[ ${#known[@]} -eq 3 ] || { echo "the export list has no three FString constructors"; exit 1; }
missing='?NotInTheHost@@YAXXZ'
{
  i=0
  for name in "${known[@]}" "$missing"; do
    echo "__declspec(dllimport) void f$i(void) __asm__(\"$name\");"
    i=$((i + 1))
  done
  echo "__declspec(dllexport) void Plugin_Init(void) { f0(); f1(); f2(); f3(); }"
} >plugin.c
printf 'LIBRARY AsaApi.dll\nEXPORTS\n' >AsaApi.def
printf '    %s\n' "${known[@]}" "$missing" >>AsaApi.def
llvm-dlltool -m i386:x86-64 -d AsaApi.def -l AsaApi.lib
clang-cl-14 --target=x86_64-pc-windows-msvc /nologo /c /Zl plugin.c /Foplugin.obj
lld-link /nologo /dll /noentry /nodefaultlib /out:Plugin.dll plugin.obj AsaApi.lib
if out=$(bash "$check_imports" Plugin.dll "$exports" 2>&1); then
  echo "$out"
  echo "check-imports passed a DLL that imports $missing"
  exit 1
fi
echo "$out"
grep -qxF 'not exported by the host: void __cdecl NotInTheHost(void)  (?NotInTheHost@@YAXXZ)' <<<"$out"
grep -qxF 'check-imports: 4 names imported from AsaApi.dll, 1 not among the host'"'"'s '"$(grep -c . "$exports")"' exports' <<<"$out"
