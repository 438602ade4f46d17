#!/usr/bin/env bash
# Installs from an extracted package with the checker it carries, as an admin would: a first
# install, an upgrade that keeps a changed config.json, one whose kept config.json this version
# refuses and, given a development host to hold the library open, an upgrade while the server runs.
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
      native() { winepath -w "$1" 2>/dev/null; }
      ;;
  esac
fi
[ -x "$checker" ] || [ -f "$checker" ] || fail "the package holds no checker at lumora-config/"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
server=$work/server
mkdir -p "$server/ArkApi"

install() {  # EXPECTED_STATUS: runs the install and prints what it said
  local status=0
  "${run[@]}" "$checker" install "$(native "$server")" >"$work/out" 2>&1 || status=$?
  tr -d '\r' <"$work/out" | sed "s|$(native "$server" | sed 's/[\\|.]/\\&/g')|SERVER|g"
  [ "$status" -eq "$1" ] || fail "install exited with $status, not $1"
}
same_as_package() {  # every file of the package's plugin folder but config.json is in place
  local file
  for file in "$package/$plugin"/*; do
    [ "$(basename "$file")" = config.json ] && continue
    cmp -s "$file" "$server/$plugin/$(basename "$file")" || fail "$(basename "$file") is not the package's"
  done
  if find "$server/$plugin" -name '*.part-*' | grep -q .; then fail "a part file was left"; fi
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

echo "== an upgrade whose kept config.json this version refuses"
printf '{\n  "ChatCommands": ["fps"],\n  "DefaultPreset": "ultra"\n}\n' >"$server/$plugin/config.json"
cp "$server/$plugin/config.json" "$work/admin.json"
install 1
same_as_package
cmp -s "$work/admin.json" "$server/$plugin/config.json" || fail "the admin's config.json changed"

if [ -n "$devhost" ]; then
  echo "== an upgrade while the server has the library loaded"
  rm "$server/$plugin/config.json"
  # The host reads commands until its input ends: it holds the library until descriptor 3 closes.
  exec 3> >(exec "${run[@]}" "$devhost" --server-dir "$(native "$server")" >"$work/devhost.out" 2>&1)
  holder=$!
  for _ in $(seq 100); do grep -qs 'chat command registered' "$work/devhost.out" && break; sleep 0.2; done
  grep -qs 'chat command registered' "$work/devhost.out" || fail "the development host did not load the plugin"
  library=$(basename "$(find "$package/$plugin" -name 'Lumora.*' ! -name '*.pdb')")
  cp "$server/$plugin/$library" "$work/held"
  install 2
  cmp -s "$work/held" "$server/$plugin/$library" || fail "the held library was replaced"
  if find "$server/$plugin" -name '*.part-*' | grep -q .; then fail "a part file was left"; fi
  exec 3>&-
  wait "$holder" || true
fi
echo "install-from-package: passed"
