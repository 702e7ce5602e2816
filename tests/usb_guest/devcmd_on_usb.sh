#!/usr/bin/env bash
# devcmd over SG_IO on players served on USB, inside the guest of scripts/usb-guest: every
# answer equals the one the same player gives through the simulated drive (a twin made
# alike), downloads arrive byte for byte, and a player pulled off the bus fails at once.
# Prints (does not judge) the time of one query command.
set -u
fails=0 passes=0
check() {  # check WHAT CONDITION...
  local what=$1; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAIL: $what"; fails=$((fails + 1)); fi
}

# The generic node of the player whose USB serial is TARNSIM<L>.
sg_of() {
  local d p
  for d in /sys/block/sd*; do
    p=$(readlink -f "$d")
    while [ "$p" != / ] && [ ! -f "$p/serial" ]; do p=$(dirname "$p"); done
    if [ "$(cat "$p/serial" 2>/dev/null)" = "TARNSIM$1" ]; then
      echo "/dev/$(ls "$d/device/scsi_generic")"
      return 0
    fi
  done
  return 1
}

twin=/tmp/twin
mkdir -p "$twin"
tarnsim create "$twin" E --capacity 64 >/dev/null && tarnsim plug "$twin" E >/dev/null
sg=$(sg_of E) || { echo "FAIL: no generic node for E"; exit 1; }
echo "E is $sg"

head -c 10000 /dev/urandom >/tmp/package.bin
head -c 3000 /dev/urandom >/tmp/config.bin
# The same commands through both faces; get_size_MB differs by design (the USB face
# answers READ CAPACITY with the last block's address, as disks do).
commands=(
  "" "rd_id" "get_lcd_size" "IS_TARN" "q_1st_burn" "get_flash_item" "read_bnd_id"
  "chk_is_updatedisk" "wt_cfg /tmp/config.bin"
  "wt_pgr_s 10000" "wt_pgr /tmp/package.bin" "wt_pgr_e" "chk_update_success"
  "chk_bad_s" "chk_bad_p" "chk_bad_p" "chk_bad_p" "chk_bad_p"
  "blk_chk_s 0 100" "blk_chk_p" "blk_chk_p" "blk_chk_p" "blk_chk_p" "era 5 3" "era 3 5"
  "check_passwd 1234" "change_passwd 4321" "disk_decrypt" "erase_nor_flash" "set_sys_area 2"
  "chg_clk 1 2 3 4 5 6 7" "reset"
)
# The erase reports how long it took: that is the machine's, not the player's.
untimed='s/Total takes *[0-9]* seconds/Total takes N seconds/'
for c in "${commands[@]}"; do
  # shellcheck disable=SC2086
  usb_out=$(timeout 60 env DEVCMD_DRIVE_E="$sg" devcmd E: $c 2>&1); usb_rc=$?
  # shellcheck disable=SC2086
  sim_out=$(TARN_SIM=$twin devcmd E: $c 2>&1); sim_rc=$?
  usb_out=$(sed "$untimed" <<<"$usb_out") sim_out=$(sed "$untimed" <<<"$sim_out")
  check "'$c' exits $usb_rc on USB, $sim_rc simulated" [ "$usb_rc" = "$sim_rc" ]
  check "'$c' prints the same on both: USB [$usb_out] simulated [$sim_out]" [ "$usb_out" = "$sim_out" ]
  if [ "$c" = wt_pgr_e ]; then
    check "the package arrived byte for byte" cmp -s /tmp/package.bin "$USB_PLAYERS/E/package.bin"
  fi
done
size=$(DEVCMD_DRIVE_E="$sg" devcmd E: get_size_MB >/dev/null 2>&1; echo $?)
check "get_size_MB on USB is 63 (64 MiB less one block), got $size" [ "$size" = 63 ]
check "the table arrived byte for byte" cmp -s /tmp/config.bin "$USB_PLAYERS/E/config.bin"
check "the chunks are in the trace" grep -q "EE 7B" "$USB_PLAYERS/E/trace"

# A fault set with tarnsim fails that request on USB as in the simulated drive.
tarnsim fault "$USB_PLAYERS" E rd_id >/dev/null
tarnsim fault "$twin" E rd_id >/dev/null
usb_out=$(DEVCMD_DRIVE_E="$sg" timeout 60 devcmd E: rd_id 2>&1); usb_rc=$?
sim_out=$(TARN_SIM=$twin devcmd E: rd_id 2>&1); sim_rc=$?
check "a faulty rd_id ends with its error line: [$usb_out]" grep -q "cmd_bFlashReadID" <<<"$usb_out"
check "a faulty rd_id exits alike ($usb_rc, $sim_rc)" [ "$usb_rc" = "$sim_rc" ]

# Round trip of one query command, printed.
t0=$(date +%s%N)
for _ in 1 2 3 4 5; do DEVCMD_DRIVE_E="$sg" devcmd E: IS_TARN >/dev/null 2>&1; done
echo "measured: devcmd IS_TARN over SG_IO, $(( ($(date +%s%N) - t0) / 5000000 )) ms a run (process start included)"

# Pulled off the bus: the node goes, and devcmd fails at once instead of waiting.
sgg=$(sg_of G)
tarnsim unplug "$USB_PLAYERS" G >/dev/null
for _ in $(seq 1 100); do [ -e "$sgg" ] || break; sleep 0.2; done
check "the unplugged player's node $sgg is gone" [ ! -e "$sgg" ]
DEVCMD_DRIVE_G="$sgg" timeout 60 devcmd G: IS_TARN >/tmp/gone.out 2>&1
rc=$?
check "devcmd on a pulled player does not hang (rc $rc)" [ "$rc" != 124 ]
check "devcmd on a pulled player fails (rc $rc)" [ "$rc" != 0 ]

# Plugged again: back on the bus, at the port it left.
tarnsim plug "$USB_PLAYERS" G >/dev/null
for _ in $(seq 1 150); do sgg=$(sg_of G) && break; sleep 0.2; done
check "the replugged player has a node again" [ -n "$sgg" ] && [ -e "$sgg" ]
DEVCMD_DRIVE_G="$sgg" timeout 60 devcmd G: get_size_MB >/dev/null 2>&1
rc=$?
check "the replugged player answers (rc $rc)" [ "$rc" = 63 ]
port=$(readlink -f "/sys/class/scsi_generic/${sgg#/dev/}" | grep -o '/[0-9]*-[0-9.]*/' | head -1)
check "the replugged player is at port 3 again ($port)" [ "${port##*-}" = 3/ ]

echo "$passes passed, $fails failed"
[ "$fails" = 0 ]
