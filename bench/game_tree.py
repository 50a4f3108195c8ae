#!/usr/bin/env python3
"""Makes a game-like patch tree for the compression benchmark, the same bytes
on every run for the same inputs:

  bin/       Windows programs and DLLs, copied from Wine's 32-bit DLL folder
             (or the MinGW sysroot), the first by name up to --programs MiB
  scripts/   game scripts and configuration, text from a fixed vocabulary
  docs/      gzip'd documents (already compressed)
  textures/  PNG images (zlib inside: already compressed)
  audio/     Ogg-like media: pages of incompressible bytes
  data/      a few large files of structured records (a level table, an
             item database, a mesh of floats)
  noise.bin  bytes that no compressor can shrink

  game_tree.py DIR [--programs MIB] [--scale N]
"""
import argparse
import gzip
import os
import random
import shutil
import struct
import zlib

MIB = 1 << 20
DLL_FOLDERS = ["/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/i686-w64-mingw32/lib"]
WORDS = ("spawn health armor quest npc dialog door key enemy patrol loot chest gold "
         "sword shield bow arrow potion mana fire ice storm village castle forest river "
         "bridge cave dragon wolf guard merchant price level score timer trigger event "
         "local function end if then else return true false nil for in pairs").split()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def copy_programs(root, budget):
    folder = next((d for d in DLL_FOLDERS if os.path.isdir(d)), None)
    if not folder:
        return
    used = 0
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        size = os.path.getsize(path)
        if not name.endswith((".dll", ".exe")) or size > 8 * MIB or used + size > budget:
            continue
        shutil.copyfile(path, os.path.join(root, "bin", name))
        used += size


def script_text(rng, lines):
    out = []
    for i in range(lines):
        words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 9)))
        out.append("  " * rng.randint(0, 3) + f"{words} = {rng.randint(0, 999)} -- {i}")
    return ("\n".join(out) + "\n").encode()


def png(rng, width, height):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            shade = (x * 3 + y * 5) // 4 % 256
            rows += bytes((shade ^ rng.getrandbits(6), shade, (shade + rng.getrandbits(5)) % 256))
    chunk = lambda kind, body: (struct.pack(">I", len(body)) + kind + body +
                                struct.pack(">I", zlib.crc32(kind + body)))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def ogg_like(rng, size):
    out = bytearray()
    while len(out) < size:
        out += b"OggS\0" + rng.randbytes(4091)
    return bytes(out[:size])


def records(rng, count):
    names = [rng.choice(WORDS) + "_" + rng.choice(WORDS) for _ in range(200)]
    out = bytearray()
    for i in range(count):
        name = rng.choice(names).encode().ljust(24, b"\0")
        out += struct.pack("<IHHff", i, rng.randint(1, 60), rng.randint(0, 9),
                           rng.randint(0, 4000) / 4, 1.0) + name
    return bytes(out)


def mesh(rng, vertices):
    out = bytearray()
    x = y = z = 0.0
    for _ in range(vertices):
        x += rng.uniform(-1, 1)
        y += rng.uniform(-1, 1)
        z = round(z + rng.uniform(-0.5, 0.5), 2)
        out += struct.pack("<fffHH", x, y, z, rng.getrandbits(10), 0)
    return bytes(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dir")
    parser.add_argument("--programs", type=int, default=48, help="MiB of programs and DLLs")
    parser.add_argument("--scale", type=int, default=1, help="multiplies the other content")
    args = parser.parse_args()
    rng = random.Random(19)
    root = args.dir
    os.makedirs(os.path.join(root, "bin"), exist_ok=True)
    copy_programs(root, args.programs * MIB)
    for i in range(600 * args.scale):
        text = script_text(rng, rng.randint(20, 600))
        write(os.path.join(root, "scripts", f"zone{i % 12}", f"s{i:04}.lua"), text)
        if i % 4 == 0:
            doc = gzip.compress(script_text(rng, rng.randint(200, 2000)), 9, mtime=0)
            write(os.path.join(root, "docs", f"d{i:04}.txt.gz"), doc)
    for i in range(150 * args.scale):
        write(os.path.join(root, "textures", f"t{i:03}.png"),
              png(rng, rng.choice((64, 128, 256)), rng.choice((64, 128, 256))))
    for i in range(40 * args.scale):
        write(os.path.join(root, "audio", f"a{i:02}.ogg"), ogg_like(rng, rng.randint(64, 1024) << 10))
    write(os.path.join(root, "data", "items.db"), records(rng, 400000 * args.scale))
    write(os.path.join(root, "data", "world.mesh"), mesh(rng, 1200000 * args.scale))
    write(os.path.join(root, "data", "levels.tsv"), script_text(rng, 200000 * args.scale))
    write(os.path.join(root, "data", "empty.cfg"), b"")
    write(os.path.join(root, "noise.bin"), rng.randbytes(4 * MIB))


if __name__ == "__main__":
    main()
