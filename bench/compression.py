#!/usr/bin/env python3
"""Compressed records against plain ones, and against the general installer
builder (makensis, when installed) with its default compressor and with
/SOLID lzma: sizes of the patch of one game-like tree and of the bench
payloads, and install times under Wine, each kind run in turn per round.

  scripts/with-display.sh python3 bench/compression.py [--rounds N] [--keep]
      [--packer PATH] [--update-exe PATH] [--driver PATH] [--work DIR]

Sizes come first (cheap); install times are wall-clock times of the whole
program from Linux (Wine's start-up included for every kind alike), each
install into a fresh game folder holding the tree's folders and ov.exe.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NSIS_SCRIPT = """{compressor}
OutFile "{out}"
InstallDir "$TEMP\\game"
RequestExecutionLevel user
SilentInstall silent
Section
SetOutPath $INSTDIR
File /r "{tree}/*.*"
SectionEnd
"""


def run(command, **kw):
    return subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **kw)


def wine(*args, check=True):
    return subprocess.run([os.path.join(ROOT, "scripts", "wine-run.sh"), *args], check=check,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)


def timed(function):
    start = time.monotonic()
    function()
    return time.monotonic() - start


def build_patches(opts, tree, folder):
    """Plain and compressed patches of tree; their build times."""
    times = {}
    for kind, extra in (("plain", []), ("compressed", ["--compress"])):
        build = os.path.join(folder, kind)
        os.makedirs(build, exist_ok=True)
        if not os.path.exists(os.path.join(build, "Update")):
            os.symlink(os.path.abspath(tree), os.path.join(build, "Update"))
        if os.path.exists(os.path.join(build, "Update.exe")):
            os.remove(os.path.join(build, "Update.exe"))
        times[kind] = timed(lambda: run([opts.packer, "build", "--quiet", build, "--stub",
                                         opts.update_exe, *extra]))
        run([opts.packer, "verify", os.path.join(build, "Update.exe"), build])
    return times


def build_nsis(tree, folder):
    """The installers makensis makes of tree, by kind; {} without makensis."""
    if not shutil.which("makensis"):
        return {}
    times = {}
    for kind, compressor in (("nsis", ""), ("nsis-solid-lzma", "SetCompressor /SOLID lzma")):
        script = os.path.join(folder, kind + ".nsi")
        with open(script, "w") as f:
            f.write(NSIS_SCRIPT.format(compressor=compressor, out=kind + ".exe",
                                       tree=os.path.abspath(tree)))
        times[kind] = timed(lambda: run(["makensis", "-V1", script], cwd=folder))
    return times


def size_of(folder, kind):
    name = kind + ".exe" if kind.startswith("nsis") else os.path.join(kind, "Update.exe")
    return os.path.getsize(os.path.join(folder, name))


def fresh_game(tree, game):
    shutil.rmtree(game, ignore_errors=True)
    for dirpath, _, _ in os.walk(tree):
        os.makedirs(os.path.join(game, os.path.relpath(dirpath, tree)), exist_ok=True)
    with open(os.path.join(game, "ov.exe"), "wb") as f:
        f.write(b"MZ")


def install(opts, folder, kind, game):
    if kind.startswith("nsis"):
        windows = wine("winepath", "-w", game).stdout.strip()
        wine(os.path.join(folder, kind + ".exe"), "/S", "/D=" + windows)
        return
    result = wine(opts.driver, os.path.join(folder, kind, "Update.exe"), game, "", "window",
                  "press", "Update", "box", "press", "OK", "exit", check=False)
    if "exit 0" not in result.stdout:
        sys.exit(f"{kind}: the install failed:\n{result.stdout}")


def same_tree(tree, game):
    result = subprocess.run(["diff", "-r", "-q", "-x", "ov.exe", "-x", "Update.ver",
                             "-x", "uninstall.exe", tree, game], stdout=subprocess.DEVNULL)
    return result.returncode == 0


def install_times(opts, tree, folder, kinds):
    game = os.path.join(folder, "game")
    windows = wine("winepath", "-w", game).stdout.strip()
    wine("reg", "add", "HKLM\\SOFTWARE\\Mervolk\\Orvanta\\1.00", "/v", "TAR_DIR", "/d",
         windows, "/f")
    times = {kind: [] for kind in kinds}
    for round_number in range(opts.rounds):
        for kind in kinds[round_number % len(kinds):] + kinds[:round_number % len(kinds)]:
            fresh_game(tree, game)
            run(["sync"])
            times[kind].append(timed(lambda: install(opts, folder, kind, game)))
            if round_number == 0 and not same_tree(tree, game):
                sys.exit(f"{kind}: the installed files differ from the tree")
    return {kind: statistics.median(values) for kind, values in times.items()}


def payload_sizes(opts, folder):
    """Plain and compressed sizes of the install benchmark's payloads."""
    generator = os.path.join(folder, "gen_payload")
    run(["cc", "-O2", "-o", generator, os.path.join(ROOT, "bench", "gen_payload.c")])
    rows = []
    for name in ("many", "big"):
        payload = os.path.join(folder, "payload-" + name)
        if not os.path.isdir(payload):
            run([generator, name, payload])
        build_patches(opts, payload, os.path.join(folder, "p-" + name))
        rows.append((name, *(size_of(os.path.join(folder, "p-" + name), kind)
                             for kind in ("plain", "compressed"))))
        shutil.rmtree(os.path.join(folder, "p-" + name))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--packer", default=os.path.join(ROOT, "build", "package", "orvanta-pack"))
    parser.add_argument("--update-exe", default=os.path.join(ROOT, "build", "win32", "Update.exe"))
    parser.add_argument("--driver",
                        default=os.path.join(ROOT, "build", "win32", "tests", "driver", "driver.exe"))
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "bench-compression"))
    opts = parser.parse_args()
    folder = os.path.abspath(opts.work)
    tree = os.path.join(folder, "tree")
    if not os.path.isdir(tree):
        run([sys.executable, os.path.join(ROOT, "bench", "game_tree.py"), tree])
    files = sum(len(names) for _, _, names in os.walk(tree))
    raw = sum(os.path.getsize(os.path.join(d, n)) for d, _, names in os.walk(tree) for n in names)
    builds = build_patches(opts, tree, folder)
    builds.update(build_nsis(tree, folder))
    kinds = list(builds)
    sizes = {kind: size_of(folder, kind) for kind in kinds}
    payloads = payload_sizes(opts, folder)
    medians = install_times(opts, tree, folder, kinds) if opts.rounds else {}
    print(f"game-like tree: {files} files, {raw / 1e6:.1f} MB\n")
    print("| patch | size | of plain | build | install (median) | of plain |")
    print("|---|---|---|---|---|---|")
    for kind in kinds:
        install = (f"{medians[kind]:.2f} s | {medians[kind] / medians['plain']:.2f}"
                   if medians else "- | -")
        print(f"| {kind} | {sizes[kind] / 1e6:.1f} MB | {sizes[kind] / sizes['plain']:.2f} | "
              f"{builds[kind]:.1f} s | {install} |")
    for name, plain, compressed in payloads:
        print(f"\npayload {name}: plain {plain / 1e6:.1f} MB, compressed {compressed / 1e6:.1f} MB")
    if not opts.keep:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
