#!/usr/bin/env python3
"""Black-box comparison of the browser with the bare engine and with Falkon.

Start-up: from exec until a top-level window's caption shows the first page's
title, with a fresh data directory per run, for a bare QWebEngineView window
(off-the-record and persistent profile, and persistent with the engine set-up
that nimbrab chooses on this display), Falkon and nimbrab.
Memory: proportional set size (PSS) of all of a program's processes, 12 s
after 20 tabs of one local site, and after 50 tabs spread over 10 local sites
(127.0.0.1 .. 127.0.0.10, one port each), were opened: the first page on the
command line, the others through a second start each (`nimbrab URL`,
`falkon --new-tab URL`); the bare program gets them all on its command line.
A table of PSS by process kind (browser, renderers, zygotes, ...) follows.
Many tabs (`--only tabs200`): 200 tabs over 20 local sites (127.0.0.1 ..
127.0.0.20), opened one by one by a second start each (the bare program: all
on its command line, and once more as "bare (one by one)", which takes each
further tab by a second start and closes all tabs as the browser does); then PSS of all processes, Ctrl+Tab switching (key
sent through XTEST until the window caption names the next page, by
key_caption_timer), close all (Ctrl+Shift+W until no page title is left in
the caption), and the main process's PSS and RSS after the close against its
size before the tabs were opened. The longest UI stall of each step comes
from NIMBRA_STALL_LOG (programs that write it).

Runs are interleaved (run 1 of every program, then run 2, ...), so that load
from elsewhere on the machine spreads over all of them. Prints medians,
ranges and ratios. A peer that is not installed is skipped.

    make bench
    python3 bench/compare_browsers.py [--runs 7] [--mem-runs 3]
        [--nimbrab LABEL=PATH ...] [--display :N] [--port 8741]
        [--only startup|memory|tabs200] [--tabs-runs 1] [--switches 100]

It starts its own Xvfb (on a free display unless --display names one) and
runs under a private session bus.
"""

import argparse
import http.server
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SITES = 10
TAB_SITES = 20
SETTLE_S = 12


class Page(http.server.BaseHTTPRequestHandler):
    """A small page whose title names the site and the path."""

    def do_GET(self):
        host = self.server.server_address[0]
        title = f"bench {host} {self.path}"
        body = (f"<!DOCTYPE html><html><head><meta charset='utf-8'><title>{title}</title></head>"
                f"<body><h1>{title}</h1>" + "<p>Lorem ipsum dolor sit amet.</p>" * 40 + "</body></html>").encode()
        try:
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the program was stopped while it loaded

    def log_message(self, *args):
        pass


def serve_sites(port, count=SITES):
    """Site k (1..count) at http://127.0.0.k:(port+k-1)/; returns the base URLs."""
    bases = []
    for k in range(1, count + 1):
        host, p = f"127.0.0.{k}", port + k - 1
        server = http.server.ThreadingHTTPServer((host, p), Page)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        bases.append(f"http://{host}:{p}")
    return bases


def title_of(url):
    rest = url.split("://", 1)[1]
    host, path = rest.split(":", 1)[0], "/" + rest.split("/", 1)[1]
    return f"bench {host} {path}"


def process_tree(pid):
    """pid and all its descendants that are alive now."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(ppid, []).append(int(entry))
    tree, stack = [], [pid]
    while stack:
        p = stack.pop()
        tree.append(p)
        stack.extend(children.get(p, []))
    return tree


def pss_kib(pids):
    total = 0
    for p in pids:
        try:
            with open(f"/proc/{p}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
                        break
        except OSError:
            pass
    return total


def cpu_ms(pids):
    """User and system time that the processes have used so far."""
    ticks = 0
    for p in pids:
        try:
            with open(f"/proc/{p}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            ticks += int(fields[11]) + int(fields[12])
        except (OSError, IndexError, ValueError):
            pass
    return ticks * 1000 / os.sysconf("SC_CLK_TCK")


def process_kind(pid):
    """browser, renderer, zygote, gpu-process, utility:<service>, ... by the engine's --type."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            words = f.read().replace(b"\0", b" ").split()
        with open(f"/proc/{pid}/stat") as f:
            parent = int(f.read().rsplit(")", 1)[1].split()[1])
    except (OSError, IndexError, ValueError):
        return None
    types = [w[7:].decode() for w in words if w.startswith(b"--type=")]
    if not types:
        return "browser"
    kind = types[-1]
    sub = [w.split(b"=", 1)[1].decode() for w in words if w.startswith(b"--utility-sub-type=")]
    if sub:
        kind += ":" + sub[0].split(".")[0]
    # A renderer forked by a zygote may keep the zygote's command line.
    if kind == "zygote" and process_kind(parent) == "zygote":
        return "renderer"
    return kind


def pss_by_kind(pids):
    """{kind: (processes, PSS in MiB)}"""
    kinds = {}
    for p in pids:
        kind = process_kind(p)
        if kind:
            count, pss = kinds.get(kind, (0, 0.0))
            kinds[kind] = (count + 1, pss + pss_kib([p]) / 1024)
    return kinds


KINDS = ["browser", "gpu-process", "renderer", "zygote", "utility:network", "utility:storage"]


class Peer:
    """start(urls, home) gives the command line that opens the first URL, or
    all of them when the peer takes no new_tab(url) command; close_all names
    the keys that close every tab, when the program has them; caption is a
    text that the main window's caption always holds (else the page title's
    "bench ")."""

    def __init__(self, name, start, new_tab=None, env=None, close_all=None, caption="bench "):
        self.name, self.start, self.new_tab, self.env = name, start, new_tab, env or (lambda home: {})
        self.close_all, self.caption = close_all, caption

    def environment(self, home):
        env = dict(os.environ)
        env.update(self.env(home))
        return env


# What the browser sets up for the engine on this display (one renderer per
# site; Qt Quick's software renderer and no OpenGL, since Xvfb offers no
# direct rendering), so that a bare program can be measured with the same.
OUR_ENGINE_ENV = {"QTWEBENGINE_CHROMIUM_FLAGS": "--process-per-site --site-per-process",
                  "QT_QUICK_BACKEND": "software", "QT_XCB_GL_INTEGRATION": "none"}


def peers(args):
    bench = os.path.join(args.build, "bench")
    bare = os.path.join(bench, "bare_window_program")
    found = [
        Peer("bare (off the record)", lambda urls, home: [bare] + urls),
        Peer("bare (persistent)", lambda urls, home: [bare, "--storage", os.path.join(home, "engine")] + urls),
        Peer("bare (pers., our set-up)", lambda urls, home: [bare, "--storage", os.path.join(home, "engine")] + urls,
             env=lambda home: OUR_ENGINE_ENV),
    ]
    falkon = shutil.which("falkon")
    if falkon:
        # A fresh profile: Falkon keeps everything under the home folder.
        def falkon_env(home):
            return {"HOME": home, "XDG_CONFIG_HOME": home + "/.config", "XDG_DATA_HOME": home + "/.local/share",
                    "XDG_CACHE_HOME": home + "/.cache"}
        found.append(Peer("falkon", lambda urls, home: [falkon, urls[0]],
                          lambda url: [falkon, "--new-tab", url], falkon_env, caption="Falkon"))
    else:
        print("falkon is not installed: skipped", file=sys.stderr)
    for label, path in args.nimbrab or [("nimbrab", os.path.join(args.build, "nimbrab"))]:
        def nimbrab_env(home):
            return {"NIMBRA_HOME": home, "XDG_CONFIG_HOME": home + "/.config"}
        found.append(Peer(label, lambda urls, home, path=path: [path, urls[0]],
                          lambda url, path=path: [path, url], nimbrab_env, "ctrl+shift+w",
                          "Nimbra Browser"))
    return found


class Running:
    """A program started with a fresh home folder, stopped with its whole tree."""

    def __init__(self, peer, urls, watcher_bin, timeout_ms):
        self.peer = peer
        self.home = tempfile.mkdtemp(prefix="nimbra-bench-")
        self.env = peer.environment(self.home)
        watcher = subprocess.Popen([watcher_bin, title_of(urls[0]), str(timeout_ms)], stdout=subprocess.PIPE,
                                   text=True)
        if watcher.stdout.readline().strip() != "ready":
            raise RuntimeError("caption_watch could not open the display")
        start = time.monotonic_ns()
        self.proc = subprocess.Popen(peer.start(urls, self.home), env=self.env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        line = ""
        while not line and watcher.poll() is None:
            if select.select([watcher.stdout], [], [], 0.2)[0]:
                line = watcher.stdout.readline().strip()
            elif self.proc.poll() is not None:
                watcher.kill()
        watcher.wait()
        self.caption_ms = (int(line) - start) / 1e6 if line else None
        self.cpu_ms = cpu_ms(process_tree(self.proc.pid)) if line else None

    def open_tab(self, url):
        subprocess.run(self.peer.new_tab(url), env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    def stop(self):
        tree = process_tree(self.proc.pid)
        try:
            os.killpg(self.proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        # Engine processes that outlived their parent.
        deadline = time.monotonic() + 5
        for pid in tree[1:]:
            while os.path.exists(f"/proc/{pid}") and time.monotonic() < deadline:
                time.sleep(0.05)
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.home, ignore_errors=True)


def summary(values):
    values = [v for v in values if v is not None]
    if not values:
        return None
    return statistics.median(values), min(values), max(values), len(values)


def run_startup(args, all_peers, bases, watcher):
    results = {p.name: [] for p in all_peers}
    cpu = {p.name: [] for p in all_peers}
    for run in range(args.runs):
        for peer in all_peers:
            url = f"{bases[0]}/start?run={run}"
            running = Running(peer, [url], watcher, 30000)
            results[peer.name].append(running.caption_ms)
            cpu[peer.name].append(running.cpu_ms)
            running.stop()
            shown = f"{running.caption_ms:.0f} ms, CPU {running.cpu_ms:.0f} ms" if running.caption_ms else "no caption"
            print(f"  start-up run {run + 1}: {peer.name}: {shown}", file=sys.stderr)
    print("\nStart-up to the first page's title in the caption (ms; CPU = user and system time of the"
          " program's processes by then)")
    bare = {name: summary(results[name]) for name in ("bare (off the record)", "bare (persistent)")}
    print(f"| {'program':<24} | median | range | runs | × bare (off the record) | × bare (persistent) | CPU median |")
    print("|---|---|---|---|---|---|---|")
    for peer in all_peers:
        s = summary(results[peer.name])
        if not s:
            print(f"| {peer.name:<24} | failed | | 0 | | | |")
            continue
        ratios = [f"{s[0] / b[0]:.2f}" if b else "-" for b in bare.values()]
        c = summary(cpu[peer.name])
        print(f"| {peer.name:<24} | {s[0]:.0f} | {s[1]:.0f}–{s[2]:.0f} | {s[3]} | {ratios[0]} | {ratios[1]} "
              f"| {c[0]:.0f} |")


def run_memory(args, all_peers, bases, watcher):
    scenarios = [
        ("20 tabs, 1 site", [f"{bases[0]}/page?tab={i}" for i in range(20)]),
        ("50 tabs, 10 sites", [f"{bases[i % SITES]}/page?tab={i}" for i in range(50)]),
    ]
    # The off-the-record bare program keeps what the persistent one keeps.
    measured = [p for p in all_peers if p.name != "bare (off the record)"]
    results = {(p.name, s): [] for p in measured for s, _ in scenarios}
    for run in range(args.mem_runs):
        for scenario, urls in scenarios:
            for peer in measured:
                running = Running(peer, urls if not peer.new_tab else urls[:1], watcher, 60000)
                try:
                    if running.caption_ms is None:
                        raise RuntimeError("no caption")
                    if peer.new_tab:
                        for url in urls[1:]:
                            running.open_tab(url)
                    time.sleep(SETTLE_S)
                    kinds = pss_by_kind(process_tree(running.proc.pid))
                except (RuntimeError, subprocess.TimeoutExpired) as error:
                    print(f"  {peer.name}: {scenario}: {error}", file=sys.stderr)
                    kinds = None
                running.stop()
                results[(peer.name, scenario)].append(kinds)
                if kinds:
                    print(f"  memory run {run + 1}: {peer.name}: {scenario}: "
                          f"{sum(v[1] for v in kinds.values()):.0f} MiB, "
                          f"{kinds.get('renderer', (0, 0))[0]} renderers", file=sys.stderr)
    print(f"\nPSS of all processes {SETTLE_S} s after the tabs were opened (MiB; the bare program gets all URLs"
          " on its command line, the others open each further tab by a second start)")
    print(f"| {'program':<24} | scenario | median | range | renderers | × falkon |")
    print("|---|---|---|---|---|---|")
    totals = {key: [sum(v[1] for v in kinds.values()) for kinds in runs if kinds] for key, runs in results.items()}
    for scenario, _ in scenarios:
        falkon = summary(totals.get(("falkon", scenario), []))
        for peer in measured:
            s = summary(totals[(peer.name, scenario)])
            if not s:
                print(f"| {peer.name:<24} | {scenario} | failed | | | |")
                continue
            ratio = f"{s[0] / falkon[0]:.2f}" if falkon else "-"
            procs = statistics.median(k.get("renderer", (0, 0))[0] for k in results[(peer.name, scenario)] if k)
            print(f"| {peer.name:<24} | {scenario} | {s[0]:.0f} | {s[1]:.0f}–{s[2]:.0f} | {procs:.0f} | {ratio} |")
    print("\nPSS by process kind, median over the runs (MiB, processes)")
    print(f"| {'program':<24} | scenario | " + " | ".join(KINDS) + " | other |")
    print("|---|---|" + "---|" * (len(KINDS) + 1))
    for scenario, _ in scenarios:
        for peer in measured:
            runs = [k for k in results[(peer.name, scenario)] if k]
            if not runs:
                continue
            cells = []
            for kind in KINDS + ["other"]:
                def of(kinds):
                    chosen = [v for k, v in kinds.items() if (k == kind) or (kind == "other" and k not in KINDS)]
                    return sum(v[0] for v in chosen), sum(v[1] for v in chosen)
                values = [of(k) for k in runs]
                count = statistics.median(v[0] for v in values)
                cells.append(f"{statistics.median(v[1] for v in values):.0f} ({count:.0f})" if count else "-")
            print(f"| {peer.name:<24} | {scenario} | " + " | ".join(cells) + " |")


def in_private_bus():
    """Runs this script again under a private session bus, unless it is under
    one: the browser's DDE service must not meet a running browser's."""
    if "NIMBRA_BENCH_BUS" not in os.environ:
        env = dict(os.environ, NIMBRA_BENCH_BUS="1")
        sys.exit(subprocess.call(["dbus-run-session", "--", sys.executable] + sys.argv, env=env))


def start_xvfb(display=None):
    """Starts Xvfb and points this process's environment (and so the
    programs') at it; returns (process, display number, empty when it did
    not start). Xvfb writes the number once it accepts clients; without a
    display it takes one that no other server uses, and a display in use
    ends it, so nothing runs on another server.

    -noreset: by default the server resets whenever its last client leaves,
    and closes every connection that comes in meanwhile; between two runs
    that is the moment the next program connects (about one connection in
    ten from one client after another fails so), and a program that loses
    its display there aborts, or the caption watcher stops watching."""
    number_read, number_write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb"] + ([display] if display else [])
                            + ["-displayfd", str(number_write), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                               "-noreset"],
                            stderr=subprocess.DEVNULL, pass_fds=(number_write,))
    os.close(number_write)
    with os.fdopen(number_read) as numbers:
        number = numbers.readline().strip()
    os.environ["DISPLAY"] = ":" + number
    os.environ.pop("WAYLAND_DISPLAY", None)
    os.environ["QT_QPA_PLATFORM"] = "xcb"
    if os.geteuid() == 0:
        os.environ["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
    return xvfb, number


def pss_rss_kib(pid):
    """(PSS, RSS) of one process in KiB, or None when it is gone."""
    values = {}
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                key = line.split(":", 1)[0]
                if key in ("Pss", "Rss"):
                    values[key] = int(line.split()[1])
    except OSError:
        return None
    return values.get("Pss", 0), values.get("Rss", 0)


def longest_stall(log, since_ms, until_ms):
    """The longest stall in ms that the program logged in [since_ms, until_ms), 0 when none."""
    longest = 0.0
    try:
        with open(log) as f:
            for line in f:
                words = line.split()
                if len(words) == 2 and since_ms <= float(words[0]) < until_ms:
                    longest = max(longest, float(words[1]))
    except (OSError, ValueError):
        return None
    return longest


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))] if ordered else None


def run_tabs200(args, all_peers, bases, watcher):
    """200 tabs over TAB_SITES sites: memory, Ctrl+Tab, close all, the main process afterwards."""
    timer = os.path.join(args.build, "bench", "key_caption_timer")
    urls = [f"{bases[i % TAB_SITES]}/page?tab={i}" for i in range(200)]
    # The engine's own figures beside ours: the bare program with our set-up,
    # each further tab by a second start, closing all as we do.
    bare = os.path.join(args.build, "bench", "bare_window_program")
    instance = f"nimbra-bench-bare-{os.getpid()}"
    one_by_one = Peer("bare (one by one)",
                      lambda urls, home: [bare, "--storage", os.path.join(home, "engine"), "--instance", instance] + urls,
                      lambda url: [bare, "--instance", instance, url], lambda home: OUR_ENGINE_ENV, "ctrl+shift+w")
    measured = [p for p in all_peers if p.name not in ("bare (off the record)", "bare (persistent)")] + [one_by_one]
    rows = {p.name: [] for p in measured}
    for run in range(args.tabs_runs):
        for peer in measured:
            log = tempfile.mktemp(prefix="nimbra-stall-", suffix=".log")
            os.environ["NIMBRA_STALL_LOG"] = log
            try:
                running = Running(peer, urls if not peer.new_tab else urls[:1], watcher, 120000)
            finally:
                del os.environ["NIMBRA_STALL_LOG"]
            row = {"stall": {}}
            steps = []  # (name, start epoch ms, end epoch ms)

            def step(name, start_ms):
                steps.append((name, start_ms, time.time() * 1000))

            try:
                if running.caption_ms is None:
                    raise RuntimeError("no caption")
                main = running.proc.pid
                if peer.new_tab:
                    time.sleep(5)
                    row["before"] = pss_rss_kib(main)
                    start_ms, start = time.time() * 1000, time.monotonic()
                    for url in urls[1:]:
                        running.open_tab(url)
                    row["open_s"] = time.monotonic() - start
                    step("open", start_ms)
                start_ms = time.time() * 1000
                time.sleep(SETTLE_S)
                step("settle", start_ms)
                tree = process_tree(main)
                row["kinds"] = pss_by_kind(tree)
                row["loaded"] = pss_rss_kib(main)
                start_ms = time.time() * 1000
                done = subprocess.run([timer, peer.caption, "ctrl+Tab", str(args.switches), "5000"], capture_output=True,
                                      text=True, timeout=args.switches * 6 + 60)
                out = done.stdout.split()
                if not out:
                    print(f"  {peer.name}: switching: {done.stderr.strip()}", file=sys.stderr)
                step("switch", start_ms)
                row["switch"] = [float(v) for v in out if v != "timeout"]
                row["switch_missed"] = sum(1 for v in out if v == "timeout")
                if peer.new_tab and peer.close_all:
                    start_ms = time.time() * 1000
                    out = subprocess.run([timer, "--until-without", "bench ", peer.caption, peer.close_all, "1", "60000"],
                                         capture_output=True, text=True, timeout=90).stdout.split()
                    row["close_ms"] = float(out[0]) if out and out[0] != "timeout" else None
                    # Until the engine has ended the renderers of the closed
                    # pages; it keeps one spare renderer.
                    start = time.monotonic()
                    while time.monotonic() - start < 60 and sum(
                            process_kind(p) == "renderer" for p in process_tree(main)) > 1:
                        time.sleep(0.05)
                    row["renderers_gone_s"] = time.monotonic() - start + (row["close_ms"] or 0) / 1000
                    step("close", start_ms)
                    start_ms = time.time() * 1000
                    time.sleep(SETTLE_S)
                    step("after", start_ms)
                    row["after"] = pss_rss_kib(main)
            except (RuntimeError, subprocess.TimeoutExpired, ValueError, IndexError) as error:
                print(f"  {peer.name}: tabs200: {error}", file=sys.stderr)
            running.stop()
            for name, since, until in steps:
                row["stall"][name] = longest_stall(log, since, until)
            if os.path.exists(log):
                os.remove(log)
            rows[peer.name].append(row)
            if "kinds" in row:
                print(f"  tabs200 run {run + 1}: {peer.name}: {sum(v[1] for v in row['kinds'].values()):.0f} MiB, "
                      f"switch p95 {percentile(row['switch'], 0.95)} ms, close {row.get('close_ms')} ms",
                      file=sys.stderr)

    def mib(kib):
        return f"{kib / 1024:.0f}"

    print("\n200 tabs over 20 sites (each further tab by a second start; the bare program gets all URLs on its"
          f" command line), PSS of all processes {SETTLE_S} s after the last was opened (MiB), Ctrl+Tab from the"
          " key (XTEST) to the caption's change (ms), close all (Ctrl+Shift+W) to a caption without a page (ms)"
          " and until only the engine's spare renderer is left (s); one line per run")
    print(f"| {'program':<24} | PSS | × falkon | renderers | open 199 (s) | switch p50 / p95 / max (n) "
          "| close all | renderers gone |")
    print("|---|---|---|---|---|---|---|---|")
    falkon = [sum(v[1] for v in r["kinds"].values()) for r in rows.get("falkon", []) if "kinds" in r]
    falkon_pss = statistics.median(falkon) if falkon else None
    for peer in measured:
        for row in rows[peer.name]:
            if "kinds" not in row:
                print(f"| {peer.name:<24} | failed | | | | | | |")
                continue
            total = sum(v[1] for v in row["kinds"].values())
            ratio = f"{total / falkon_pss:.2f}" if falkon_pss else "-"
            sw = row["switch"]
            switch = (f"{statistics.median(sw):.1f} / {percentile(sw, 0.95):.1f} / {max(sw):.1f} ({len(sw)}"
                      + (f", {row['switch_missed']} no change" if row["switch_missed"] else "") + ")") if sw else "-"
            opened = f"{row['open_s']:.0f}" if "open_s" in row else "-"
            close = f"{row['close_ms']:.0f} ms" if row.get("close_ms") is not None else "-"
            gone = f"{row['renderers_gone_s']:.1f}" if "renderers_gone_s" in row else "-"
            print(f"| {peer.name:<24} | {total:.0f} | {ratio} | {row['kinds'].get('renderer', (0, 0))[0]} | {opened} "
                  f"| {switch} | {close} | {gone} |")
    print("\nThe main process: PSS / RSS (MiB) 5 s after the first page, with the 200 tabs, and "
          f"{SETTLE_S} s after closing them all; the longest UI stall per step (ms, NIMBRA_STALL_LOG)")
    print(f"| {'program':<24} | before | 200 tabs | after close | after / before (PSS, RSS) "
          "| stall: open | settle | switch | close | after |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for peer in measured:
        for row in rows[peer.name]:
            if "kinds" not in row:
                continue
            cells = [f"{mib(row[k][0])} / {mib(row[k][1])}" if row.get(k) else "-"
                     for k in ("before", "loaded", "after")]
            ratio = (f"{row['after'][0] / row['before'][0]:.2f}, {row['after'][1] / row['before'][1]:.2f}"
                     if row.get("before") and row.get("after") else "-")
            stalls = [row["stall"].get(name) for name in ("open", "settle", "switch", "close", "after")]
            stalls = [f"{v:.0f}" if v is not None else "-" for v in stalls]
            print(f"| {peer.name:<24} | " + " | ".join(cells) + f" | {ratio} | " + " | ".join(stalls) + " |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=7, help="start-up runs per program")
    parser.add_argument("--mem-runs", type=int, default=3, help="memory runs per program and scenario")
    parser.add_argument("--build", default=os.path.join(ROOT, "build-bench"), help="tree made by `make bench`")
    parser.add_argument("--nimbrab", action="append", type=lambda t: tuple(t.split("=", 1)),
                        metavar="LABEL=PATH", help="a nimbrab to measure (repeatable; default the build's)")
    parser.add_argument("--display", help="the Xvfb display (default: a free one)")
    parser.add_argument("--port", type=int, default=8741, help="first of the 20 ports of the local sites")
    parser.add_argument("--only", choices=["startup", "memory", "tabs200"])
    parser.add_argument("--tabs-runs", type=int, default=1, help="runs of the 200-tab scenario per program")
    parser.add_argument("--switches", type=int, default=100, help="Ctrl+Tab presses timed in the 200-tab scenario")
    args = parser.parse_args()

    in_private_bus()

    watcher = os.path.join(args.build, "bench", "caption_watch")
    for needed in (watcher, os.path.join(args.build, "bench", "bare_window_program"),
                   os.path.join(args.build, "bench", "key_caption_timer")):
        if not os.access(needed, os.X_OK):
            sys.exit(f"{needed} is missing: run `make bench` first")

    xvfb, number = start_xvfb(args.display)
    try:
        if not number:
            sys.exit("Xvfb did not start" + (f" on {args.display}" if args.display else ""))
        bases = serve_sites(args.port, TAB_SITES)
        all_peers = peers(args)
        print("Command: " + " ".join(["python3", "bench/compare_browsers.py"] + sys.argv[1:]))
        if args.only in (None, "startup"):
            run_startup(args, all_peers, bases, watcher)
        if args.only in (None, "memory"):
            run_memory(args, all_peers, bases, watcher)
        if args.only in (None, "tabs200"):
            run_tabs200(args, all_peers, bases, watcher)
    finally:
        xvfb.terminate()
        xvfb.wait()


if __name__ == "__main__":
    main()
