#!/usr/bin/env python3
"""Patch sizes of a real release pair: our delta codec against the field's
delta tools, and against sending the changed and new files whole with zlib 9
(what `build --compress` sends).

  python3 bench/delta_pair.py [--work DIR] [--large]

Fetches two adjacent releases of three real Windows pieces from the npm
registry (a 32-bit program, a 32-bit image library's DLLs, a large script
bundle), lays each release out as a game folder (old/ and new/), and prints,
per changed or new file and in total, the bytes each way would send: zlib 9
of the file; bsdiff, xdelta3 -9 and zstd -19 --patch-from, each file counted
at the smaller of its delta and its zlib 9 size; ours likewise (through
delta_size, built here in Release). Unchanged files count 0, new files their
zlib 9 size. With --large, also a 1 GiB synthetic pair (random bytes with
scattered changes, insertions and deletions) through our encoder alone.
Nothing downloaded is committed: it all lives under the work folder.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tarfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# (npm package, old version, new version, folder of the game it goes to,
#  folder of the package that is copied there)
PIECES = [
    ("@esbuild/win32-ia32", "0.20.1", "0.20.2", "", "package"),
    ("@img/sharp-win32-ia32", "0.33.4", "0.33.5", "lib", "package/lib"),
    ("typescript", "5.4.4", "5.4.5", "scripts", "package"),
]
TOOLS = ("bsdiff", "xdelta3", "zstd", "ours")


def fetch(work, package, version):
    """The package's folder, unpacked once from `npm pack`."""
    cache = os.path.join(work, "cache")
    name = package.strip("@").replace("/", "-") + "-" + version
    folder = os.path.join(cache, name)
    if not os.path.isdir(folder):
        os.makedirs(cache, exist_ok=True)
        tgz = subprocess.run(["npm", "pack", "--silent", f"{package}@{version}"], cwd=cache,
                             check=True, stdout=subprocess.PIPE, text=True).stdout.split()[-1]
        with tarfile.open(os.path.join(cache, tgz)) as archive:
            archive.extractall(folder)
    return folder


def lay_out(work):
    for side, index in (("old", 1), ("new", 2)):
        game = os.path.join(work, side)
        shutil.rmtree(game, ignore_errors=True)
        for piece in PIECES:
            source = os.path.join(fetch(work, piece[0], piece[index]), piece[4])
            shutil.copytree(source, os.path.join(game, piece[3]), dirs_exist_ok=True)
    return os.path.join(work, "old"), os.path.join(work, "new")


def build_tool(work):
    build = os.path.join(work, "build")
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                    "-DORVANTA_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j2", "--target", "delta_size"], check=True,
                    stdout=subprocess.DEVNULL)
    return os.path.join(build, "delta_size")


def tool_size(tool, old, new, out, delta_size):
    """The tool's delta size, and our encoder's report line for ours."""
    commands = {
        "bsdiff": ["bsdiff", old, new, out],
        "xdelta3": ["xdelta3", "-9", "-e", "-f", "-s", old, new, out],
        "zstd": ["zstd", "-q", "-19", "-f", "--patch-from=" + old, new, "-o", out],
        "ours": [delta_size, old, new, out],
    }
    result = subprocess.run(commands[tool], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            text=True)
    if result.returncode != 0 or not os.path.exists(out):
        return None, result.stdout.strip()
    return os.path.getsize(out), result.stdout.strip()


def walk(root):
    for folder, _, files in os.walk(root):
        for name in files:
            yield os.path.relpath(os.path.join(folder, name), root)


def measure(work, old_root, new_root, delta_size):
    rows, reports = [], []
    scratch = os.path.join(work, "deltas")
    os.makedirs(scratch, exist_ok=True)
    for name in sorted(walk(new_root)):
        old, new = os.path.join(old_root, name), os.path.join(new_root, name)
        with open(new, "rb") as file:
            data = file.read()
        zipped = len(zlib.compress(data, 9))
        if os.path.exists(old):
            with open(old, "rb") as file:
                if file.read() == data:
                    continue
        row = {"name": name, "size": len(data), "zlib": zipped}
        for tool in TOOLS:
            size = None
            if os.path.exists(old):
                size, report = tool_size(tool, old, new, os.path.join(scratch, tool), delta_size)
                if tool == "ours":
                    reports.append((name, report))
            row[tool] = zipped if size is None else min(size, zipped)
        rows.append(row)
    return rows, reports


def print_table(rows, reports, unchanged):
    columns = ("size", "zlib") + TOOLS
    print(f"{'file':34}" + "".join(f"{c:>11}" for c in columns))
    for row in rows:
        print(f"{row['name'][-34:]:34}" + "".join(f"{row[c]:>11,}" for c in columns))
    totals = {c: sum(row[c] for row in rows) for c in columns}
    print(f"{'total (%d unchanged files: 0)' % unchanged:34}" + "".join(f"{totals[c]:>11,}" for c in columns))
    best = min(totals[t] for t in TOOLS if t != "ours")
    print(f"\nours {totals['ours']:,} bytes: {totals['ours'] / best:.3f} x the best tool's total "
          f"({best:,}), {totals['ours'] / totals['zlib']:.3f} of zlib 9 of the changed and new files")
    print("\nour encoder per file:")
    for name, report in reports:
        print(f"  {name}: {report}")


def large_pair(work, delta_size):
    """1 GiB of random bytes; the new file changes 8 bytes a MiB, inserts 64
    bytes every 4 MiB and drops 32 every 8 MiB."""
    old, new = os.path.join(work, "large-old.bin"), os.path.join(work, "large-new.bin")
    chance = random.Random(5)
    with open(old, "wb") as old_file, open(new, "wb") as new_file:
        for mib in range(1024):
            block = bytearray(chance.randbytes(1 << 20))
            old_file.write(block)
            for _ in range(8):
                at = chance.randrange(len(block))
                block[at] = (block[at] + chance.randrange(1, 256)) & 255
            if mib % 4 == 0:
                block[1000:1000] = chance.randbytes(64)
            if mib % 8 == 3:
                del block[5000:5032]
            new_file.write(block)
    print("\n1 GiB synthetic pair:", subprocess.run([delta_size, old, new], stdout=subprocess.PIPE,
                                                   text=True).stdout.strip())
    os.remove(old)
    os.remove(new)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "delta-pair"))
    parser.add_argument("--large", action="store_true")
    opts = parser.parse_args()
    for tool in ("npm", "bsdiff", "xdelta3", "zstd", "cmake"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing (Debian: apt-get install bsdiff xdelta3 zstd npm cmake)")
    os.makedirs(opts.work, exist_ok=True)
    delta_size = build_tool(opts.work)
    old_root, new_root = lay_out(opts.work)
    rows, reports = measure(opts.work, old_root, new_root, delta_size)
    print_table(rows, reports, sum(1 for _ in walk(new_root)) - len(rows))
    if opts.large:
        large_pair(opts.work, delta_size)


if __name__ == "__main__":
    main()
