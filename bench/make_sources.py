"""Writes the source sounds of the benchmark corpus as 16-bit WAV files: tones and noise."""
import math
import os
import random
import struct
import sys
import wave

RATE = 44100

# name, minutes, channels; the names tell make_corpus.sh how to encode each one.
SOURCES = [
    ("tone-a-128", 3.3, 2),
    ("chord-b-128", 4.6, 2),
    ("noise-c-160", 4.2, 1),
    ("sweep-d-128", 6.2, 2),
    ("tone-e-160", 6.4, 1),
    ("noise-f-vbr", 4.0, 2),
]


def samples(kind, count, seed):
    rnd = random.Random(seed)
    if kind.startswith("noise"):
        level = 0
        for _ in range(count):
            level = 0.9 * level + 0.1 * rnd.uniform(-1, 1)  # softened white noise
            yield level * 3.0
    elif kind.startswith("chord"):
        freqs = [220.0, 277.2, 329.6]
        for n in range(count):
            t = n / RATE
            yield sum(math.sin(2 * math.pi * f * t) for f in freqs) / 3
    elif kind.startswith("sweep"):
        for n in range(count):
            t = n / RATE
            yield math.sin(2 * math.pi * (200 + 30 * t) * t) * 0.8 + rnd.uniform(-0.05, 0.05)
    else:
        f = 440.0 if kind.startswith("tone-a") else 523.3
        for n in range(count):
            t = n / RATE
            yield 0.7 * math.sin(2 * math.pi * f * t) + 0.2 * math.sin(2 * math.pi * 3 * f * t)


def write(path, name, minutes, channels):
    # Twenty seconds of sound computed once and repeated: pure Python is slow, and lame still
    # gets real audio to encode.
    frames = int(minutes * 60 * RATE)
    block = []
    for i, v in enumerate(samples(name, 20 * RATE, sum(map(ord, name)))):
        s = max(-32767, min(32767, int(v * 20000)))
        block.append(s)
        if channels == 2:
            block.append(s if i % 2 else -s // 2)
    chunk = struct.pack("<%dh" % len(block), *block)
    with wave.open(path + ".part", "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(2)
        out.setframerate(RATE)
        left = frames
        while left > 0:
            take = min(left, 20 * RATE)
            out.writeframes(chunk[: take * 2 * channels])
            left -= take
    os.replace(path + ".part", path)


def main():
    folder = sys.argv[1]
    for name, minutes, channels in SOURCES:
        wav = os.path.join(folder, name + ".wav")
        if os.path.exists(os.path.join(folder, name + ".mp3")) or os.path.exists(wav):
            continue
        write(wav, name, minutes, channels)


if __name__ == "__main__":
    main()
