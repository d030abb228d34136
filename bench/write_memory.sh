#!/usr/bin/env bash
# Peak memory of `tagloom-cli set`, `dump` and `strip` on a file holding one large picture,
# against the picture's size.
# Usage: bench/write_memory.sh [BUILD_DIR] [PICTURE_MB]   (default build-bench, 250 MB)
# Prints each command's peak RSS, its growth over the same command on the file without the
# picture, and that growth against the picture. Target: growth at most one picture plus 8 MiB
# (the read holds the picture once; nothing is rebuilt, so the writer and the dump add only
# their buffers).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
picture_mb=${2:-250}
cli=$build/bin/tagloom-cli
if [ ! -x "$cli" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGLOOM_BENCH=ON >/dev/null
fi
cmake --build "$build" --target tagloom-cli -j2 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/tagloom-write-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$cli" "$picture_mb" <<'EOF'
import os, subprocess, sys

work, cli, picture_mb = sys.argv[1], sys.argv[2], int(sys.argv[3])
frame = bytes([0xFF, 0xFB, 0x90, 0x00]) + bytes(413)
audio = frame * 2000  # about 0.8 MB


def syncsafe(n):
    return bytes([(n >> s) & 0x7F for s in (21, 14, 7, 0)])


def write_mp3(path, picture_size):
    """The picture is written a block at a time, so making the file costs little memory."""
    title = b"TIT2" + (10).to_bytes(4, "big") + b"\x00\x00" + b"\x00Old title"
    head = b"\x00image/jpeg\x00\x03\x00"
    apic = b""
    if picture_size:
        apic = b"APIC" + (len(head) + picture_size).to_bytes(4, "big") + b"\x00\x00" + head
    data_size = len(title) + len(apic) + picture_size + 2048
    # JPEG-like bytes that do not compress away: a counter mixed through a multiplier.
    block = bytes((i * 2654435761 >> 13) & 0xFF for i in range(1 << 16))
    with open(path, "wb") as out:
        out.write(b"ID3\x03\x00\x00" + syncsafe(data_size) + title + apic)
        left = picture_size
        if left:
            out.write(b"\xff\xd8\xff\xe0")
            left -= 4
        while left > 0:
            out.write(block[:left])
            left -= len(block)
        out.write(bytes(2048) + audio)


def peak_kib(args, stdout=subprocess.DEVNULL):
    child = subprocess.Popen(args, stdout=stdout)
    _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        sys.exit(f"failed: {' '.join(args)}")
    return usage.ru_maxrss


size = picture_mb << 20
big, small = os.path.join(work, "big.mp3"), os.path.join(work, "small.mp3")
write_mp3(big, size)
write_mp3(small, 0)

print(f"picture: {size >> 20} MiB in an ID3v2.3 APIC frame ({os.path.getsize(big) >> 20} MiB file)")
print(f"{'command':<28}{'peak RSS':>12}{'without picture':>18}{'growth':>12}{'growth/picture':>16}")
met = True
for name, args, out in (
    ("set --title", ["set", "{}", "--title", "New title"], subprocess.DEVNULL),
    ("dump", ["dump", "{}"], subprocess.DEVNULL),
    ("strip", ["strip", "{}"], subprocess.DEVNULL),
):
    peaks = []
    for path in (big, small):
        copy = os.path.join(work, "run.mp3")
        subprocess.run(["cp", path, copy], check=True)
        peaks.append(peak_kib([cli] + [copy if a == "{}" else a for a in args], out))
    growth = peaks[0] - peaks[1]
    ratio = growth * 1024 / size
    met = met and growth * 1024 <= size + (8 << 20)
    print(f"{'tagloom-cli ' + name:<28}{peaks[0] / 1024:>9.1f} MiB{peaks[1] / 1024:>15.1f} MiB"
          f"{growth / 1024:>9.1f} MiB{ratio:>16.3f}")
print("target: growth <= picture + 8 MiB:", "met" if met else "NOT met")
EOF
