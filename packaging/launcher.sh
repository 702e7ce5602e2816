#!/bin/sh
# Starts one of the station's programs installed in ../lib/tarn-station. The station keeps
# its settings, copy list, trace and records in misc/ beside its program file, so mpstation
# and mprecords run from a station folder of the user's own: $TARN_STATION_DIR, by default
# ${XDG_DATA_HOME:-~/.local/share}/tarn-station, made from the installed one. Programs are
# brought up to date there at every start; data files are copied only when absent, so what
# an engineer edited there (flash tables, lang.ini) stays.
set -e
name=${0##*/}
installed=$(cd "$(dirname "$(readlink -f "$0")")/../lib/tarn-station" && pwd)
case $name in
  tarnsim|preferpack) exec "$installed/$name" "$@" ;;
  devcmd) exec "$installed/misc/devcmd" "$@" ;;
esac
station=${TARN_STATION_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/tarn-station}
mkdir -p "$station/misc"
for file in "$installed"/* "$installed"/misc/*; do
  [ -f "$file" ] || continue
  rel=${file#"$installed"/}
  if [ -x "$file" ]; then
    # A running station keeps the program it started with: replace by renaming.
    if ! cmp -s "$file" "$station/$rel"; then
      cp "$file" "$station/$rel.new"
      mv -f "$station/$rel.new" "$station/$rel"
    fi
  elif [ ! -e "$station/$rel" ]; then
    cp "$file" "$station/$rel"
  fi
done
exec "$station/$name" "$@"
