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

Runs are interleaved (run 1 of every program, then run 2, ...), so that load
from elsewhere on the machine spreads over all of them. Prints medians,
ranges and ratios. A peer that is not installed is skipped.

    make bench
    python3 bench/compare_browsers.py [--runs 7] [--mem-runs 3]
        [--nimbrab LABEL=PATH ...] [--display :N] [--port 8741]

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


def serve_sites(port):
    """Site k (1..SITES) at http://127.0.0.k:(port+k-1)/; returns the base URLs."""
    bases = []
    for k in range(1, SITES + 1):
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
    all of them when the peer takes no new_tab(url) command."""

    def __init__(self, name, start, new_tab=None, env=None):
        self.name, self.start, self.new_tab, self.env = name, start, new_tab, env or (lambda home: {})

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
                          lambda url: [falkon, "--new-tab", url], falkon_env))
    else:
        print("falkon is not installed: skipped", file=sys.stderr)
    for label, path in args.nimbrab or [("nimbrab", os.path.join(args.build, "nimbrab"))]:
        def nimbrab_env(home):
            return {"NIMBRA_HOME": home, "XDG_CONFIG_HOME": home + "/.config"}
        found.append(Peer(label, lambda urls, home, path=path: [path, urls[0]],
                          lambda url, path=path: [path, url], nimbrab_env))
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=7, help="start-up runs per program")
    parser.add_argument("--mem-runs", type=int, default=3, help="memory runs per program and scenario")
    parser.add_argument("--build", default=os.path.join(ROOT, "build-bench"), help="tree made by `make bench`")
    parser.add_argument("--nimbrab", action="append", type=lambda t: tuple(t.split("=", 1)),
                        metavar="LABEL=PATH", help="a nimbrab to measure (repeatable; default the build's)")
    parser.add_argument("--display", help="the Xvfb display (default: a free one)")
    parser.add_argument("--port", type=int, default=8741, help="first of the 10 ports of the local sites")
    parser.add_argument("--only", choices=["startup", "memory"])
    args = parser.parse_args()

    in_private_bus()

    watcher = os.path.join(args.build, "bench", "caption_watch")
    for needed in (watcher, os.path.join(args.build, "bench", "bare_window_program")):
        if not os.access(needed, os.X_OK):
            sys.exit(f"{needed} is missing: run `make bench` first")

    xvfb, number = start_xvfb(args.display)
    try:
        if not number:
            sys.exit("Xvfb did not start" + (f" on {args.display}" if args.display else ""))
        bases = serve_sites(args.port)
        all_peers = peers(args)
        print("Command: " + " ".join(["python3", "bench/compare_browsers.py"] + sys.argv[1:]))
        if args.only != "memory":
            run_startup(args, all_peers, bases, watcher)
        if args.only != "startup":
            run_memory(args, all_peers, bases, watcher)
    finally:
        xvfb.terminate()
        xvfb.wait()


if __name__ == "__main__":
    main()
