#!/usr/bin/env python3
"""The updater's benchmark: build and install times, start-up, idle cost and
scale, each beside a reference measured in the same run. Started by
scripts/bench.sh, which builds the programs first; see bench/README.md.

Every figure of ours is timed from inside Wine by bench_driver.exe (from just
before CreateProcess), memory and CPU time are read from /proc of the Linux
process that runs the Windows program (wine-preloader, one per Windows
process), and references are run alternately with ours.
"""
import argparse
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import time

MIB = 1024 * 1024
OPTS = None  # the parsed command line and the paths derived from it


# ---- Wine and the driver ---------------------------------------------------

def wine_env():
    env = dict(os.environ)
    env.update(WINEPREFIX=OPTS.prefix, WINEDEBUG="-all", DISPLAY=OPTS.display,
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    return env


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wineserver(*args):
    subprocess.run(["wineserver", *args], env=wine_env(), check=False)


def set_registry(key, value, kind, data, view=()):
    subprocess.run([OPTS.wine, "reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f", *view],
                   env=wine_env(), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def stop_wineserver():
    wineserver("-k")
    wineserver("-w")


def find_unix_pid(exe_name, prefix_match=False):
    """The Linux process running exe_name in our prefix (None if gone)."""
    comm = os.path.basename(exe_name)[:15]
    marker = b"WINEPREFIX=" + OPTS.prefix.encode() + b"\0"
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/comm") as f:
                found = f.read().strip()
            if found != comm and not (prefix_match and found.startswith(comm)):
                continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if marker not in f.read() + b"\0":
                    continue
        except OSError:
            continue
        return int(entry)
    return None


def thread_cpu_ns(pid):
    """CPU time of each thread of the process, in ns, by thread id."""
    times = {}
    try:
        for tid in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                times[int(tid)] = int(f.read().split()[0])
    except OSError:
        pass
    return times


def process_cpu_ns(pid):
    return sum(thread_cpu_ns(pid).values()) if pid else 0


def wineserver_cpu_ns():
    """CPU time of our prefix's Wine server, which does the work of every
    file call that goes through it."""
    return process_cpu_ns(find_unix_pid("wineserver", prefix_match=True))


def memory_kib(pid):
    values = {}
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("VmRSS", "VmHWM", "RssAnon", "RssFile"):
                    values[key] = int(rest.split()[0])
    except OSError:
        pass
    return values


def run_driver(exe, cwd, tail, steps, on_event=None, poll_ms=5):
    """Runs bench_driver.exe; gives the list of (step, t_ms, line) it printed.
    on_event(step, t, line, pid_lookup) runs as each line arrives; at a "wait"
    step the driver holds until on_event has returned."""
    command = [OPTS.wine, OPTS.bench_driver, "--poll", str(poll_ms), windows_path(exe),
               windows_path(cwd) if cwd else "-", tail, *steps]
    process = subprocess.Popen(command, env=wine_env(), stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True, cwd=OPTS.work)
    events = []
    cache = {}

    def pid_lookup():
        if "pid" not in cache:
            cache["pid"] = find_unix_pid(exe)
        return cache["pid"]

    for line in process.stdout:
        step = line.split(" ", 1)[0]
        t = None
        for word in line.split():
            if word.startswith("t="):
                t = float(word[2:])
        events.append((step, t, line.strip()))
        if on_event:
            on_event(step, t, line, pid_lookup)
        if step == "wait":
            process.stdin.write("\n")
            process.stdin.flush()
    process.wait()
    if process.returncode != 0:
        raise RuntimeError("driver failed on %s: %s" % (os.path.basename(exe),
                           events[-1][2] if events else "no output"))
    return events


def event_time(events, step, nth=0):
    found = [t for s, t, _ in events if s == step]
    return found[nth] if len(found) > nth else None


def event_line(events, step):
    return next((line for s, _, line in events if s == step), "")


# ---- Payloads and folders --------------------------------------------------

def payload_dir(name):
    return os.path.join(OPTS.work, "payloads", name)


def generate_payload(kind, name, blob=False):
    out = payload_dir(name)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(os.path.dirname(out), exist_ok=True)
    command = [OPTS.generator, kind, out] + (["--blob"] if blob else [])
    subprocess.run(command, check=True)
    return out


def read_manifest(directory):
    with open(os.path.join(directory, "manifest.txt")) as f:
        return [(int(size), path) for size, path in (line.rstrip("\n").split(" ", 1) for line in f)]


def payload_fingerprint(directory):
    digest = hashlib.sha256()
    with open(os.path.join(directory, "manifest.txt"), "rb") as f:
        digest.update(f.read())
    for _, path in read_manifest(directory):
        with open(os.path.join(directory, "Update", path), "rb") as f:
            while block := f.read(MIB):
                digest.update(block)
    return digest.hexdigest()[:16]


def prepare_target(directory, payload):
    """An empty install folder with the payload's folders (the updater makes
    none) and the game's ov.exe; the same for ours and the references."""
    shutil.rmtree(OPTS.target, ignore_errors=True)
    os.makedirs(OPTS.target)
    with open(os.path.join(payload, "dirs.txt")) as f:
        for line in f:
            os.makedirs(os.path.join(OPTS.target, line.strip()), exist_ok=True)
    with open(os.path.join(OPTS.target, "ov.exe"), "wb") as f:
        f.write(b"MZ")
    os.sync()


def same_file(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(MIB), fb.read(MIB)
            if x != y:
                return False
            if not x:
                return True


def verify_install(payload, stamp=True):
    """Every file byte for byte; gives the number of files that differ."""
    bad = 0
    for _, path in read_manifest(payload):
        installed = os.path.join(OPTS.target, path)
        if not os.path.isfile(installed) or not same_file(os.path.join(payload, "Update", path), installed):
            bad += 1
    if stamp and os.path.getsize(os.path.join(OPTS.target, "Update.ver")) != 8:
        bad += 1
    return bad


# ---- One run of each kind ----------------------------------------------------

def build_package(payload, package_path, stub=None):
    """Builder.exe /BUILD in the payload's build folder, into a copy of stub
    (the update executable by default); the package is moved to
    package_path. Gives seconds, peak KiB, box text."""
    built = os.path.join(payload, "Update.exe")
    shutil.copyfile(stub or OPTS.update_exe, built)
    os.sync()
    sampled = {}

    def on_event(step, t, line, pid_lookup):
        if step == "wait":
            sampled.update(memory_kib(pid_lookup()))
            sampled["cpu"] = process_cpu_ns(pid_lookup())
            sampled["server"] = wineserver_cpu_ns() - server0

    server0 = wineserver_cpu_ns()
    try:
        events = run_driver(OPTS.builder_exe, payload, "/BUILD",
                            ["box", "wait", "press", "OK", "exit"], on_event)
    except RuntimeError as error:
        return {"ok": False, "s": 0, "peak_kib": 0, "text": str(error)}
    text = event_line(events, "box")
    ok = 'title="Done"' in text and "exit t=" in event_line(events, "exit") and \
        event_line(events, "exit").endswith("code=0")
    if ok:
        os.makedirs(os.path.dirname(package_path), exist_ok=True)
        os.replace(built, package_path)
    return {"ok": ok, "s": event_time(events, "box") / 1000, "peak_kib": sampled.get("VmHWM", 0),
            "text": text, "cpu": sampled.get("cpu", 0) / 1e9, "server": sampled.get("server", 0) / 1e9}


def native_build(payload):
    """The native packer in the build folder, under /usr/bin/time -v."""
    shutil.copyfile(OPTS.update_exe, os.path.join(payload, "Update.exe"))
    os.sync()
    start = time.perf_counter()
    result = subprocess.run(["/usr/bin/time", "-v", OPTS.native_packer], cwd=payload,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    seconds = time.perf_counter() - start
    peak = 0
    for line in result.stderr.splitlines():
        if "Maximum resident set size" in line:
            peak = int(line.split(":")[1])
    os.remove(os.path.join(payload, "Update.exe"))
    return {"ok": result.returncode == 0, "s": seconds, "peak_kib": peak}


def install_package(package_path, payload):
    prepare_target(OPTS.target, payload)
    sampled = {}

    def on_event(step, t, line, pid_lookup):
        if step == "press" and "cpu0" not in sampled:
            sampled["cpu0"] = thread_cpu_ns(pid_lookup())
            sampled["server0"] = wineserver_cpu_ns()
        elif step == "wait":
            pid = pid_lookup()
            sampled["cpu1"] = thread_cpu_ns(pid)
            sampled["server1"] = wineserver_cpu_ns()
            sampled["pid"] = pid
            sampled.update(memory_kib(pid))

    events = run_driver(package_path, os.path.dirname(package_path), "",
                        ["window", "press", "Update", "box", "wait", "press", "OK", "exit"],
                        on_event, poll_ms=10)
    box = event_line(events, "box")
    if 'title="Done"' not in box:
        raise RuntimeError("install ended with " + box)
    press, done = event_time(events, "press"), event_time(events, "box")
    main_ns, all_ns = cpu_split(sampled["cpu0"], sampled["cpu1"], sampled["pid"])
    bad = verify_install(payload)
    return {"whole": event_time(events, "exit") / 1000, "install": (done - press) / 1000,
            "window": event_time(events, "window") / 1000, "peak_kib": sampled.get("VmHWM", 0),
            "main_cpu": main_ns / 1e9, "all_cpu": all_ns / 1e9,
            "server_cpu": (sampled["server1"] - sampled["server0"]) / 1e9,
            "anon_kib": sampled.get("RssAnon", 0), "bad": bad}


def cpu_split(before, after, main_tid):
    """CPU ns used between two samples: the window (first) thread's, and the
    whole process's."""
    total = sum(after[tid] - before.get(tid, 0) for tid in after)
    main = after.get(main_tid, 0) - before.get(main_tid, 0)
    return main, total


def min_writer_run(payload):
    prepare_target(OPTS.target, payload)
    time_file = os.path.join(OPTS.work, "runs", "min_writer.time")
    tail = '"%s" "%s" "%s" "%s"' % (windows_path(os.path.join(payload, "manifest.txt")),
                                    windows_path(os.path.join(payload, "blob.bin")),
                                    windows_path(OPTS.target), windows_path(time_file))
    server0 = wineserver_cpu_ns()
    events = run_driver(OPTS.min_writer, OPTS.work, tail, ["exit"])
    server = (wineserver_cpu_ns() - server0) / 1e9
    if not event_line(events, "exit").endswith("code=0"):
        raise RuntimeError("min_writer failed: " + event_line(events, "exit"))
    with open(time_file) as f:
        writing = float(f.read().split()[1]) / 1000
    return {"whole": event_time(events, "exit") / 1000, "writing": writing, "server_cpu": server,
            "bad": verify_install(payload, stamp=False)}


def cp_run(payload):
    prepare_target(OPTS.target, payload)
    start = time.perf_counter()
    subprocess.run(["cp", "-r", os.path.join(payload, "Update") + "/.", OPTS.target], check=True)
    return {"whole": time.perf_counter() - start}


def trivial_run():
    os.sync()
    events = run_driver(OPTS.trivial_gui, OPTS.work, "", ["window", "close", "exit"])
    return {"window": event_time(events, "window") / 1000, "whole": event_time(events, "exit") / 1000}


def startup_run(package_path):
    """Time to the window and memory at that moment; then Cancel."""
    sampled = {}

    def on_event(step, t, line, pid_lookup):
        if step == "wait":
            sampled.update(memory_kib(pid_lookup()))

    os.sync()
    events = run_driver(package_path, os.path.dirname(package_path), "",
                        ["window", "wait", "press", "Cancel", "exit"], on_event, poll_ms=2)
    return {"window": event_time(events, "window") / 1000, "rss_kib": sampled.get("VmRSS", 0)}


def idle_run(exe, seconds, closing):
    """CPU time of a program sitting with its window shown for a few seconds."""
    sampled = []

    def on_event(step, t, line, pid_lookup):
        if step == "wait":
            pid = pid_lookup()
            sampled.append((t, thread_cpu_ns(pid), pid, wineserver_cpu_ns()))

    run_driver(exe, os.path.dirname(exe), "",
               ["window", "wait", "sleep", str(int(seconds * 1000)), "wait", *closing, "exit"],
               on_event)
    (t0, cpu0, pid, server0), (t1, cpu1, _, server1) = sampled
    main, total = cpu_split(cpu0, cpu1, pid)
    wall = (t1 - t0) / 1e3
    return {"wall": wall, "main_pct": 100 * main / 1e9 / wall, "all_pct": 100 * total / 1e9 / wall,
            "server_pct": 100 * (server1 - server0) / 1e9 / wall}


def wall_clock(command_runner):
    start = time.perf_counter()
    command_runner()
    return time.perf_counter() - start


# ---- Figures ---------------------------------------------------------------

def med(values):
    return statistics.median(values) if values else float("nan")


def spread(values, scale=1.0, digits=2):
    if not values:
        return "n/a"
    fmt = "%%.%df" % digits
    if len(values) == 1:
        return fmt % (values[0] * scale)
    return (fmt + " (" + fmt + "–" + fmt + ")") % (med(values) * scale, min(values) * scale,
                                                  max(values) * scale)


def ratio(a, b):
    return "%.2f×" % (a / b) if b else "n/a"


class Report:
    """Collects markdown lines; printed and written at the end."""

    def __init__(self):
        self.lines = []

    def add(self, *lines):
        self.lines.extend(lines)
        for line in lines:
            print(line, flush=True)

    def table(self, header, rows):
        self.add("| " + " | ".join(header) + " |", "|" + "---|" * len(header))
        for row in rows:
            self.add("| " + " | ".join(str(cell) for cell in row) + " |")
        self.add("")


def log(text):
    print("# " + text, file=sys.stderr, flush=True)


# ---- The parts of the benchmark -----------------------------------------------

def bench_payload(name, report_rows, rounds):
    payload = payload_dir(name)
    package = os.path.join(OPTS.work, "runs", name, "Update.exe")
    total = sum(size for size, _ in read_manifest(payload))
    builds, natives, ours, mins, cps, earlier = [], [], [], [], [], []
    jobs = {"ours": lambda: ours.append(install_package(package, payload)),
            "min_writer": lambda: mins.append(min_writer_run(payload)),
            "cp": lambda: cps.append(cp_run(payload))}
    order = ["ours", "min_writer", "cp"]
    if OPTS.compare_exe:
        # The same package in another update executable, run in the same rounds.
        other = os.path.join(OPTS.work, "runs", name + "-compare", "Update.exe")
        if not build_package(payload, other, OPTS.compare_exe)["ok"]:
            raise RuntimeError("the package in the compared program did not build")
        jobs["earlier"] = lambda: earlier.append(install_package(other, payload))
        order.append("earlier")
    for r in range(rounds):
        log("%s: round %d of %d" % (name, r + 1, rounds))
        result = build_package(payload, package)
        if not result["ok"]:
            raise RuntimeError("build of %s failed: %s" % (name, result["text"]))
        builds.append(result)
        if OPTS.native_packer:
            natives.append(native_build(payload))
        turn = r % len(order)
        for job in order[turn:] + order[:turn]:  # each one first, in turn
            jobs[job]()
    report_rows[name] = dict(total=total, builds=builds, natives=natives, ours=ours, mins=mins,
                             cps=cps, earlier=earlier, files=len(read_manifest(payload)))


def report_build_install(report, rows):
    report.add("## Build (`/BUILD` under Wine)", "")
    table = []
    for name, r in rows.items():
        b = [x["s"] for x in r["builds"]]
        cp = med([x["whole"] for x in r["cps"]])
        mib = r["total"] / MIB
        peak = max(x["peak_kib"] for x in r["builds"]) / 1024
        target = 1.5 * cp + 0.5
        cps = [x["whole"] for x in r["cps"]]
        table.append([name, "%d files, %.0f MiB" % (r["files"], mib), spread(b),
                      "%.0f" % (mib / med(b)), "%.0f" % peak,
                      "%.2f / %.2f" % (med([x["cpu"] for x in r["builds"]]),
                                       med([x["server"] for x in r["builds"]])),
                      spread(cps), ratio(med(b), cp),
                      "%.2f: %s" % (target, "met" if med(b) <= target else "missed"),
                      "met" if peak <= 64 else "missed"])
        if r["natives"]:
            n = [x["s"] for x in r["natives"]]
            natives_peak = max(x["peak_kib"] for x in r["natives"]) / 1024
            table.append([name + " (native packer)", "", spread(n), "%.0f" % (mib / med(n)),
                          "%.0f" % natives_peak, "", spread(cps), ratio(med(n), cp),
                          "%.2f: %s" % (target, "met" if med(n) <= target else "missed"),
                          "met" if natives_peak <= 64 else "missed"])
    report.table(["payload", "size", "build s, median (min–max)", "MiB/s", "peak MiB",
                  "CPU s: builder / wineserver", "cp -r s", "build / cp -r",
                  "target ≤ 1.5×cp+0.5 s", "peak ≤ 64 MiB"], table)
    if not any(r["natives"] for r in rows.values()):
        report.add("Native packer: not measured (none given with `--native-packer`).", "")

    report.add("## Install (update executable under Wine + Xvfb, driven headless)", "",
               "Whole process: CreateProcess until the process has ended (window, Update "
               "pressed, files written, Done box answered). Update→Done: from the press to the "
               "Done box. The minimal writer's own writing time (mapping its data to its last "
               "CloseHandle) is the floor for Update→Done.", "")
    table = []
    for name, r in rows.items():
        whole = [x["whole"] for x in r["ours"]]
        inst = [x["install"] for x in r["ours"]]
        mw = med([x["whole"] for x in r["mins"]])
        mw_write = med([x["writing"] for x in r["mins"]])
        cp = med([x["whole"] for x in r["cps"]])
        bad = sum(x["bad"] for x in r["ours"])
        table.append([name, spread(whole), spread(inst), "%.2f / %.2f" % (mw, mw_write),
                      spread([x["whole"] for x in r["cps"]]), ratio(med(whole), cp), ratio(med(whole), mw),
                      ratio(med(inst), mw_write), "%.0f" % (r["total"] / MIB / med(inst)),
                      "%.0f / %.0f" % (max(x["peak_kib"] for x in r["ours"]) / 1024,
                                       max(x["anon_kib"] for x in r["ours"]) / 1024),
                      "%d runs, %s" % (len(whole), "all identical" if not bad else "%d DIFFER" % bad)])
    report.table(["payload", "whole process s", "Update→Done s", "min writer s, whole / writing",
                  "cp -r s", "whole / cp -r", "whole / min writer whole",
                  "Update→Done / min writer writing", "MiB/s (Update→Done)", "peak RSS / anonymous at Done, MiB",
                  "byte-for-byte check"], table)
    report.add("Targets: \"big\" whole ≤ 2.5× cp -r (warm server): %s; \"many\" whole ≤ 1.5× min writer: %s."
               % (target_text(rows, "big", "cps", 2.5), target_text(rows, "many", "mins", 1.5)), "")
    compared = [(name, r) for name, r in rows.items() if r["earlier"]]
    if compared:
        report.add("Against the compared program (`--compare-exe`), the same package, "
                   "installed in the same rounds:", "")
        report.table(["payload", "whole s: this / compared", "Update→Done s: this / compared",
                      "whole ratio", "Update→Done ratio"],
                     [[name, "%.2f / %.2f" % (med([x["whole"] for x in r["ours"]]),
                                              med([x["whole"] for x in r["earlier"]])),
                       "%.2f / %.2f" % (med([x["install"] for x in r["ours"]]),
                                        med([x["install"] for x in r["earlier"]])),
                       ratio(med([x["whole"] for x in r["ours"]]),
                             med([x["whole"] for x in r["earlier"]])),
                       ratio(med([x["install"] for x in r["ours"]]),
                             med([x["install"] for x in r["earlier"]]))] for name, r in compared])
    report.add("CPU time (medians): the updater from the press of Update to the Done box; the "
               "minimal writer over its whole process. The Wine server serves every file call.", "")
    table = []
    for name, r in rows.items():
        inst = med([x["install"] for x in r["ours"]])
        main = med([x["main_cpu"] for x in r["ours"]])
        total = med([x["all_cpu"] for x in r["ours"]])
        server = med([x["server_cpu"] for x in r["ours"]])
        mw_server = med([x["server_cpu"] for x in r["mins"]])
        table.append([name, "%.2f" % total, "%.2f (%.1f %% of one core)" % (main, 100 * main / inst),
                      "%.2f" % server, "%.2f" % mw_server])
    report.table(["payload", "updater process CPU s", "its window thread CPU s",
                  "wineserver CPU s (updater)", "wineserver CPU s (min writer)"], table)


def target_text(rows, name, reference, factor):
    if name not in rows:
        return "n/a"
    r = rows[name]
    whole = med([x["whole"] for x in r["ours"]])
    ref = med([x["whole"] for x in r[reference]])
    return "%.2f× → %s" % (whole / ref, "met" if whole <= factor * ref else "missed")


def bench_cold_start(report, tiny_package):
    """Whole commands (wine + driver + program) from the shell, first with no
    Wine server running, then with the persistent one."""
    trivial = lambda: run_driver(OPTS.trivial_gui, OPTS.work, "", ["window", "close", "exit"])
    update = lambda: run_driver(tiny_package, os.path.dirname(tiny_package), "",
                                ["window", "press", "Cancel", "exit"])
    cold = {}
    for name, runner in (("trivial GUI", trivial), ("Update.exe (tiny package)", update)):
        stop_wineserver()
        cold[name] = wall_clock(runner)
    stop_wineserver()
    wineserver("-p")
    wall_clock(trivial)  # the desktop and services start once more
    rows = []
    for name, runner in (("trivial GUI", trivial), ("Update.exe (tiny package)", update)):
        warm = med([wall_clock(runner) for _ in range(3)])
        rows.append([name, "%.2f" % cold[name], "%.2f" % warm, ratio(cold[name], warm)])
    report.add("## Cold start (no Wine server) against warm (persistent `wineserver -p`)", "",
               "Whole command as the shell sees it: `wine bench_driver.exe PROGRAM` until the "
               "program has shown its window, been closed and ended; warm is the median of 3.", "")
    report.table(["program", "cold s", "warm s", "cold / warm"], rows)


def bench_startup(report, packages, rounds):
    trivials, results = [], {name: [] for name, _ in packages}
    for r in range(rounds):
        trivials.append(trivial_run())
        for name, path in (packages if r % 2 == 0 else packages[::-1]):
            results[name].append(startup_run(path))
    t_ref = med([x["window"] for x in trivials])
    base = med([x["window"] for x in results[packages[0][0]]])
    t_min = min(x["window"] for x in trivials)
    base_min = min(x["window"] for x in results[packages[0][0]])
    rows = [["trivial GUI program", spread([x["window"] for x in trivials], 1000, 0),
             "1.00× / 1.00×", "", ""]]
    for name, _ in packages:
        w = [x["window"] for x in results[name]]
        rows.append([name, spread(w, 1000, 0),
                     "%s / %s" % (ratio(med(w), t_ref), ratio(min(w), t_min)),
                     "%+.0f / %+.0f" % ((med(w) - base) * 1000, (min(w) - base_min) * 1000),
                     "%.1f" % (med([x["rss_kib"] for x in results[name]]) / 1024)])
    report.add("## Start-up against package size (warm server)", "",
               "From CreateProcess until the update window is visible; resident memory of the "
               "Update.exe process at that moment.", "")
    report.table(["package", "window shown ms, median (min–max)",
                  "/ trivial GUI (medians / minimums)", "Δ ms vs tiny (medians / minimums)",
                  "RSS at window MiB"], rows)


def bench_idle(report, package, seconds, rows):
    trivial = idle_run(OPTS.trivial_gui, seconds, ["close"])
    idle = idle_run(package, seconds, ["press", "Cancel"])
    report.add("## Idle cost of the update window", "",
               "CPU time of the Linux process running the program (and of the Wine server "
               "meanwhile) while the window waits for the user.", "")
    table = [["trivial GUI program (reference), %.1f s" % trivial["wall"],
              "%.2f %%" % trivial["all_pct"], "%.2f %%" % trivial["main_pct"],
              "%.2f %%" % trivial["server_pct"], ""],
             ["update window, asking state, %.1f s" % idle["wall"], "%.2f %%" % idle["all_pct"],
              "%.2f %%" % idle["main_pct"], "%.2f %%" % idle["server_pct"],
              "met" if idle["all_pct"] <= 2 else "missed"]]
    for name, r in rows.items():
        inst = med([x["install"] for x in r["ours"]])
        main = med([x["main_cpu"] for x in r["ours"]])
        total = med([x["all_cpu"] for x in r["ours"]])
        server = med([x["server_cpu"] for x in r["ours"]])
        table.append(["installing \"%s\" (worker included in process)" % name,
                      "%.0f %%" % (100 * total / inst), "%.1f %%" % (100 * main / inst),
                      "%.0f %%" % (100 * server / inst), ""])
    report.table(["state", "process CPU, % of one core", "window thread, % of one core",
                  "wineserver, % of one core", "target ≤ 2 % (window)"], table)


def bench_scale(report, sizes):
    rows = []
    for mib in sizes:
        name = "scale-%d" % mib
        log("scale: %d MiB" % mib)
        payload = generate_payload(str(mib), name)
        package = os.path.join(OPTS.work, "runs", name, "Update.exe")
        row = ["%d MiB" % mib]
        built = build_package(payload, package)
        if built["ok"]:
            row += ["built in %.1f s, peak %.0f MiB" % (built["s"], built["peak_kib"] / 1024)]
            try:
                inst = install_package(package, payload)
                row += ["installed in %.1f s (Update→Done %.1f s), peak RSS %.0f MiB "
                        "(anonymous %.0f), %s" % (
                            inst["whole"], inst["install"], inst["peak_kib"] / 1024,
                            inst["anon_kib"] / 1024,
                            "identical" if not inst["bad"] else "%d files DIFFER" % inst["bad"])]
            except RuntimeError as error:
                inst = None
                row += ["FAILED: " + str(error)[:160]]
        else:
            inst = None
            row += ["FAILED: " + built["text"][:160], "—"]
        cp = cp_run(payload)["whole"]
        row += ["%.2f" % cp, ratio(built["s"], cp) if built["ok"] else "—",
                ratio(inst["whole"], cp) if inst else "—"]
        rows.append(row)
        shutil.rmtree(payload, ignore_errors=True)
        shutil.rmtree(os.path.dirname(package), ignore_errors=True)
        shutil.rmtree(OPTS.target, ignore_errors=True)
    report.add("## Scale: the largest package that builds and installs", "")
    report.table(["payload (files of ≤ 256 MiB)", "build", "install", "cp -r s",
                  "build / cp -r", "install whole / cp -r"], rows)


# ---- Main ------------------------------------------------------------------

def parse_options():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True, help="folder for payloads, runs and results")
    parser.add_argument("--prefix", required=True, help="the Wine prefix")
    parser.add_argument("--wine", default="wine",
                        help="the Wine loader that starts the programs (wine64 for 64-bit ones)")
    parser.add_argument("--display", required=True)
    parser.add_argument("--update-exe", required=True)
    parser.add_argument("--bench-bin", required=True, help="folder of bench_driver.exe etc.")
    parser.add_argument("--generator", required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--native-packer", default="")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--scale", action="store_true")
    parser.add_argument("--keep", action="store_true", help="keep payloads and packages")
    parser.add_argument("--compare-exe", default="",
                        help="another Update.exe whose installs run in the same rounds")
    opts = parser.parse_args()
    opts.work = os.path.abspath(opts.work)
    opts.bench_driver = os.path.join(opts.bench_bin, "bench_driver.exe")
    opts.min_writer = os.path.join(opts.bench_bin, "min_writer.exe")
    opts.trivial_gui = os.path.join(opts.bench_bin, "trivial_gui.exe")
    opts.builder_exe = os.path.join(opts.work, "runs", "Builder.exe")
    opts.target = os.path.join(opts.work, "runs", "target")
    if opts.native_packer and not os.access(opts.native_packer, os.X_OK):
        log("no native packer at %s: its column is skipped" % opts.native_packer)
        opts.native_packer = ""
    return opts


def tree_line():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    head = subprocess.run(["git", "-C", root, "rev-parse", "--short", "HEAD"], capture_output=True,
                          text=True).stdout.strip()
    dirty = subprocess.run(["git", "-C", root, "status", "--porcelain", "--untracked-files=no"],
                           capture_output=True, text=True).stdout.strip()
    return "%s%s" % (head or "?", " with uncommitted changes" if dirty else "")


def machine_line():
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    wine = subprocess.run([OPTS.wine, "--version"], capture_output=True, text=True).stdout.strip()
    return "%s, %d cores, %s (%s), %s" % (cpu, os.cpu_count(), wine, OPTS.wine,
                                          time.strftime("%Y-%m-%d %H:%M"))


def main():
    global OPTS
    OPTS = parse_options()
    rounds = 1 if OPTS.quick else 9
    os.makedirs(os.path.join(OPTS.work, "runs"), exist_ok=True)
    shutil.copyfile(OPTS.update_exe, OPTS.builder_exe)
    # Where the game's 32-bit installer writes it: the registry's 32-bit view.
    set_registry(r"HKLM\SOFTWARE\Mervolk\Orvanta\1.00", "TAR_DIR", "REG_SZ",
                 windows_path(OPTS.target), ["/reg:32"])
    # A crash prints its trace and ends the program instead of waiting on a dialog.
    set_registry(r"HKCU\Software\Wine\WineDbg", "ShowCrashDialog", "REG_DWORD", "0")
    log("making payloads")
    fingerprints = {}
    for kind in ("many", "big"):
        fingerprints[kind] = payload_fingerprint(generate_payload(kind, kind, blob=True))
    generate_payload("tiny", "tiny")
    report = Report()
    report.add("# Orvanta updater benchmark%s" % (" (quick smoke run)" if OPTS.quick else ""), "",
               "Machine: " + machine_line() + ". Tree: " + tree_line() + ".", "",
               "Payloads (sha256 of manifest and content, first 16 digits): " +
               ", ".join("%s %s" % item for item in fingerprints.items()) + ".", "")

    log("packages for start-up")
    tiny_package = os.path.join(OPTS.work, "runs", "tiny", "Update.exe")
    if not build_package(payload_dir("tiny"), tiny_package)["ok"]:
        raise RuntimeError("the tiny package did not build")
    bench_cold_start(report, tiny_package)

    rows = {}
    for name in ("many", "big"):
        bench_payload(name, rows, rounds)
    report_build_install(report, rows)

    packages = [("tiny (1 file, 16 B)", tiny_package),
                ("big (256 MiB)", os.path.join(OPTS.work, "runs", "big", "Update.exe"))]
    if not OPTS.quick:
        log("1 GiB package for start-up")
        giga = generate_payload("1024", "1024")
        giga_package = os.path.join(OPTS.work, "runs", "1024", "Update.exe")
        built = build_package(giga, giga_package)
        if built["ok"]:
            packages.append(("1 GiB (4 × 256 MiB)", giga_package))
        else:
            report.add("The 1 GiB package did not build: %s" % built["text"], "")
        shutil.rmtree(giga, ignore_errors=True)
    log("start-up")
    bench_startup(report, packages, 2 if OPTS.quick else 11)
    log("idle")
    bench_idle(report, os.path.join(OPTS.work, "runs", "many", "Update.exe"),
               2 if OPTS.quick else 5, rows)
    if OPTS.scale:
        bench_scale(report, [512, 1024, 1536, 1792, 2048])
    else:
        report.add("Scale (512 MiB, 1 GiB, 1.5 GiB, 1.75 GiB, 2 GiB): not run; add `--scale`.", "")

    os.makedirs(os.path.dirname(os.path.abspath(OPTS.results)), exist_ok=True)
    with open(OPTS.results, "w") as f:
        f.write("\n".join(report.lines) + "\n")
    log("results written to " + OPTS.results)
    if not OPTS.keep:
        for folder in ("payloads", "runs"):
            shutil.rmtree(os.path.join(OPTS.work, folder), ignore_errors=True)


if __name__ == "__main__":
    main()
