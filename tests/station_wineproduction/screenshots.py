#!/usr/bin/env python3
"""The Windows station's window after a run with failures, in English and in Simplified
Chinese: the pictures docs/station-windows.png and docs/station-windows-zh.png.

Six simulated players under Wine (as wine_production_test.py makes them), four of them
failing at different steps, so that the rows show whole failure texts.

  screenshots.py BINARY_DIR SOURCE_DIR STANDINS_DIR OUT_DIR
"""

import os
import struct
import subprocess
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine_production_test import station_folder  # noqa: E402
from wine_sim import WineSim, wait_for_line, windows_path  # noqa: E402

# Letter: what makes it fail (tarnsim create options, a fault), or nothing.
PLAYERS = {
    "E": ([], None),
    "F": (["--bonding", "2"], None),                       # SDK bonding ID not match
    "G": ([], ["cmd_bWriteProgramStart", "--after", "1"]),  # Prefer Write Setup
    "H": ([], ["rd_id"]),                                   # Flash Check
    "I": ([], None),
    "J": (["--bonding", "0"], None),                       # Chip bonding ID check
}


def bmp_to_png(bmp, png):
    data = bmp.read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        src = y if height < 0 else abs(height) - 1 - y
        line = data[offset + src * stride: offset + src * stride + width * 3]
        rgb = bytearray(len(line))
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::3], line[1::3], line[0::3]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def run(binary, source, standins, lang, shot):
    dist = binary / "dist"
    work = binary / f"screenshots-{lang}"
    subprocess.run(["rm", "-rf", str(work)], check=True)
    prefix = binary / "wineprefix-sim"
    sim = WineSim(prefix, dist, standins, work / "players", source)
    sim.env.update(LANG=lang, LC_ALL=lang)
    sim.prepare("")
    for letter, (options, fault) in PLAYERS.items():
        folder = sim.drive(letter)
        folder.mkdir(parents=True)
        (prefix / "dosdevices" / f"{letter.lower()}:").symlink_to(folder)
        sim.tarnsim("create", letter, "--capacity", "256", *options)
        if fault:
            sim.tarnsim("fault", letter, *fault)
    station = work / "station"
    station_folder(dist, station, work / "files")
    out = work / "station.out"
    with open(out, "wb") as sink:
        proc = subprocess.Popen(
            ["wine", windows_path(station / "mpstation.exe"), "--sim", windows_path(sim.root),
             "--runs", str(len(PLAYERS)), "--timeout", "240", "--screenshot", windows_path(shot)],
            cwd=station, env=sim.env, stdout=sink, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        if wait_for_line(out, "ready", proc, 120):
            for letter in PLAYERS:
                sim.plug(letter)
        proc.wait(timeout=300)
    sim.stop()


def main():
    binary, source, standins, out = (Path(a) for a in sys.argv[1:5])
    for lang, name in (("en_US.UTF-8", "station-windows"), ("zh_CN.UTF-8", "station-windows-zh")):
        shot = binary / f"{name}.bmp"
        shot.unlink(missing_ok=True)
        run(binary, source, standins, lang, shot)
        if not shot.exists():
            print(f"no screenshot for {lang}")
            return 1
        bmp_to_png(shot, out / f"{name}.png")
        print(f"{out / name}.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
