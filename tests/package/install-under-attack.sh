#!/usr/bin/env bash
# Installs as root into a server folder that another account owns, while that account (uid 1000,
# through setpriv: no such user need exist) swaps names in the plugin folder as fast as it can: a
# part file for a link to a root-only file, or the plugin folder for a link to a folder it may not
# write. After each install: the root-only file and the other folder are as they were, and an
# install that reports success has this version's files, not links, in place. Prints how many of
# the account's swaps landed while an install ran. Needs root: it fails without it under CI=true.
# Usage: tests/package/install-under-attack.sh PACKAGE [INSTALLS]
set -euo pipefail
fail() { echo "install-under-attack: $*" >&2; exit 1; }
[ $# -ge 1 ] || fail "usage: install-under-attack.sh PACKAGE [INSTALLS]"
if [ "$(id -u)" -ne 0 ]; then
  [ "${CI:-}" != true ] || fail "needs root, which CI has"
  echo "install-under-attack: skipped: only root can play another account"
  exit 77
fi
package=$(cd "$1" && pwd)
installs=${2:-40}
checker=$package/lumora-config/lumora-config
plugin=ArkApi/Plugins/Lumora

work=$(mktemp -d)
attacker=
cleanup() {
  [ -z "$attacker" ] || kill "$attacker" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
server=$work/server
mkdir -p "$server/$plugin" "$work/other"
chown -R 1000:1000 "$server"
printf 'root only' >"$work/victim"
chmod 600 "$work/victim"
printf "the other's" >"$work/other/README.md"
: >"$work/swaps"
chown 1000:1000 "$work/swaps"
state() {
  stat -c '%a %u %s' "$work/victim"
  cat "$work/victim"
  find "$work/other" -printf '%P %y %m %u %s\n' | sort
  cat "$work/other/README.md"
}
before=$(state)

# The account's loop: in odd rounds each part file it sees becomes a link to the victim, in even
# ones the plugin folder is moved aside for a link to the other folder once a part file shows. One
# line in swaps per swap that landed.
cat >"$work/attack.sh" <<'EOF'
set -u
cd "$1/ArkApi/Plugins" || exit 1
for ((n = 0; n < 200000; n++)); do
  [ ! -e "$2" ] || exit 0
  for part in Lumora/*.part-*; do
    [ -e "$part" ] || [ -L "$part" ] || continue
    if [ "$6" = part ]; then
      ln -sfn "$3" Lumora/.swap && mv -T Lumora/.swap "$part" 2>/dev/null && echo part >>"$5"
    elif [ ! -L Lumora ]; then
      mv -T Lumora Lumora.aside 2>/dev/null && ln -s "$4" Lumora && echo folder >>"$5"
    fi
    break
  done
done
EOF

declare -A statuses=()
for ((i = 1; i <= installs; i++)); do
  rm -f "$work/stop"
  setpriv --reuid=1000 --regid=1000 --clear-groups bash "$work/attack.sh" "$server" "$work/stop" "$work/victim" \
    "$work/other" "$work/swaps" "$( ((i % 2)) && echo part || echo folder)" &
  attacker=$!
  status=0
  timeout 60 "$checker" install "$server" "$package" >"$work/out" 2>&1 || status=$?
  touch "$work/stop"
  wait "$attacker" || fail "the account's loop failed (status $?)"
  attacker=
  statuses[$status]=$((${statuses[$status]:-0} + 1))
  [ "$status" -ne 124 ] || fail "install $i did not end within 60 s"
  [ "$(state)" = "$before" ] || fail "install $i changed the victim or the other folder: $(state)"
  ! grep -q 'root only' "$work/out" || fail "install $i showed the victim's bytes"
  if [ "$status" -eq 0 ]; then
    [ ! -L "$server/$plugin" ] || fail "install $i reported success with the plugin folder a link"
    for name in Lumora.so PluginInfo.json README.md config.schema.json; do
      if [ ! -f "$server/$plugin/$name" ] || [ -L "$server/$plugin/$name" ]; then
        fail "install $i reported success with $name not a regular file"
      fi
      cmp -s "$server/$plugin/$name" "$package/$plugin/$name" || fail "install $i reported success with $name not this version's"
    done
  fi
  # The admin puts the folder back for the next round.
  if [ -L "$server/$plugin" ]; then rm "$server/$plugin"; fi
  if [ -d "$server/$plugin.aside" ]; then rm -rf "${server:?}/$plugin" && mv "$server/$plugin.aside" "$server/$plugin"; fi
  find "$server/$plugin" -maxdepth 1 -type l -delete
  chown -R 1000:1000 "$server"
done
summary=
for status in $(printf '%s\n' "${!statuses[@]}" | sort -n); do summary+=" status $status: ${statuses[$status]};"; done
echo "install-under-attack: $installs installs as root against uid 1000:$summary" \
  "swaps that landed while an install ran: $(grep -c part "$work/swaps" || true) part files," \
  "$(grep -c folder "$work/swaps" || true) plugin folders; the victim and the other folder unchanged"
