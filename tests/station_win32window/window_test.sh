#!/usr/bin/env bash
# One check of mpstation.exe's window under Wine, in a station folder of its own.
#   window_test.sh NAME DIST_DIR SEND_DEVICE_CHANGE OUT_DIR CHECK_EXE
# CHECK_EXE is the station built with its self-check (mpstation-check.exe in the folder);
# the shipped mpstation.exe is the later start and the one in a folder too deep.
# The screenshots of the self-checks are left in OUT_DIR (station-windows*.bmp).
set -uo pipefail
name=$1 dist=$2 sender=$3 out=$4 check_exe=$5
wine=${TARN_WINE:-wine}

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "no display: run under scripts/wine-env"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
station="$work/station"
mkdir -p "$station/misc"
cp "$dist/mpstation.exe" "$station/"
cp "$check_exe" "$station/mpstation-check.exe"
cp "$dist"/misc/*.* "$station/misc/" 2>/dev/null
winpath() { winepath -w "$1" 2>/dev/null; }
fail() { echo "FAIL: $*"; [ -e "$work/report.txt" ] && cat "$work/report.txt"; exit 1; }

# The station's own files, for "a later start touches no file".
listing() { (cd "$station" && find . -type f -printf '%p %s %T@\n' | sort); }

self_check() {  # LANG CAPTION SCREENSHOT: the self-check passes, the page's tab says CAPTION
  local lang=$1 caption=$2 shot=$3
  # Wine's system language is that of the session's first process: a new session in
  # the locale (scripts/setup generates them).
  locale -a 2>/dev/null | grep -qix "$(echo "$lang" | sed 's/UTF-8/utf8/')" || echo "note: locale $lang missing"
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  export LANG=$lang LC_ALL=$lang
  timeout 120 "$wine" "$station/mpstation-check.exe" \
    --self-check "$(winpath "$work/report.txt")" --screenshot "$(winpath "$out/$shot")" >/dev/null 2>&1
  local rc=$?
  [ $rc -eq 0 ] || fail "self-check exit code $rc"
  grep -qx "text TabSheet4 = $caption" "$work/report.txt" || fail "TabSheet4 is not \"$caption\""
  grep -q '^result: [0-9]* checks, 0 failed$' "$work/report.txt" || fail "no result line"
  [ -s "$out/$shot" ] || fail "no screenshot"
  grep '^result' "$work/report.txt"
}

wait_for() {  # PATTERN: until the report has a line matching it (20 s)
  for _ in $(seq 200); do
    grep -q "$1" "$work/report.txt" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the station never said \"$1\""
}

case "$name" in
  SelfCheckEnglish) self_check en_US.UTF-8 "Mass Production" station-windows.bmp ;;
  SelfCheckSimplifiedChinese) self_check zh_CN.UTF-8 "量产" station-windows-zh.bmp ;;
  SelfCheckTraditionalChinese) self_check zh_TW.UTF-8 "量產" station-windows-zh-tw.bmp ;;
  LaterStartBringsTheFirstForward)
    "$wine" "$station/mpstation-check.exe" --self-check "$(winpath "$work/report.txt")" --wait-raise 30000 \
      >/dev/null 2>&1 &
    first=$!
    wait_for '^waiting for a later start'
    before=$(listing)
    timeout 60 "$wine" "$station/mpstation.exe" >/dev/null 2>&1
    rc=$?
    [ $rc -eq 0 ] || fail "the later start ended with $rc"
    wait_for '^brought forward'
    after=$(listing)
    # The first station writes its report meanwhile; nothing else changes.
    if [ "$before" != "$after" ]; then
      diff <(echo "$before") <(echo "$after")
      cat "$station/misc/port.log" 2>/dev/null
      fail "the later start touched the station's files"
    fi
    touch "$work/report.txt.close"
    wait $first || fail "the first station's self-check failed"
    grep -q '^ok a later start brought the window forward' "$work/report.txt" || fail "not brought forward"
    ;;
  ArrivalMessageIsHeard)
    "$wine" "$station/mpstation-check.exe" --self-check "$(winpath "$work/report.txt")" --wait-arrival X \
      >/dev/null 2>&1 &
    first=$!
    wait_for '^waiting for the arrival of X:'
    "$wine" "$sender" X || fail "the device-change message was not sent"
    wait $first || fail "the arrival was not heard"
    grep -q '^ok the arrival of X: was heard' "$work/report.txt" || fail "no arrival line"
    ;;
  FolderTooLongIsToldInEnglish)
    # Deeper than Windows' 260 characters: the station says so in English, in a message
    # that closes, and ends; it touches nothing there.
    deep="$work"
    while [ ${#deep} -lt 280 ]; do deep="$deep/a-folder-of-the-factory-share"; done
    mkdir -p "$deep/misc"
    cp "$station/mpstation.exe" "$deep/"
    cp "$station"/misc/*.* "$deep/misc/"
    before=$(cd "$deep" && find . -type f | sort)
    # Wine's server starts with the sender's session: the station's start is then quick.
    timeout 60 "$wine" "$deep/mpstation.exe" >/dev/null 2>&1 &
    first=$!
    said=$(timeout 60 "$wine" "$(dirname "$sender")/close_message.exe" "MP3 Tool" 2>&1 | tr -d '\r')
    wait $first
    rc=$?
    echo "$said"
    [ $rc -eq 1 ] || fail "the station ended with $rc"
    grep -q "too long for Windows" <<<"$said" || fail "no English message: $said"
    [ "$before" = "$(cd "$deep" && find . -type f | sort)" ] || fail "files changed in the deep folder"
    ;;
  *) echo "unknown check $name"; exit 2 ;;
esac
echo "ok $name"
