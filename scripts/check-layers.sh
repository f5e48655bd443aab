#!/usr/bin/env bash
# Dependencies point one way: a file may include headers of its own folder and
# of folders below it, never of a folder above. The build enforces it too (each
# folder's library sees only the headers of the libraries it links); this is
# the order in one readable place:
#   platform < serial < keying < net < audio < transmit < scheduler < app < editor < console < web, gui (side by side)
set -euo pipefail
cd "$(dirname "$0")/../src"

rank() {
  case "$1" in
    platform) echo 0 ;;
    serial) echo 1 ;;
    keying) echo 2 ;;
    net) echo 3 ;;
    audio) echo 4 ;;
    transmit) echo 5 ;;
    scheduler) echo 6 ;;
    app) echo 7 ;;
    editor) echo 8 ;;
    console) echo 9 ;;
    web | gui) echo 10 ;;
    *) echo -1 ;;
  esac
}

status=0
for folder in */; do
  folder=${folder%/}
  own=$(rank "$folder")
  if [ "$own" -lt 0 ]; then
    echo "check-layers: src/$folder has no place in the layers; add it to scripts/check-layers.sh" >&2
    status=1
    continue
  fi
  while IFS= read -r hit; do
    file=${hit%%:*}
    included=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$hit")
    theirs=$(rank "$included")
    if [ "$theirs" -gt "$own" ]; then
      echo "check-layers: src/$file includes a header of src/$included/, a layer above src/$folder/" >&2
      status=1
    fi
  done < <(grep -HnE '^\s*#\s*include "[^/"]+/' -r "$folder" || true)
done
[ "$status" -eq 0 ] && echo "check-layers: every include points down"
exit "$status"
