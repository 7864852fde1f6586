#!/usr/bin/env python3
"""Start-up of nimbrab with a person's data, and starts in a row under load.

Data: from exec until the window caption shows the first page's title, with
a data directory of each kind made by make_profile_program (empty; 20,000
bookmarks and a link bar of 1,000; 1,000,000 visits with 100,000 page
copies), a fresh copy per run, interleaved (run 1 of every kind and program,
then run 2, ...). Prints medians and ranges, the ratios bookmarks/empty and
history/empty (goal: at most 1.05), and the longest stall of the UI thread
per start (NIMBRA_STALL_LOG) until a second after the caption (from the
event loop's first turn: the building of the window before it is in the
start-up time only).
Load: --load N starts in a row (default 100) with an empty data directory
while two busy loops keep both cores loaded; every start must show its
page's title. Prints median and slowest (goal: slowest at most twice the
median) and each start that failed, with its status or signal and stderr.

    python3 bench/data_starts.py [--runs 7] [--nimbrab LABEL=PATH ...]
        [--cache DIR] [--build DIR] [--display :N] [--port 8771]
    python3 bench/data_starts.py --load [100] [--nimbrab LABEL=PATH]

The made data directories are kept in --cache (default
build-bench/profiles): the history one takes minutes to make.
"""

import argparse
import multiprocessing
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from compare_browsers import ROOT, Peer, Running, in_private_bus, serve_sites, start_xvfb, summary

KINDS = ["empty", "bookmarks", "history"]
# Stalls are counted until this long after the caption: work that a start
# leaves for just after its first page (menus, the link bar) counts too.
AFTER_CAPTION_S = 1.0


def made_profile(build, cache, kind):
    maker = os.path.join(build, "bench", "make_profile_program")
    started = time.monotonic()
    path = subprocess.run([maker, kind, cache], check=True, stdout=subprocess.PIPE, text=True).stdout.strip()
    if time.monotonic() - started > 5:
        print(f"  {kind}: made in {time.monotonic() - started:.0f} s", file=sys.stderr)
    return path


class Start:
    """One start of nimbrab from a copy of `profile` (None: an empty data
    directory), keeping its stderr and its stall log."""

    def __init__(self, path, profile, url, watcher, logs, name):
        self.stall_log = os.path.join(logs, name + ".stalls")
        self.err_log = os.path.join(logs, name + ".err")

        def environment(home):
            # Runs before the clock starts: the copy is not timed.
            if profile:
                shutil.copytree(profile, home, dirs_exist_ok=True, ignore=shutil.ignore_patterns("made"))
            return {"NIMBRA_HOME": home, "XDG_CONFIG_HOME": home + "/.config", "NIMBRA_STALL_LOG": self.stall_log}

        # The shell becomes the program (same process) with stderr in a file.
        command = ["sh", "-c", 'exec "$0" "$@" 2>"$NIMBRA_BENCH_ERR"', path]
        peer = Peer(name, lambda urls, home: command + urls[:1], env=environment)
        os.environ["NIMBRA_BENCH_ERR"] = self.err_log
        self.running = Running(peer, [url], watcher, 60000)
        self.caption_ms = self.running.caption_ms
        caption_epoch_ms = time.time() * 1000
        if self.caption_ms is not None:
            time.sleep(AFTER_CAPTION_S)
        self.status = self.running.proc.poll()  # None while it runs
        self.running.stop()
        self.stall_ms = 0.0
        try:
            with open(self.stall_log) as f:
                for line in f:
                    end, ms = line.split()
                    if float(end) - float(ms) <= caption_epoch_ms + AFTER_CAPTION_S * 1000:
                        self.stall_ms = max(self.stall_ms, float(ms))
        except (OSError, ValueError):
            pass

    def failure(self):
        """Why the start failed, with its stderr; None when it showed its page."""
        if self.caption_ms is not None and self.status is None:
            return None
        if self.status is None:
            why = "its page's title never showed"
        elif self.status < 0:
            why = f"died by signal {-self.status}"
        else:
            why = f"ended with status {self.status}"
        try:
            with open(self.err_log, errors="replace") as f:
                err = f.read().strip()
        except OSError:
            err = ""
        return why + (":\n    " + err.replace("\n", "\n    ") if err else " (nothing on stderr)")


def run_data(args, programs, bases, watcher, logs):
    os.makedirs(args.cache, exist_ok=True)
    profiles = {kind: made_profile(args.build, args.cache, kind) for kind in KINDS}
    times = {(label, kind): [] for label, _ in programs for kind in KINDS}
    stalls = {(label, kind): [] for label, _ in programs for kind in KINDS}
    failures = []
    for run in range(args.runs):
        for label, path in programs:
            for kind in KINDS:
                start = Start(path, profiles[kind], f"{bases[0]}/{kind}?run={run}", watcher, logs,
                              f"{label}-{kind}-{run}")
                times[(label, kind)].append(start.caption_ms)
                stalls[(label, kind)].append(start.stall_ms if start.caption_ms is not None else None)
                failed = start.failure()
                if failed:
                    failures.append(f"{label} {kind} run {run + 1}: {failed}")
                shown = f"{start.caption_ms:.0f} ms, longest stall {start.stall_ms:.0f} ms" if not failed else failed
                print(f"  run {run + 1}: {label}: {kind}: {shown}", file=sys.stderr)

    print("\nStart-up to the first page's title in the caption, by the data directory (ms; stall = longest"
          f" UI-thread stall until {AFTER_CAPTION_S:.0f} s after the caption)")
    print("| program | data | median | range | runs | × empty | stall median | stall max |")
    print("|---|---|---|---|---|---|---|---|")
    for label, _ in programs:
        empty = summary(times[(label, "empty")])
        for kind in KINDS:
            s = summary(times[(label, kind)])
            if not s:
                print(f"| {label} | {kind} | failed | | 0 | | | |")
                continue
            ratio = f"{s[0] / empty[0]:.2f}" if empty else "-"
            st = summary(stalls[(label, kind)])
            print(f"| {label} | {kind} | {s[0]:.0f} | {s[1]:.0f}–{s[2]:.0f} | {s[3]} | {ratio} | {st[0]:.0f} "
                  f"| {st[2]:.0f} |")
    if len(programs) > 1:
        first = programs[0][0]
        print(f"\nMedian start-up against {first}")
        for label, _ in programs[1:]:
            cells = []
            for kind in KINDS:
                a, b = summary(times[(first, kind)]), summary(times[(label, kind)])
                cells.append(f"{kind} {b[0] / a[0]:.2f}" if a and b else f"{kind} -")
            print(f"  {label}: " + ", ".join(cells))
    return failures


def busy():
    while True:
        pass


def run_load(args, programs, bases, watcher, logs):
    label, path = programs[0]
    loops = [multiprocessing.Process(target=busy, daemon=True) for _ in range(2)]
    for loop in loops:
        loop.start()
    times, failures = [], []
    try:
        for run in range(args.load):
            start = Start(path, None, f"{bases[0]}/load?run={run}", watcher, logs, f"{label}-load-{run}")
            failed = start.failure()
            if failed:
                failures.append(f"{label} start {run + 1}: {failed}")
            else:
                times.append(start.caption_ms)
            print(f"  start {run + 1}: {failed or f'{start.caption_ms:.0f} ms'}", file=sys.stderr)
    finally:
        for loop in loops:
            loop.terminate()
    print(f"\n{args.load} starts of {label} in a row under two busy loops (ms to the first page's title)")
    s = summary(times)
    if s:
        print(f"| shown | median | slowest | slowest / median |\n|---|---|---|---|\n"
              f"| {s[3]} of {args.load} | {s[0]:.0f} | {s[2]:.0f} | {s[2] / s[0]:.2f} |")
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=7, help="runs per program and kind of data")
    parser.add_argument("--load", type=int, nargs="?", const=100, help="starts in a row under load instead")
    parser.add_argument("--build", default=os.path.join(ROOT, "build-bench"), help="tree made by `make bench`")
    parser.add_argument("--cache", help="where the made data directories are kept (default BUILD/profiles)")
    parser.add_argument("--nimbrab", action="append", type=lambda t: tuple(t.split("=", 1)),
                        metavar="LABEL=PATH", help="a nimbrab to measure (repeatable; default the build's)")
    parser.add_argument("--display", help="the Xvfb display (default: a free one)")
    parser.add_argument("--port", type=int, default=8771, help="first of the 10 ports of the local sites")
    args = parser.parse_args()
    args.cache = args.cache or os.path.join(args.build, "profiles")
    programs = args.nimbrab or [("nimbrab", os.path.join(args.build, "nimbrab"))]

    in_private_bus()
    watcher = os.path.join(args.build, "bench", "caption_watch")
    for needed in [watcher, os.path.join(args.build, "bench", "make_profile_program")] + [p for _, p in programs]:
        if not os.access(needed, os.X_OK):
            sys.exit(f"{needed} is missing: run `make bench` first")

    xvfb, number = start_xvfb(args.display)
    logs = tempfile.mkdtemp(prefix="nimbra-starts-")
    try:
        if not number:
            sys.exit("Xvfb did not start" + (f" on {args.display}" if args.display else ""))
        bases = serve_sites(args.port)
        print("Command: " + " ".join(["python3", "bench/data_starts.py"] + sys.argv[1:]))
        failures = (run_load if args.load else run_data)(args, programs, bases, watcher, logs)
        print(f"\nFailed starts: {len(failures)}")
        for failure in failures:
            print("  " + failure)
    finally:
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(logs, ignore_errors=True)


if __name__ == "__main__":
    main()
