"""Writes the tagged files of the benchmark corpus from the encoded sources, tags by mutagen.

    tag_corpus.py DIR COUNT

Every file gets its own ID3v2.3 or v2.4 tag; some carry a 30-100 KB picture and lyrics, some a
Lyrics3 v2 block (between the audio and the ID3v1 block) and an ID3v1 block, a few only ID3v1.
Where a Lyrics3 or ID3v1 block repeats a field, it holds the same value as the ID3v2 tag, so
every reader that follows the usual precedence prints the same eleven fields.
"""
import io
import os
import random
import sys

from mutagen.id3 import (APIC, COMM, ID3, TALB, TCOM, TCON, TCOP, TDRC, TIT2, TPE1, TPE2,
                         TPE3, TRCK, USLT, Encoding)

WORDS = ("river night blue song morning light city rain golden echo summer heart road "
         "silver dream fire winter ocean shadow dance").split()
ACCENTED = ["Café", "Müller", "Señor", "Ærø", "Déjà vu", "Größe"]
FOREIGN = ["Москва", "東京の夜", "Ελλάδα", "서울"]


def phrase(rnd, count):
    return " ".join(rnd.choice(WORDS) for _ in range(count)).title()


def text(rnd):
    roll = rnd.random()
    if roll < 0.15:
        return phrase(rnd, 2) + " " + rnd.choice(ACCENTED)
    if roll < 0.25:
        return rnd.choice(FOREIGN) + " " + phrase(rnd, 1)
    return phrase(rnd, rnd.randint(1, 4))


def latin(value):
    try:
        value.encode("latin-1")
        return True
    except UnicodeEncodeError:
        return False


def lyrics3_block(fields):
    """A Lyrics3 v2 block of the given (id, value) fields, values as Latin-1 bytes."""
    body = b"LYRICSBEGIN"
    for fid, value in fields:
        raw = value.replace("\r\n", "[CR][LF]").replace("\n", "[LF]").encode("latin-1", "replace")
        body += fid.encode() + b"%05d" % len(raw) + raw
    return body + b"%06d" % len(body) + b"LYRICS200"


def make(rnd, index, audio):
    version = 3 if index % 2 else 4
    enc = Encoding.UTF16 if version == 3 else Encoding.UTF8
    values = {
        "title": text(rnd),
        "artist": text(rnd),
        "album": text(rnd),
        "track": "%d/%d" % (rnd.randint(1, 14), rnd.randint(14, 20)),
        "year": str(rnd.randint(1960, 2025)),
        "comment": phrase(rnd, rnd.randint(3, 12)),
        "composer": text(rnd) if rnd.random() < 0.7 else "",
        "band": text(rnd) if rnd.random() < 0.5 else "",
        "conductor": text(rnd) if rnd.random() < 0.2 else "",
        "copyright": "(C) %s %s" % (rnd.randint(1960, 2025), phrase(rnd, 2)) if rnd.random() < 0.6 else "",
    }
    with_lyrics = rnd.random() < 0.4
    lyrics = "\n".join(phrase(rnd, rnd.randint(4, 9)) for _ in range(rnd.randint(20, 120)))
    with_picture = rnd.random() < 0.4
    roll = rnd.random()
    v1_only = roll < 0.03
    with_v1 = v1_only or roll < 0.33
    with_lyrics3 = not v1_only and rnd.random() < 0.2

    tail = b""
    if with_lyrics3:
        fields = [("IND", "1" if with_lyrics else "0")]  # second byte absent: no time stamps
        for fid, key in (("ETT", "title"), ("EAR", "artist"), ("EAL", "album")):
            if latin(values[key]):
                fields.append((fid, values[key]))
        if with_lyrics and latin(lyrics):
            fields.append(("LYR", lyrics))
        tail = lyrics3_block(fields)

    buffer = io.BytesIO(audio + tail)
    tag = ID3()
    if v1_only:
        # ID3v1 holds 30 Latin-1 bytes a field: plain short values, and no ID3v2 tag.
        for key in ("title", "artist", "album", "comment"):
            values[key] = phrase(rnd, 2)[:28]
        for key in ("composer", "band", "conductor", "copyright"):
            values[key] = ""
        values["track"] = str(rnd.randint(1, 14))
        with_lyrics = with_picture = False
        tag.add(TIT2(encoding=0, text=values["title"]))
        tag.add(TPE1(encoding=0, text=values["artist"]))
        tag.add(TALB(encoding=0, text=values["album"]))
        tag.add(TRCK(encoding=0, text=values["track"]))
        tag.add(TDRC(encoding=0, text=values["year"]))
        tag.add(COMM(encoding=0, lang="eng", desc="", text=values["comment"]))
        tag.save(buffer, v1=2, v2_version=3)
        # Keep the ID3v1 block, drop the ID3v2 tag mutagen wrote in front.
        data = buffer.getvalue()
        size = 10 + sum((data[6 + i] & 0x7F) << (7 * (3 - i)) for i in range(4))
        return data[size:], values, with_lyrics

    tag.add(TIT2(encoding=enc, text=values["title"]))
    tag.add(TPE1(encoding=enc, text=values["artist"]))
    tag.add(TALB(encoding=enc, text=values["album"]))
    tag.add(TRCK(encoding=0, text=values["track"]))
    tag.add(TDRC(encoding=0, text=values["year"]))
    tag.add(TCON(encoding=0, text=rnd.choice(["Rock", "(17)", "Jazz", "Classical"])))
    tag.add(COMM(encoding=enc, lang="eng", desc="", text=values["comment"]))
    if rnd.random() < 0.3:
        tag.add(COMM(encoding=0, lang="eng", desc="iTunNORM", text=" 0000044E 00000000 00008AC6"))
    for key, frame in (("composer", TCOM), ("band", TPE2), ("conductor", TPE3), ("copyright", TCOP)):
        if values[key]:
            tag.add(frame(encoding=enc, text=values[key]))
    if with_lyrics:
        tag.add(USLT(encoding=enc, lang="eng", desc="", text=lyrics))
    if with_picture:
        size = rnd.randint(30_000, 100_000)
        data = b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + rnd.randbytes(size - 11)
        tag.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=data))
    tag.save(buffer, v1=2 if with_v1 else 0, v2_version=version)
    return buffer.getvalue(), values, with_lyrics


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    sources = sorted(os.path.join(folder, "sources", n) for n in os.listdir(os.path.join(folder, "sources"))
                     if n.endswith(".mp3"))
    audio = [open(path, "rb").read() for path in sources]
    out_dir = os.path.join(folder, "files")
    os.makedirs(out_dir, exist_ok=True)
    rnd = random.Random(20261207)
    for index in range(count):
        data, _, _ = make(rnd, index, audio[index % len(audio)])
        path = os.path.join(out_dir, "%05d.mp3" % index)
        with open(path + ".part", "wb") as out:
            out.write(data)
        os.replace(path + ".part", path)


if __name__ == "__main__":
    main()
