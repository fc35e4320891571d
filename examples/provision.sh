#!/bin/sh
# Creates the registry keys that a zebsetup.inf expects before zebcfg can be
# used: its device root ([cfg_strings] dev_reg_root) and its property-map key
# ([cfg_strings] map_path), both below HKLM, and nothing else.
#
#   REG=build/native/zebreg examples/provision.sh   # native store ($ZEBCFG_ROOT)
#   REG="wine reg" examples/provision.sh            # Wine prefix ($WINEPREFIX)
#
# REG holds the reg command, which may be several words and takes reg.exe's
# syntax. The INF is examples/zebsetup.inf unless given as the first argument.
set -eu

: "${REG:?set REG to the reg command, e.g. REG=build/native/zebreg}"
INF=${1:-$(dirname "$0")/zebsetup.inf}
[ -r "$INF" ] || { echo "provision: cannot read $INF" >&2; exit 1; }

# Field 1 of a [cfg_strings] line, first line wins, quotes and blanks removed.
cfg_string() {
  tr -d '\r' <"$INF" | awk -v want="$1" '
    /^[ \t]*\[/ { s = tolower($0); gsub(/[][ \t]/, "", s); sect = s; next }
    sect == "cfg_strings" {
      line = $0; sub(/;.*/, "", line)
      eq = index(line, "="); if (eq == 0) next
      key = substr(line, 1, eq - 1); gsub(/^[ \t]+|[ \t]+$/, "", key)
      if (tolower(key) != tolower(want)) next
      val = substr(line, eq + 1); gsub(/^[ \t]+|[ \t]+$/, "", val); gsub(/"/, "", val)
      print val; exit
    }'
}

DEV_ROOT=$(cfg_string dev_reg_root)
MAP_PATH=$(cfg_string map_path)
[ -n "$DEV_ROOT" ] && [ -n "$MAP_PATH" ] || {
  echo "provision: $INF lacks dev_reg_root or map_path in [cfg_strings]" >&2
  exit 1
}

set -f  # REG is split into words below, never globbed
for key in "HKLM\\$DEV_ROOT" "HKLM\\$MAP_PATH"; do
  # shellcheck disable=SC2086
  $REG add "$key" /f >/dev/null
  echo "created $key"
done
