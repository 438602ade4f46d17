#!/usr/bin/env bash
# Installs from an extracted package with the checker it carries, as an admin would: a first
# install, an upgrade that keeps a changed config.json, one after a killed install, two at once,
# folders named in any letters and deep ones, one whose kept config.json this version refuses and,
# given a development host to hold the library (lumora-devhost --hold, which starts nothing of it),
# an upgrade while the server runs.
# The checker finds the package from its own place. Windows programs run natively in Git Bash, and
# under wine elsewhere.
# Usage: tests/package/install-from-package.sh PACKAGE [DEVHOST]
set -euo pipefail
fail() { echo "install-from-package: $*" >&2; exit 1; }
[ $# -ge 1 ] || fail "usage: install-from-package.sh PACKAGE [DEVHOST]"
package=$(cd "$1" && pwd)
devhost=${2:-}
plugin=ArkApi/Plugins/Lumora
checker=$package/lumora-config/lumora-config
run=()
native() { printf '%s' "$1"; }
if [ -f "$checker.exe" ]; then
  checker=$checker.exe
  case "$(uname -s)" in
    MINGW* | MSYS*) native() { cygpath -w "$1"; } ;;
    *)
      run=(wine)
      # Drive Z: is the root in a wine prefix; winepath cuts a path at 260 characters.
      native() { printf 'Z:%s' "${1//\//\\}"; }
      ;;
  esac
fi
[ -x "$checker" ] || [ -f "$checker" ] || fail "the package holds no checker at lumora-config/"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
server=$work/server
mkdir -p "$server/ArkApi"

install() {  # EXPECTED_STATUS [SERVER [CHECKER]]: runs the install and prints what it said
  local status=0 into=${2:-$server} with=${3:-$checker}
  "${run[@]}" "$with" install "$(native "$into")" >"$work/out" 2>&1 || status=$?
  tr -d '\r' <"$work/out" | sed "s|$(native "$into" | sed 's/[\\|.]/\\&/g')|SERVER|g"
  [ "$status" -eq "$1" ] || fail "install exited with $status, not $1"
}
same_as_package() {  # [SERVER]: every file of the package's plugin folder but config.json is in place
  local file into=${1:-$server}
  for file in "$package/$plugin"/*; do
    [ "$(basename "$file")" = config.json ] && continue
    cmp -s "$file" "$into/$plugin/$(basename "$file")" || fail "$(basename "$file") is not the package's"
  done
  if find "$into/$plugin" -name '*.part-*' | grep -q .; then fail "a part file was left"; fi
}

echo "== a first install"
install 0
same_as_package
cmp -s "$package/$plugin/config.json" "$server/$plugin/config.json" || fail "config.json is not the package's"

echo "== an upgrade that keeps a changed config.json"
printf '{\n  "ChatCommands": ["fps", "gfx"],\n  "DefaultPreset": "low"\n}\n' >"$server/$plugin/config.json"
cp "$server/$plugin/config.json" "$work/admin.json"
printf 'old' >"$server/$plugin/README.md"
install 0
same_as_package
cmp -s "$work/admin.json" "$server/$plugin/config.json" || fail "the admin's config.json changed"

echo "== an upgrade after an install that was killed, which left part files"
library=$(basename "$(find "$package/$plugin" -name 'Lumora.*' ! -name '*.pdb')")
printf 'half' >"$server/$plugin/$library.part-12345"
printf 'half' >"$server/$plugin/config.json.part-678"
install 0 | tee "$work/said"
grep -q "^removed  $library.part-12345 (left by an install that was stopped)$" "$work/said" || fail "no part file removed"
same_as_package

echo "== two installs at once, in ten server folders: one at a time, each folder whole"
locked=0
for i in $(seq 10); do
  mkdir -p "$work/pair-$i/ArkApi"
  for side in a b; do
    (
      status=0
      "${run[@]}" "$checker" install "$(native "$work/pair-$i")" >"$work/pair-$i.$side" 2>&1 || status=$?
      echo "$status" >"$work/pair-$i.$side.status"
    ) &
  done
  wait
  for side in a b; do
    case "$(cat "$work/pair-$i.$side.status")" in
      0) ;;
      2) grep -q "another install into .* is running" "$work/pair-$i.$side" || fail "pair $i: $(cat "$work/pair-$i.$side")"
         locked=$((locked + 1)) ;;
      *) fail "pair $i: install exited with $(cat "$work/pair-$i.$side.status"): $(cat "$work/pair-$i.$side")" ;;
    esac
  done
  same_as_package "$work/pair-$i"
done
echo "the second install found the first one running $locked times of 10"

echo "== folders named in letters outside any one code page, and a path over 260 characters"
extracted="$work/Téléchargements Łukasz 日本"
cp -R "$package" "$extracted"
for into in "$work/Mon Serveur é Ł 日本/ShooterGame/Binaries/Win64" \
            "$work/$(printf 'a%.0s' $(seq 120))/$(printf 'b%.0s' $(seq 120))/Win64"; do
  mkdir -p "$into/ArkApi"
  install 0 "$into" "$extracted/lumora-config/$(basename "$checker")"
  same_as_package "$into"
  cmp -s "$package/$plugin/config.json" "$into/$plugin/config.json" || fail "config.json is not the package's"
done

echo "== an upgrade whose kept config.json this version refuses"
printf '{\n  "ChatCommands": ["fps"],\n  "DefaultPreset": "ultra"\n}\n' >"$server/$plugin/config.json"
cp "$server/$plugin/config.json" "$work/admin.json"
install 1
same_as_package
cmp -s "$work/admin.json" "$server/$plugin/config.json" || fail "the admin's config.json changed"

if [ -n "$devhost" ]; then
  echo "== an upgrade while the server has the library loaded"
  # Held as a server holds it, and never started: the DLL of a release is built against the SDK's
  # logging library, which the development host's stand-in is not. Held until descriptor 3 closes.
  exec 3> >(exec "${run[@]}" "$devhost" --hold "$(native "$server/$plugin/$library")" >"$work/devhost.out" 2>&1)
  holder=$!
  for _ in $(seq 100); do grep -qs '^holding ' "$work/devhost.out" && break; sleep 0.2; done
  grep -qs '^holding ' "$work/devhost.out" || fail "the development host did not hold the library: $(cat "$work/devhost.out")"
  cp "$server/$plugin/$library" "$work/held"
  install 2
  cmp -s "$work/held" "$server/$plugin/$library" || fail "the held library was replaced"
  if find "$server/$plugin" -name '*.part-*' | grep -q .; then fail "a part file was left"; fi
  exec 3>&-
  wait "$holder" || true
fi
echo "install-from-package: passed"
