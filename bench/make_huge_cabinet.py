#!/usr/bin/env python3
"""Writes large or unusual cabinets with reproducible contents, for measuring and checking the
cabinet tool by hand (never from ctest).

    bench/make_huge_cabinet.py OUT.cab [--preset NAME | --folder KIND:DATA:SIZES ...] [--seed N]
                               [--block BYTES] [--max-reserve] [--manifest FILE]

Each --folder adds a folder: KIND is stored or mszip; DATA is random (incompressible) or pattern
(a 4 KB piece of random bytes repeated, so MSZIP packs it small); SIZES is either the files'
sizes separated by commas or TOTAL/COUNT (COUNT files sharing TOTAL bytes). Presets:

    huge           a 3 GB cabinet of 65,535 files: a stored folder of 3,000,000,000 bytes in
                   65,533 files (91,553 blocks: the block count has wrapped), then an MSZIP folder
                   of 4 GB less one byte (131,072 blocks, stored as 0) holding a file of
                   4,294,901,760 bytes and one of 65,535 at offset 4,294,901,760
    wrapped        stored and MSZIP folders of 65,537 one-byte blocks each, the counts wrapped to 1
    reserve        the largest reserve areas (header 60,000 bytes, folder and block 255 each)

--block sets the uncompressed bytes per data block (1..32768, default 32768); --max-reserve adds
the largest reserve areas to any cabinet. The same arguments and seed always give the same
bytes. --manifest writes a sha256sum list of the files (paths with /), so that an extraction is
checked with `sha256sum -c --quiet FILE` in its destination.
"""

import argparse
import hashlib
import random
import struct
import sys
import zlib

PRESETS = {
    "huge": (["stored:random:3000000000/65533", "mszip:pattern:4294901760,65535"], 32768, False),
    "wrapped": (["stored:random:65537/3", "mszip:random:65537/3"], 1, False),
    "reserve": (["stored:random:100000/5", "mszip:pattern:100000/5"], 32768, True),
}
HEADER_RESERVE, FOLDER_RESERVE, BLOCK_RESERVE = 60000, 255, 255
CHUNK = 1 << 20
DOS_DATE = ((2024 - 1980) << 9) | (1 << 5) | 1  # 2024-01-01
DOS_TIME = (12 << 11) | (34 << 5) | 28  # 12:34:56


def checksum(data, seed=0):
    """The cabinet checksum: XOR of little-endian 32-bit words, the last 1-3 bytes big-end first."""
    whole = len(data) & ~3
    x, bits = int.from_bytes(data[:whole], "little"), whole * 8
    while bits > 32:  # fold the words onto each other, halving the width each time
        half = (bits // 32 + 1) // 2 * 32
        x, bits = (x & ((1 << half) - 1)) ^ (x >> half), half
    tail = 0
    for b in data[whole:]:
        tail = tail << 8 | b
    return seed ^ x ^ tail


def parse_folder(text):
    kind, data, sizes = text.split(":")
    if kind not in ("stored", "mszip") or data not in ("random", "pattern"):
        raise SystemExit(f"bad folder {text!r}: KIND is stored or mszip, DATA random or pattern")
    if "/" in sizes:
        total, count = (int(v) for v in sizes.split("/"))
        sizes = [total // count + (1 if i < total % count else 0) for i in range(count)]
    else:
        sizes = [int(v) for v in sizes.split(",")]
    if sum(sizes) > 0xFFFFFFFF or max(sizes) > 0xFFFFFFFF:
        raise SystemExit(f"folder {text!r} holds more than 4 GB")
    return kind, data, sizes


def file_chunks(seed, index, kind, size):
    """The file's bytes, a megabyte at a time."""
    rng = random.Random(seed * 1000003 + index)
    if kind == "pattern":
        piece = rng.randbytes(4096) * (CHUNK // 4096)
    left = size
    while left > 0:
        n = min(CHUNK, left)
        yield piece[:n] if kind == "pattern" else rng.randbytes(n)
        left -= n


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("out")
    p.add_argument("--preset", choices=sorted(PRESETS))
    p.add_argument("--folder", action="append", default=[])
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--block", type=int)
    p.add_argument("--max-reserve", action="store_true")
    p.add_argument("--manifest")
    a = p.parse_args()
    folder_texts, block, reserve = PRESETS[a.preset] if a.preset else (a.folder, 32768, False)
    block = a.block or block
    reserve = reserve or a.max_reserve
    if not folder_texts or not 1 <= block <= 32768:
        raise SystemExit("give --preset or --folder, and --block in 1..32768")
    folders = [parse_folder(t) for t in folder_texts]
    names = [[f"folder{k}\\file{i:05d}.dat" for i in range(len(sizes))]
             for k, (_, _, sizes) in enumerate(folders)]
    file_count = sum(len(n) for n in names)
    if file_count > 65535 or len(folders) > 65535:
        raise SystemExit("a cabinet holds at most 65,535 files and folders")

    folder_resv, block_resv = (FOLDER_RESERVE, BLOCK_RESERVE) if reserve else (0, 0)
    folder_table = 36 + (4 + HEADER_RESERVE if reserve else 0)
    file_table = folder_table + len(folders) * (8 + folder_resv)
    data_start = file_table + sum(16 + len(n) + 1 for ns in names for n in ns)
    rng = random.Random(a.seed)
    fill = lambda n: rng.randbytes(n)  # reserve areas hold bytes a reader must skip

    manifest = []
    folder_records = []
    with open(a.out, "wb") as out:
        out.seek(data_start)
        pending = bytearray()
        at = data_start
        index = 0
        for k, (kind, data, sizes) in enumerate(folders):
            first, blocks = at, 0
            history = b""
            cache = {}
            stream = bytearray()

            def put_block(piece):
                nonlocal at, blocks, history
                if kind == "stored":
                    packed = piece
                else:
                    key = (history, piece)
                    packed = cache.get(key)
                    if packed is None:
                        c = zlib.compressobj(9, zlib.DEFLATED, -15, 9, zlib.Z_DEFAULT_STRATEGY,
                                             **({"zdict": history} if history else {}))
                        packed = b"CK" + c.compress(piece) + c.flush()
                        if len(cache) > 8:
                            cache.clear()
                        cache[key] = packed
                    history = (history + piece)[-32768:]
                sizes_field = struct.pack("<HH", len(packed), len(piece))
                pending.extend(struct.pack("<I", checksum(sizes_field, checksum(packed))))
                pending.extend(sizes_field)
                pending.extend(fill(block_resv))
                pending.extend(packed)
                at += 8 + block_resv + len(packed)
                blocks += 1
                if len(pending) >= 4 * CHUNK:
                    out.write(pending)
                    pending.clear()

            for i, size in enumerate(sizes):
                digest = hashlib.sha256()
                for chunk in file_chunks(a.seed, index, data, size):
                    digest.update(chunk)
                    stream.extend(chunk)
                    whole = len(stream) // block * block
                    view = memoryview(stream)
                    for b in range(0, whole, block):
                        put_block(bytes(view[b:b + block]))
                    view.release()
                    del stream[:whole]
                manifest.append(f"{digest.hexdigest()}  {names[k][i].replace(chr(92), '/')}")
                index += 1
            if stream:
                put_block(bytes(stream))
            folder_records.append(struct.pack("<IHH", first, blocks & 0xFFFF, 1 if kind == "mszip" else 0)
                                  + fill(folder_resv))
            print(f"folder {k}: {kind}, {len(sizes)} files, {sum(sizes)} bytes, {blocks} blocks "
                  f"(stored as {blocks & 0xFFFF})", file=sys.stderr)
        out.write(pending)
        if at > 0xFFFFFFFF:
            raise SystemExit("the cabinet would be larger than 4 GB")

        head = bytearray(b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, at, 0, file_table, 0, 3, 1,
                                               len(folders), file_count, 4 if reserve else 0,
                                               0x2024, 0))
        if reserve:
            head += struct.pack("<HBB", HEADER_RESERVE, folder_resv, block_resv) + fill(HEADER_RESERVE)
        for record in folder_records:
            head += record
        for k, (_, _, sizes) in enumerate(folders):
            offset = 0
            for i, size in enumerate(sizes):
                head += struct.pack("<IIHHHH", size, offset, k, DOS_DATE, DOS_TIME, 0x20)
                head += names[k][i].encode() + b"\0"
                offset += size
        assert len(head) == data_start
        out.seek(0)
        out.write(head)
    if a.manifest:
        with open(a.manifest, "w") as m:
            m.write("\n".join(manifest) + "\n")
    print(f"{a.out}: {at} bytes, {file_count} files", file=sys.stderr)


if __name__ == "__main__":
    main()
