#!/usr/bin/env python3
"""The soak's judgement of a round, on made-up traces: a sound round passes, and each kind
of fault it is there to find is found."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402

COUNTERS_ONE_RUN = ["counters: total=0 success=0 fail=0 running=0 occupied=1",
                    "counters: total=0 success=0 fail=0 running=1 occupied=1",
                    "counters: total=1 success=1 fail=0 running=0 occupied=1"]
HEADLESS_ONE_RUN = ["ready", "volume: arrival E"] + COUNTERS_ONE_RUN
PREFER = b"[MP_Setting]\r\nFormat=0\r\nLabel=SOAK\r\n[Language]\r\nLang=0\r\n"
PORT_LOG_ONE_RUN = b"E:<--\r\nE: Start\r\nE: Serial_num = 4\r\nE Port:0-5\r\nE success!\r\n"


class Judged(soak.Round):
    def __init__(self, work, headless, port_log, plugged=True, pending=(), prefer=PREFER, tables="1"):
        super().__init__("", work, 1, list(pending))
        self.station, self.sim = os.path.join(work, "station"), os.path.join(work, "players")
        os.makedirs(os.path.join(self.station, "misc"))
        with open(os.path.join(self.station, "misc", "port.log"), "wb") as f:
            f.write(port_log)
        self.out_path = os.path.join(work, "headless.out")
        with open(self.out_path, "w") as f:
            f.write("\n".join(headless) + "\n")
        self.volume_files = ["notes.txt", "song.mp3"]
        self.is_plugged, self.tables = plugged, tables
        self.flash = {"E": "ECD35195"}
        self.format, self.copy_list = 0, b"/files/song.mp3\r\n"
        with open(os.path.join(self.station, "misc", "prefer.ini"), "wb") as f:
            f.write(prefer)
        with open(os.path.join(self.station, "misc", "seting.ini"), "wb") as f:
            f.write(self.copy_list)

    def show(self, x):
        return {"plugged": "1" if self.is_plugged else "0", "cfg_tables": self.tables}


def volume(path, names):
    """A small FAT volume holding files of these names."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run([soak.fat_tool("mkfs.fat"), "-C", path, "2048"], check=True, stdout=subprocess.DEVNULL)
    for n in names:
        src = os.path.join(os.path.dirname(path), n)
        with open(src, "w") as f:
            f.write("x")
        subprocess.run(["mcopy", "-i", path, src, "::/" + n], check=True,
                       env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))


class JudgementTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="soak_test_")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def judge(self, headless, port_log, files=("notes.txt", "song.mp3"), **kw):
        r = Judged(self.work, headless, port_log, **kw)
        if files is not None:
            volume(os.path.join(r.sim, "E", "volume.img"), files)
        r.check()
        return r

    def test_a_sound_round_has_no_anomaly(self):
        r = self.judge(HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN)
        self.assertEqual(r.anomalies, [])
        self.assertEqual((r.runs, r.successes), (1, 1))

    def test_each_fault_is_found(self):
        removed_log = b"E:<--\r\nE: Start\r\nE: -->\r\nE success!\r\n"
        cases = [
            ("torn line", HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN.replace(b"E: Start\r\n", b"E: StE:<--art\r\n"),
             {}, "torn port log line"),
            ("no line end", HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN[:-2], {}, "ends in a torn line"),
            ("tallied twice", HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN + b"E fail!\r\n", {}, "a result without a run"),
            ("never tallied", HEADLESS_ONE_RUN[:-1], PORT_LOG_ONE_RUN.replace(b"E success!\r\n", b""), {},
             "runs still running"),
            ("sum", HEADLESS_ONE_RUN[:-1] + ["counters: total=2 success=1 fail=0 running=0 occupied=1"],
             PORT_LOG_ONE_RUN, {}, "do not add up"),
            ("removed", HEADLESS_ONE_RUN, removed_log, {}, "removed before its volume steps"),
            ("gone", HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN, {"plugged": False}, "not plugged"),
            ("files", HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN, {"files": ["notes.txt"]}, "volume holds"),
            ("no volume", HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN, {"files": None}, "fsck.fat -n finds faults"),
            ("no flash table", HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN, {"tables": "0"}, "without its flash table"),
            ("half-saved settings", HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN, {"prefer": PREFER[:-12]},
             "prefer.ini saved at close lacks Lang=0"),
            ("sanitizer", HEADLESS_ONE_RUN + ["==1==ERROR: AddressSanitizer: heap-use-after-free"],
             PORT_LOG_ONE_RUN, {}, "sanitizer"),
        ]
        for name, headless, log, kw, expected in cases:
            with self.subTest(name):
                shutil.rmtree(self.work, ignore_errors=True)
                r = self.judge(headless, log, **kw)
                self.assertTrue(any(expected in a for a in r.anomalies), r.anomalies)

    def test_a_run_that_found_no_slot_ends_untallied(self):
        r = self.judge(HEADLESS_ONE_RUN, PORT_LOG_ONE_RUN + b"E:<--\r\nE: Start\r\nE: realidx == DEVICE_COUNT return!!\r\n")
        self.assertEqual(r.anomalies, [])

    def test_a_pull_after_the_volume_steps_may_be_produced(self):
        r = self.judge(HEADLESS_ONE_RUN, b"E:<--\r\nE: Start\r\nE: size =64MB\r\nE: -->\r\nE success!\r\n")
        self.assertEqual(r.anomalies, [])

    def test_a_label_finished_player_after_a_cut_run_is_counted_apart(self):
        log = (b"E:<--\r\nE: Start\r\nE: size =64MB\r\nE: -->\r\nE fail!\r\n"
               b"E:<--\r\nE: Start\r\nE success!\r\n")
        headless = HEADLESS_ONE_RUN[:-1] + ["counters: total=1 success=0 fail=1 running=0 occupied=1",
                                            "counters: total=1 success=0 fail=1 running=1 occupied=1",
                                            "counters: total=2 success=1 fail=1 running=0 occupied=1"]
        r = self.judge(headless, log, files=[])
        self.assertEqual(r.anomalies, [])
        self.assertEqual(r.label_finished, 1)

    def test_a_pending_kind_is_counted_apart(self):
        r = self.judge(HEADLESS_ONE_RUN, b"E:<--\r\nE: Start\r\nE: -->\r\nE success!\r\n",
                       pending=["removed-produced"])
        self.assertEqual(r.anomalies, [])
        self.assertEqual(len(r.expected), 1)


if __name__ == "__main__":
    unittest.main()
