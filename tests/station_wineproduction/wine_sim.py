"""Simulated players for Windows programs under Wine.

A private Wine prefix in which drive letters E, F, ... are folders (the players' volumes),
the stand-ins for the system commands Wine lacks are installed, and the players
themselves are made and plugged with the Windows tarnsim.exe, so that they are locked the
way the Windows devcmd.exe locks them (Wine's file locks do not meet Linux flock()).

Wine reads its drive letters when its server starts: the letters are mapped while no
program of the prefix runs, before the first one starts.
"""

import os
import shutil
import subprocess
import time
from pathlib import Path

# The commands Wine does not have, standing in for the system's (see their sources).
STANDINS = {"format_standin.exe": "format.com", "chkdsk_standin.exe": "chkdsk.exe"}


def windows_path(path):
    """A Linux path as Wine's Z: drive shows it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wine_missing():
    """Why Windows programs cannot run here, or None."""
    for tool in ("wine", "wineserver", "wineboot"):
        if shutil.which(tool) is None:
            return f"no {tool} on PATH"
    return None


class WineSim:
    """`root`: the players' folder; `drives`: one folder per drive letter below it."""

    def __init__(self, prefix, dist, standins, root, source_dir):
        self.prefix = Path(prefix)
        self.dist = Path(dist)
        self.standins = Path(standins)
        self.root = Path(root)
        self.drives = self.root.parent / (self.root.name + "-drives")
        self.source_dir = Path(source_dir)
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("TARN_SIM", None)

    def wine(self, *args, **kw):
        return subprocess.run(["wine", *map(str, args)], env=self.env, capture_output=True,
                              text=True, errors="replace", **kw)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True)

    def prepare(self, letters, capacity_mib=256):
        """Prefix, drive folders, stand-ins and unplugged players for `letters`."""
        # The project's preparation (no crash dialog, fonts); it stops the server after.
        subprocess.run([str(self.source_dir / "scripts" / "wine-env"), "true"], env=self.env,
                       check=True, capture_output=True)
        self.stop()
        dosdevices = self.prefix / "dosdevices"
        for link in dosdevices.iterdir():
            # Letters left by an earlier run; C: and Z: are Wine's own.
            if len(link.name) == 2 and link.name[1] == ":" and link.name[0] not in "cz":
                link.unlink()
        shutil.rmtree(self.drives, ignore_errors=True)
        for letter in letters:
            folder = self.drive(letter)
            folder.mkdir(parents=True)
            (dosdevices / f"{letter.lower()}:").symlink_to(folder)
        system32 = self.prefix / "drive_c" / "windows" / "system32"
        for built, name in STANDINS.items():
            shutil.copyfile(self.standins / built, system32 / name)
        self.root.mkdir(parents=True, exist_ok=True)
        for letter in letters:
            self.tarnsim("create", letter, "--capacity", str(capacity_mib))

    def drive(self, letter):
        """The folder that is drive `letter`."""
        return self.drives / letter.upper()

    def tarnsim(self, command, letter, *options):
        r = self.wine(self.dist / "tarnsim.exe", command, windows_path(self.root), letter,
                      *options)
        if r.returncode != 0:
            raise RuntimeError(f"tarnsim {command} {letter}: {r.returncode} {r.stderr}")
        return r.stdout

    def plug(self, letter):
        self.tarnsim("plug", letter)

    def labels(self, letters):
        """The drives' labels, by letter, as a new Wine session reads them (a running one
        keeps the label it read first for each drive)."""
        self.stop()
        found = {}
        for letter in letters:
            for line in self.wine("cmd", "/c", "vol", f"{letter}:").stdout.splitlines():
                if line.startswith(f"Volume in drive {letter}"):
                    found[letter] = line.split(" is ", 1)[1].strip() if " is " in line else ""
        self.stop()
        return found


def wait_for_line(path, wanted, proc, limit_s):
    """True once a line of the file at `path` equals `wanted`; False when `proc` ended or
    the limit passed first."""
    until = time.monotonic() + limit_s
    while time.monotonic() < until:
        if path.exists() and wanted in path.read_text(errors="replace").splitlines():
            return True
        if proc.poll() is not None:
            return False
        time.sleep(0.1)
    return False


if __name__ == "__main__":
    # By hand: python3 wine_sim.py BINARY_DIR SOURCE_DIR ROOT LETTERS [PREFIX]
    # prepares the prefix (default BINARY_DIR/wineprefix-sim) with unplugged players.
    import sys

    if len(sys.argv) < 5:
        sys.exit(__doc__ + "\nusage: wine_sim.py BINARY_DIR SOURCE_DIR ROOT LETTERS [PREFIX]")
    binary, source, root, letters = sys.argv[1:5]
    prefix = sys.argv[5] if len(sys.argv) > 5 else Path(binary) / "wineprefix-sim"
    sim = WineSim(prefix, Path(binary) / "dist",
                  Path(binary) / "tests" / "station_wineproduction", root, source)
    sim.prepare(letters.upper())
    for letter in letters.upper():
        print(f"{letter}: is {sim.drive(letter)}")
    print(f"WINEPREFIX={prefix}; players under {windows_path(root)}")
