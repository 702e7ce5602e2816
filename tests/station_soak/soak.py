#!/usr/bin/env python3
"""Rounds of eight simulated players through the headless station, with faults at random
steps and random unplugs and re-plugs, and the invariants checked after every round.

Each round has its own seed (printed); `--seed S --rounds 1` plays that round again with the
same choices (the timing of a run is the machine's own, so a race may need a few tries).
Exit 0 only when no round showed an anomaly."""

import argparse
import collections
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

LETTERS = "EFGHIJKL"
# Sub-commands and requests a production run sends; a fault on one fails (or drops off)
# at that step from its after+1th time on.
FAULT_REQUESTS = [
    "rd_id", "wt_cfg", "chk_bad_s", "chk_bad_p", "wt_mgr_s", "wt_mgr", "wt_mgr_e", "wt_pgr_s",
    "wt_pgr", "wt_pgr_e", "reset", "q_1st_burn", "chk_update_success", "cmd_bReadCapacity",
    "IS_TARN", "read_bnd_id", "get_flash_item", "set_sys_area", "cmd_bInquiry",
]
TABLED_FLASH_IDS = ("ECD35195", "98D79432")  # misc/FT_*.txt
FLASH_IDS = ["ECD35195", "98D79432", "ECD35195", "98D79432", "2C88FFEE"]  # the last: no table
CAPACITIES = [32, 64, 96, 128, 129, 200]

# Every line the station writes to its port log, less the drive letter at its start.
PORT_LOG_LINE = re.compile(
    r"^[A-Z](:<--|:-> reset|: exists continue|bCheckDrive fail continue|: -->|: Start"
    r"|: realidx == DEVICE_COUNT return!!|: size =\d+MB| success!| fail!|:Get port fail <[^<>]*>!!"
    r"| Port:\d+-\d+|: Serial no = -1|: Serial_num = \d+|: Port = \d+|:Port =0:0 fail"
    r"|: Serial_num= \d+ port= \d+ hubport = \d+ current_port = \d+ showport = -?\d+)$")
NO_SLOT = ": realidx == DEVICE_COUNT return!!"
COUNTERS = re.compile(r"^counters: total=(\d+) success=(\d+) fail=(\d+) running=(\d+) occupied=(\d+)")
ROW = re.compile(r'^row (\d+): "(.*)" (\S+) (\d+) bar=\S+ picture=(\S+) port="(?:Port:\d+-(\d+))?"')
SANITIZER = re.compile(r"AddressSanitizer|LeakSanitizer|ThreadSanitizer|runtime error:")


def fat_tool(name):
    for d in ("/usr/sbin/", "/sbin/"):
        if os.path.exists(d + name):
            return d + name
    return name


def port_letter(port):
    """The letter of the player on this port (tarnsim's default port codes: E is 5)."""
    for x in LETTERS:
        if (ord(x) - ord("A")) % 8 + 1 == port:
            return x
    return "?"


class Round:
    def __init__(self, dist, work, seed, pending):
        self.dist, self.work, self.seed = dist, work, seed
        self.pending = pending  # kinds of anomaly whose mend is not in yet
        self.expected = []
        self.rng = random.Random(seed)
        self.station = os.path.join(work, "station")
        self.sim = os.path.join(work, "players")
        self.files = os.path.join(work, "files")
        self.anomalies = []
        self.failures = collections.Counter()
        self.label_finished = 0  # counted finished by their label after a run cut at its volume
        self.runs = self.successes = 0
        self.plan = []
        self.flash = {}

    # --- set-up ---

    def tarnsim(self, *args):
        return subprocess.run([os.path.join(self.station, "tarnsim"), args[0], self.sim] + list(args[1:]),
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)

    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        for d in (os.path.join(self.station, "misc"), self.sim, self.files):
            os.makedirs(d)
        for p in ("mpstation", "tarnsim"):
            shutil.copy2(os.path.join(self.dist, p), self.station)
        misc = os.path.join(self.dist, "misc")
        for n in os.listdir(misc):
            if n not in ("prefer.ini", "seting.ini", "port.log") and os.path.isfile(os.path.join(misc, n)):
                shutil.copy2(os.path.join(misc, n), os.path.join(self.station, "misc"))
        # A program built for chip variant 1, the preferences package and two files for the volume.
        prog = bytearray(((i * 7 + 3) & 0xFF) for i in range(64 * 1024))
        prog[8192:8197] = bytes([0x70, 0x08, 0xA5, 0x5A, 1])
        names = {"program.bin": bytes(prog), "prefer.dat": b"\x5a" * 4096,
                 "song.mp3": b"ID3" + b"\x11" * 20000, "notes.txt": b"played on the line\r\n"}
        for n, b in names.items():
            with open(os.path.join(self.files, n), "wb") as f:
                f.write(b)
        self.copy_list = "".join(os.path.join(self.files, n) + "\r\n" for n in names).encode()
        with open(os.path.join(self.station, "misc", "seting.ini"), "wb") as f:
            f.write(self.copy_list)
        self.format = self.rng.randint(0, 1)
        with open(os.path.join(self.station, "misc", "prefer.ini"), "w", newline="") as f:
            f.write("[MP_Setting]\r\nFormat=%d\r\nBlanking check=0\r\nFwUpgrade=1\r\nFwParityCheck=1\r\n"
                    "Label=SOAK\r\n" % self.format)
        self.volume_files = ["notes.txt", "song.mp3"]

        for x in LETTERS:
            cap, fid = self.rng.choice(CAPACITIES), self.rng.choice(FLASH_IDS)
            r = self.tarnsim("create", x, "--capacity", str(cap), "--flash-id", fid,
                             "--latency-ms", str(self.rng.randint(0, 3)))
            if r.returncode:
                raise RuntimeError("tarnsim create: " + r.stdout)
            self.flash[x] = fid
            what = "%s %dMiB %s" % (x, cap, fid)
            if self.rng.random() < 0.4:
                req, after = self.rng.choice(FAULT_REQUESTS), self.rng.randint(0, 2)
                vanish = self.rng.random() < 0.35
                args = ["fault", x, req, "--after", str(after)] + (["--vanish"] if vanish else [])
                r = self.tarnsim(*args)
                if r.returncode:
                    raise RuntimeError("tarnsim fault: " + r.stdout)
                what += " fault %s after %d%s" % (req, after, " vanish" if vanish else "")
            self.plan.append(what)

    # --- the run ---

    def lines(self):
        with open(self.out_path, errors="replace") as f:
            return f.read().splitlines()

    def show(self, x):
        """The player's state as tarnsim shows it."""
        r = self.tarnsim("show", x)
        return dict(l.split("=", 1) for l in r.stdout.splitlines() if "=" in l)

    def play(self, limit):
        self.out_path = os.path.join(self.work, "headless.out")
        out = open(self.out_path, "w")
        proc = subprocess.Popen([os.path.join(self.station, "mpstation"), "--headless", "--sim", self.sim,
                                 "--runs", "0", "--timeout", str(limit)],
                                cwd=self.station, stdout=out, stderr=subprocess.STDOUT)
        start = time.monotonic()
        while "ready" not in self.lines():
            if proc.poll() is not None or time.monotonic() - start > 60:
                self.anomalies.append("the station never became ready")
                proc.kill()
                proc.wait()
                return
            time.sleep(0.02)

        order = list(LETTERS)
        self.rng.shuffle(order)
        # Some players are pulled out once at a random moment of their run, and every player
        # that is gone after its run ended is plugged again (at most twice a round).
        pull_at = {x: self.rng.uniform(0.05, 3.0) for x in order if self.rng.random() < 0.3}
        replugs = collections.Counter()
        pending = {}  # plugged again, not yet heard: arrivals seen then, and when
        for x in order:
            self.tarnsim("plug", x)
            time.sleep(self.rng.uniform(0, 0.2))
        plugged_at = {x: time.monotonic() for x in order}

        idle_since = None
        while proc.poll() is None:
            now = time.monotonic()
            lines = self.lines()
            started, ended = self.port_log_runs()
            counters = self.last_counters(lines)
            running = counters[3] if counters else 0
            busy = lambda x: started[x] > ended[x]
            for x, at in list(pull_at.items()):
                if now - plugged_at[x] >= at:
                    del pull_at[x]
                    if busy(x):
                        self.tarnsim("unplug", x)
            waiting = False
            for x in LETTERS:
                arrived = lines.count("volume: arrival " + x)
                if x in pending:
                    if arrived > pending[x][0] or now - pending[x][1] > 10:
                        del pending[x]
                    else:
                        waiting = True
                        continue
                # The port log has a run's result a moment before the counters tally it;
                # a player plugged again in between would make a ninth run for a while.
                tallied = counters[0] if counters else 0
                results = sum(ended.values()) - self.port_log().count(NO_SLOT.encode())
                if busy(x) or self.present(lines, x) or replugs[x] >= 2 or tallied < results:
                    continue
                replugs[x] += 1
                pending[x] = (arrived, now)
                self.tarnsim("plug", x)
                plugged_at[x] = time.monotonic()
                waiting = True
            if running == 0 and not pull_at and not waiting and not any(busy(x) for x in LETTERS):
                idle_since = idle_since or now
                if now - idle_since > 2.0:
                    break
            else:
                idle_since = None
            if now - start > limit + 30:
                self.anomalies.append("the round did not settle within %ds" % limit)
                break
            time.sleep(0.1)
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.anomalies.append("the station did not end on SIGTERM")
                proc.kill()
                proc.wait()
        out.close()
        if proc.returncode not in (0, 1):
            self.anomalies.append("the station ended with exit code %d" % proc.returncode)

    @staticmethod
    def present(lines, x):
        """Whether the station last heard of x arriving (a player that never came counts as
        gone only once it was plugged)."""
        for l in reversed(lines):
            if l == "volume: arrival " + x:
                return True
            if l == "volume: removal " + x:
                return False
        return True

    def port_log(self):
        path = os.path.join(self.station, "misc", "port.log")
        if not os.path.exists(path):
            return b""
        with open(path, "rb") as f:
            return f.read()

    def port_log_runs(self):
        """Per letter: the runs begun (": Start") and ended (a result line) in the port log."""
        started, ended = collections.Counter(), collections.Counter()
        for line in self.port_log().decode("latin-1").split("\r\n"):
            if line.endswith(": Start"):
                started[line[0]] += 1
            elif line.endswith(" success!") or line.endswith(" fail!") or line.endswith(NO_SLOT):
                ended[line[0]] += 1
        return started, ended

    @staticmethod
    def last_counters(lines):
        last = None
        for l in lines:
            m = COUNTERS.match(l)
            if m:
                last = tuple(int(v) for v in m.groups())
        return last

    @staticmethod
    def run_ends(lines):
        """(line index, letter, final text, picture) of every row that reached its result."""
        shown = {}
        out = []
        for i, l in enumerate(lines):
            m = ROW.match(l)
            if not m:
                continue
            row, text, picture, port = m.group(1), m.group(2), m.group(5), int(m.group(6) or 0)
            if picture in ("success", "fail") and shown.get(row) == "-":
                out.append((i, port_letter(port), text, picture))
            shown[row] = picture
        return out

    # --- the checks ---

    def anomaly(self, kind, text):
        (self.expected if kind in self.pending else self.anomalies).append(text)

    def check(self):
        lines = self.lines()
        for l in lines:
            if SANITIZER.search(l):
                self.anomalies.append("sanitizer: " + l)
                break

        # Counters add up on every line, and move by one run at a time.
        starts, prev = 0, (0, 0, 0, 0, 0)
        for l in lines:
            m = COUNTERS.match(l)
            if not m:
                continue
            c = tuple(int(v) for v in m.groups())
            total, success, fail, running, occupied = c
            # A run goes on after its player is pulled out, so running may pass occupied.
            if total != success + fail or running > 8 or occupied > 8:
                self.anomalies.append("counters do not add up: " + l)
            if not (0 <= total - prev[0] <= 1) or success < prev[1] or fail < prev[2]:
                self.anomalies.append("counters jumped: " + l)
            starts += (running - prev[3]) + (total - prev[0])
            prev = c
        total, success, fail, running = prev[:4]
        self.runs, self.successes = total, success

        if running != 0:
            self.anomalies.append("%d runs still running at the end" % running)

        # Closed by SIGTERM as the window closes: the settings and the copy list saved whole.
        misc = os.path.join(self.station, "misc")
        with open(os.path.join(misc, "prefer.ini"), "rb") as f:
            prefer = f.read()
        for entry in (b"Format=%d" % self.format, b"Label=SOAK", b"Lang=0"):
            if b"\r\n" + entry + b"\r\n" not in prefer:
                self.anomalies.append("prefer.ini saved at close lacks %s" % entry.decode())
        with open(os.path.join(misc, "seting.ini"), "rb") as f:
            if f.read() != self.copy_list:
                self.anomalies.append("seting.ini saved at close differs from the copy list")
        leftovers = [n for n in os.listdir(misc) if n.endswith(".tmp")]
        if leftovers:
            self.anomalies.append("left behind: " + " ".join(leftovers))
        if starts != total:
            self.anomalies.append("%d runs started, %d tallied" % (starts, total))

        # The port log: whole CR LF lines of the forms the station writes; every run begun
        # there has one result, and the results are the counters'.
        log = self.port_log()
        if log and not log.endswith(b"\r\n"):
            self.anomalies.append("port log ends in a torn line")
        entries = []
        for raw in log.split(b"\r\n")[:-1]:
            line = raw.decode("latin-1")
            if PORT_LOG_LINE.match(line):
                entries.append(line)
            else:
                self.anomalies.append("torn port log line: %r" % line)
        # A run's removal counts when it was heard before the run reached its volume steps
        # (the size line): the player was gone before anything was written to its volume.
        # One pulled during or after the volume steps may rightly be produced (the run waits
        # a moment after its last copy); its volume is judged below like any other.
        open_run = {}
        at_volume = set()
        results = []  # (letter, succeeded, removed before its volume steps, index, reached volume)
        for i, line in enumerate(entries):
            x = line[0]
            if line.endswith(": Start"):
                if x in open_run:
                    self.anomalies.append("%s: a run began before the last one had its result" % x)
                open_run[x] = False
                at_volume.discard(x)
            elif line.endswith(NO_SLOT) and x in open_run:
                # Its player left before the run found its slot: it ends untallied.
                del open_run[x]
            elif ": size =" in line and x in open_run:
                at_volume.add(x)
            elif line.endswith(": -->") and x in open_run and x not in at_volume:
                open_run[x] = True
            elif line.endswith(" success!") or line.endswith(" fail!"):
                if x not in open_run:
                    self.anomalies.append("%s: a result without a run: %r" % (x, line))
                results.append((x, line.endswith(" success!"), open_run.pop(x, False), i, x in at_volume))
        for x in open_run:
            self.anomalies.append("%s: a run without a result" % x)
        if len(results) != total or sum(r[1] for r in results) != success:
            self.anomalies.append("port log has %d results (%d successes), counters %d (%d)" % (
                len(results), sum(r[1] for r in results), total, success))

        # Failures by step, as the rows show them (a removed player's row waits again).
        shown = 0
        for _, _, text, picture in self.run_ends(lines):
            if picture == "fail":
                self.failures[re.sub(r"\s*\d*$", "", text)] += 1
                shown += 1
        if fail > shown:
            self.failures["(row reset: player removed)"] += fail - shown

        # A player counted as produced was there all through its run, and still is unless it
        # was pulled out afterwards; its volume is sound and holds the operator's files.
        # A run that reaches no volume step and succeeds found the operator's label on the
        # player: finished, by the station's rule. After an earlier run was cut between the
        # format (which wrote the label) and its last copy, that volume lacks files: the
        # rule's known gap, counted apart rather than judged.
        last = {}
        cut = set()
        for x, ok, removed, i, volume in results:
            if ok and removed:
                self.anomaly("removed-produced", "%s counted as produced although it was removed before its volume steps" % x)
            by_label = ok and not volume and x in cut
            if volume and not ok:
                cut.add(x)
            elif ok and volume:
                cut.discard(x)
            last[x] = (ok, i, by_label)
        for x, (ok, i, by_label) in sorted(last.items()):
            if not ok:
                continue
            if by_label:
                self.label_finished += 1
                continue
            pulled_after = any(l == x + ": -->" for l in entries[i:])
            state = self.show(x)
            if not pulled_after and state.get("plugged") != "1":
                self.anomaly("removed-produced", "%s counted as produced but not plugged" % x)
            # A flash that has a table gets it; none written means the flash was never read.
            if self.flash.get(x) in TABLED_FLASH_IDS and state.get("cfg_tables") == "0":
                self.anomaly("unidentified-produced", "%s counted as produced without its flash table" % x)
            img = os.path.join(self.sim, x, "volume.img")
            fsck = subprocess.run([fat_tool("fsck.fat"), "-n", img], stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, text=True)
            if fsck.returncode != 0:
                self.anomalies.append("%s: fsck.fat -n finds faults: %s" % (
                    x, " / ".join(fsck.stdout.strip().splitlines()[-3:])))
            mdir = subprocess.run(["mdir", "-b", "-i", img, "::/"], stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, text=True,
                                  env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))
            names = sorted(n[3:] for n in mdir.stdout.splitlines() if n.startswith("::/"))
            if names != self.volume_files:
                self.anomalies.append("%s: volume holds %s" % (x, names))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--dist", required=True, help="the built ready-to-run folder")
    ap.add_argument("--work", required=True, help="a folder for the rounds (emptied)")
    ap.add_argument("--rounds", type=int, default=10)
    ap.add_argument("--seed", type=int, default=None, help="the first round's seed")
    ap.add_argument("--limit", type=int, default=300, help="seconds a round may take")
    ap.add_argument("--keep", action="store_true", help="keep every round's folder")
    ap.add_argument("--replay", default="scripts/soak", help="the command a replay line names")
    ap.add_argument("--pending", action="append", default=[], choices=["removed-produced", "unidentified-produced"],
                    help="count this kind apart, as expected until its mend is in")
    a = ap.parse_args()
    a.dist, a.work = os.path.abspath(a.dist), os.path.abspath(a.work)
    first = a.seed if a.seed is not None else random.SystemRandom().randrange(1, 2**31)
    print("soak: %d rounds, seeds %d..%d" % (a.rounds, first, first + a.rounds - 1), flush=True)

    totals = collections.Counter()
    failures = collections.Counter()
    bad_rounds = []
    for r in range(a.rounds):
        seed = first + r
        work = os.path.join(a.work, "round-%d" % seed)
        rnd = Round(a.dist, work, seed, a.pending)
        began = time.monotonic()
        try:
            rnd.prepare()
            rnd.play(a.limit)
            rnd.check()
        except Exception as e:  # a broken round is an anomaly, not the end of the soak
            rnd.anomalies.append("round broke: %r" % e)
        totals["runs"] += rnd.runs
        totals["successes"] += rnd.successes
        totals["anomalies"] += len(rnd.anomalies)
        totals["expected"] += len(rnd.expected)
        totals["label_finished"] += rnd.label_finished
        for e in rnd.expected:
            print("    expected until mended: " + e)
        failures.update(rnd.failures)
        print("round %3d seed %d: %2d runs, %2d successes, %d anomalies, %.0fs" % (
            r + 1, seed, rnd.runs, rnd.successes, len(rnd.anomalies), time.monotonic() - began), flush=True)
        if rnd.anomalies:
            bad_rounds.append(seed)
            for p in rnd.plan:
                print("    player " + p)
            for an in rnd.anomalies:
                print("    ANOMALY " + an)
            print("    replay: %s --seed %d 1   (round folder kept: %s)" % (a.replay, seed, work), flush=True)
        elif not a.keep:
            shutil.rmtree(work, ignore_errors=True)

    print()
    print("%-40s %8s" % ("soak summary", ""))
    print("%-40s %8d" % ("rounds", a.rounds))
    print("%-40s %8d" % ("runs tallied", totals["runs"]))
    print("%-40s %8d" % ("successes", totals["successes"]))
    print("%-40s %8d" % ("failures", totals["runs"] - totals["successes"]))
    for step, n in sorted(failures.items(), key=lambda kv: (-kv[1], kv[0])):
        print("  %-38s %8d" % (step, n))
    print("%-40s %8d" % ("finished by label after a cut volume run", totals["label_finished"]))
    if a.pending:
        print("%-40s %8d" % ("expected, mends pending", totals["expected"]))
        print("  (" + ", ".join(a.pending) + ")")
    print("%-40s %8d" % ("anomalies", totals["anomalies"]))
    if bad_rounds:
        print("rounds with anomalies (seeds): " + " ".join(map(str, bad_rounds)))
    return 1 if totals["anomalies"] else 0


if __name__ == "__main__":
    sys.exit(main())
