#!/usr/bin/env python3
"""A production run of simulated players by the Windows station under Wine.

mpstation.exe --headless --sim ROOT hears three players plugged through ROOT/events, sends
its vendor requests through devcmd.exe to the simulated players, and formats, labels and
fills their volumes through the Windows services on drives E:, F:, G:, which are folders
of a private Wine prefix. Wine has no format.com and no chkdsk.exe: the prefix gets stand-ins
for those two commands only (format_standin.cpp, chkdsk_standin.cpp); everything else is
Wine's own.

  wine_production_test.py BINARY_DIR SOURCE_DIR STANDINS_DIR [window]

With `window` the station runs with its window (closing once the runs are tallied) and
leaves a screenshot of the produced rows in BINARY_DIR/wine-production-window.bmp.
Exit codes: 0 passed, 1 failed, 77 skipped (the reason is printed).
"""

import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine_sim import WineSim, wait_for_line, windows_path, wine_missing  # noqa: E402

SKIP = 77
LETTERS = "EFG"
LABEL = "TARNTEST"
# The operator's files: the first two are written into the flash, the others copied.
FILES = {
    "program.bin": bytes((i * 7 + 3) & 0xFF for i in range(64 * 1024)),
    "prefer.dat": b"\x5a" * 4096,
    "song.mp3": b"ID3" + b"\x11" * 20000,
    "notes.txt": b"played on the line\r\n",
}
COPIED = ["notes.txt", "song.mp3"]


def firmware(variant):
    """program.bin marked as built for chip variant `variant`."""
    b = bytearray(FILES["program.bin"])
    b[8192:8197] = bytes([0x70, 0x08, 0xA5, 0x5A, variant])
    return bytes(b)


def station_folder(dist, station, files):
    (station / "misc").mkdir(parents=True)
    shutil.copyfile(dist / "mpstation.exe", station / "mpstation.exe")
    for f in (dist / "misc").iterdir():
        # What a station writes there is its own, not the build's.
        if f.is_file() and f.name not in ("prefer.ini", "seting.ini", "port.log"):
            shutil.copyfile(f, station / "misc" / f.name)
    settings = {"Format": "1", "Blanking check": "0", "FwUpgrade": "1", "ISO upgrade": "0",
                "Manual Upgrade": "0", "FwParityCheck": "1", "Label": LABEL}
    ini = "[MP_Setting]\r\n" + "".join(f"{k}={v}\r\n" for k, v in settings.items())
    (station / "misc" / "prefer.ini").write_bytes(ini.encode())
    files.mkdir(parents=True)
    entries = []
    for name, data in FILES.items():
        (files / name).write_bytes(firmware(1) if name == "program.bin" else data)
        entries.append(windows_path(files / name))
    (station / "misc" / "seting.ini").write_bytes("".join(e + "\r\n" for e in entries).encode())


def counters(lines):
    last = None
    for line in lines:
        m = re.match(r"counters: total=(\d+) success=(\d+) fail=(\d+) running=(\d+)", line)
        if m:
            last = tuple(int(x) for x in m.groups())
    return last


def main():
    binary, source, standins = (Path(a) for a in sys.argv[1:4])
    window = sys.argv[4:5] == ["window"]
    dist = binary / "dist"
    why = wine_missing()
    if why is None and not os.environ.get("DISPLAY"):
        why = "no display (scripts/wine-env gives one)"
    if why is None and not (dist / "mpstation.exe").exists():
        why = f"no {dist / 'mpstation.exe'} in this build"
    if why:
        print(f"SKIPPED: {why}")
        return SKIP

    work = binary / ("wine-production-window" if window else "wine-production")
    shutil.rmtree(work, ignore_errors=True)
    prefix = Path(os.environ.get("TARN_WINE_SIM_PREFIX", binary / "wineprefix-sim"))
    sim = WineSim(prefix, dist, standins, work / "players", source)
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)
        print(("ok   " if ok else "FAIL ") + what)

    try:
        began = time.monotonic()
        sim.prepare(LETTERS)
        print(f"prefix, drives and players ready in {time.monotonic() - began:.1f} s")
        station = work / "station"
        station_folder(dist, station, work / "files")
        for letter in LETTERS:  # left from an earlier life of the player: formatted away
            (sim.drive(letter) / "old.txt").write_bytes(b"old")
        out = work / "station.out"
        started = time.monotonic()
        with open(out, "wb") as sink:
            proc = subprocess.Popen(
                ["wine", windows_path(station / "mpstation.exe"), "--sim",
                 windows_path(sim.root), "--runs", str(len(LETTERS)), "--timeout", "240"]
                + (["--screenshot", windows_path(binary / "wine-production-window.bmp")] if window
                   else ["--headless"]),
                cwd=station, env=sim.env, stdout=sink, stderr=subprocess.STDOUT,
                stdin=subprocess.DEVNULL)
            try:
                if not wait_for_line(out, "ready", proc, 120):
                    check(False, "the station said ready")
                else:
                    for letter in LETTERS:
                        sim.plug(letter)
                code = proc.wait(timeout=300)
            except subprocess.TimeoutExpired:
                proc.kill()
                code = None
        lines = out.read_text(errors="replace").splitlines()
        print(f"the station ran {time.monotonic() - started:.1f} s")
        sim.stop()
        check(code == 0, f"the station ended with 0 (every run succeeded): {code}")
        n = len(LETTERS)
        if not window:  # the window prints no trace
            check(counters(lines) == (n, n, 0, 0), f"counters total={n} success={n}: {counters(lines)}")
        log = (station / "misc" / "port.log").read_bytes().decode("latin-1") \
            if (station / "misc" / "port.log").exists() else ""
        labels = sim.labels(LETTERS)
        for letter in LETTERS:
            check(f"{letter} success!\r\n" in log, f"port log: {letter} success!")
            drive = sim.drive(letter)
            # Dot files are Wine's own records (the label) and not shown on the drive.
            names = sorted(p.name for p in drive.iterdir() if not p.name.startswith("."))
            check(names == COPIED, f"drive {letter}: holds {COPIED}: {names}")
            for name in COPIED:
                same = (drive / name).exists() and (drive / name).read_bytes() == FILES[name]
                check(same, f"drive {letter}: {name} copied whole")
            label = labels.get(letter)
            check(label == LABEL, f"drive {letter}: label {LABEL}: {label!r}")
        if failures:
            print("--- station output:")
            print("\n".join(lines[-80:]))
            print("--- port log:")
            print(log[-4000:])
    finally:
        sim.stop()
    print(f"{len(failures)} failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
