#!/usr/bin/python3
"""Makes a small corpus of every audio format read beside MP3, tagged with mutagen, and prints
what each file should show as JSON Lines, one object of cells per file keyed by the column
headers (Filename first); the exact durations are mutagen's.

usage: make_corpus.py OUTDIR
"""
import json
import os
import subprocess
import sys

import mutagen
from mutagen.apev2 import APEv2
from mutagen.asf import ASF
from mutagen.flac import FLAC, Picture
from mutagen.id3 import (COMM, ID3, TALB, TBPM, TCOM, TCON, TCOP, TDRC, TIT2, TPE1, TPE2, TPE3,
                         TPOS, TPUB, TRCK, TSRC, TXXX, USLT)
from mutagen.mp4 import MP4, MP4Cover, MP4FreeForm
from mutagen.oggopus import OggOpus
from mutagen.oggvorbis import OggVorbis
from mutagen.wavpack import WavPack

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)

# One set of values per script; each file takes one, so every script meets every format twice.
SCRIPTS = [
    dict(Title="Morning Light", Artist="Ana Ruiz", Album="Días de sol", Band="Various Artists",
         Comments="Recorded live", Composer="José Núñez", Lyrics="la la la\nsecond line",
         Genre="Jazz", Conductor="Pierre Boulez", Copyright="2021 Ana", Publisher="Label One",
         ISRC="USABC2100001", BPM="120"),
    dict(Title="Утренний свет", Artist="Анна Руис", Album="Дни солнца", Band="Разные",
         Comments="Запись", Composer="Иван Петров", Lyrics="ля ля ля", Genre="Рок",
         Conductor="Дирижёр", Copyright="2021 Анна", Publisher="Лейбл", ISRC="RUABC2100002",
         BPM="96"),
    dict(Title="朝の光", Artist="山田太郎", Album="太陽の日々", Band="様々なアーティスト",
         Comments="ライブ録音", Composer="作曲者", Lyrics="らららの歌", Genre="ポップ",
         Conductor="指揮者", Copyright="2021 山田", Publisher="レーベル", ISRC="JPABC2100003",
         BPM="140"),
    dict(Title="ضوء الصباح", Artist="فيروز", Album="أيام الشمس 🌞", Band="فنانون",
         Comments="تسجيل 🎵", Composer="الرحباني", Lyrics="يا لا لا", Genre="طرب",
         Conductor="قائد", Copyright="2021 فيروز", Publisher="ناشر", ISRC="LBABC2100004",
         BPM="72"),
]
RG = dict(track_gain="-6.50 dB", track_peak="0.988831", album_gain="-7.10 dB",
          album_peak="0.999969")


def ffmpeg(name, *codec, seconds="2.3", rate="44100", channels="2"):
    path = os.path.join(OUT, name)
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "sine=frequency=440:duration=%s:sample_rate=%s" % (seconds, rate), "-ac",
                    channels, "-map_metadata", "-1", "-fflags", "+bitexact", *codec, path],
                   check=True)
    return path


PNG = (b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02\x00\x00"
       b"\x00\x90wS\xde\x00\x00\x00\x0cIDATx\x9cc\xf8\x0f\x00\x00\x01\x01\x00\x05\x18\xd8N\x00"
       b"\x00\x00\x00IEND\xaeB`\x82")

expected = {}


def expect(path, values, track, tracks, disc, discs, year, fmt, bits, channels, pictures,
           encoder=None, rg=True, sources=None, tags=None):
    cells = {k: v for k, v in values.items()}
    cells.update({"TrackNumber": track, "Tracks": tracks, "Disc": disc, "Discs": discs,
                  "Year": year, "Format": fmt, "Bits per sample": bits, "Channels": channels,
                  "Pictures": pictures, "Status": "read",
                  "Duration (exact)": "%.6f" % mutagen.File(path).info.length})
    if rg:
        cells.update({"ReplayGain track gain": RG["track_gain"],
                      "ReplayGain track peak": RG["track_peak"],
                      "ReplayGain album gain": RG["album_gain"],
                      "ReplayGain album peak": RG["album_peak"]})
    if encoder is not None:
        cells["Encoder"] = encoder
    if sources is not None:
        cells["Sources"] = sources
    if tags is not None:
        cells["Tags"] = tags
    expected[os.path.basename(path)] = cells


def vorbis(tag, v):
    for key, column in [("TITLE", "Title"), ("ARTIST", "Artist"), ("ALBUM", "Album"),
                        ("ALBUMARTIST", "Band"), ("COMMENT", "Comments"),
                        ("COMPOSER", "Composer"), ("LYRICS", "Lyrics"), ("GENRE", "Genre"),
                        ("CONDUCTOR", "Conductor"), ("COPYRIGHT", "Copyright"),
                        ("LABEL", "Publisher"), ("ISRC", "ISRC"), ("BPM", "BPM")]:
        tag[key] = v[column]
    tag["DATE"] = "2021-05-04"
    tag["TRACKNUMBER"] = "3"
    tag["TRACKTOTAL"] = "12"
    tag["DISCNUMBER"] = "1"
    tag["DISCTOTAL"] = "2"
    tag["ENCODER"] = "tagloom corpus"
    for key, value in RG.items():
        tag["REPLAYGAIN_" + key.upper()] = value


def flac(i):
    path = ffmpeg("a%d.flac" % i, "-c:a", "flac", "-sample_fmt", "s16")
    f = FLAC(path)
    vorbis(f, SCRIPTS[i % 4])
    pic = Picture()
    pic.type, pic.mime, pic.data = 3, "image/png", PNG
    f.add_picture(pic)
    f.save()
    expect(path, SCRIPTS[i % 4], "3", "12", "1", "2", "2021", "FLAC", "16", "2", "1",
           encoder="tagloom corpus", tags="Vorbis comment")


def ogg(i, opus):
    if opus:
        path = ffmpeg("a%d.opus" % i, "-c:a", "libopus", rate="48000")
        f = OggOpus(path)
    else:
        path = ffmpeg("a%d.ogg" % i, "-c:a", "libvorbis")
        f = OggVorbis(path)
    vorbis(f, SCRIPTS[i % 4])
    # Two artists: one column, the values joined.
    f["ARTIST"] = [SCRIPTS[i % 4]["Artist"], "Second"]
    f.save()
    values = dict(SCRIPTS[i % 4], Artist=SCRIPTS[i % 4]["Artist"] + "; Second")
    expect(path, values, "3", "12", "1", "2", "2021", "Opus" if opus else "Ogg Vorbis", "",
           "2", "0", encoder="tagloom corpus")


def mp4(i, alac):
    path = ffmpeg("a%d%s.m4a" % (i, "alac" if alac else ""),
                  *(["-c:a", "alac", "-sample_fmt", "s16p"] if alac else ["-c:a", "aac"]))
    v = SCRIPTS[i % 4]
    f = MP4(path)
    for key, column in [("\xa9nam", "Title"), ("\xa9ART", "Artist"), ("\xa9alb", "Album"),
                        ("aART", "Band"), ("\xa9cmt", "Comments"), ("\xa9wrt", "Composer"),
                        ("\xa9lyr", "Lyrics"), ("\xa9gen", "Genre"), ("cprt", "Copyright")]:
        f[key] = v[column]
    f["\xa9day"] = "2021"
    f["trkn"] = [(3, 12)]
    f["disk"] = [(1, 2)]
    f["tmpo"] = [int(v["BPM"])]
    f["\xa9too"] = "tagloom corpus"
    for name, column in [("CONDUCTOR", "Conductor"), ("LABEL", "Publisher"), ("ISRC", "ISRC")]:
        f["----:com.apple.iTunes:" + name] = MP4FreeForm(v[column].encode())
    for key, value in RG.items():
        f["----:com.apple.iTunes:replaygain_" + key] = MP4FreeForm(value.encode())
    f["covr"] = [MP4Cover(PNG, MP4Cover.FORMAT_PNG)]
    f.save()
    expect(path, v, "3", "12", "1", "2", "2021", "MP4 ALAC" if alac else "MP4 AAC", "16", "2",
           "1", encoder="tagloom corpus",
           sources=None if i else "Title MP4 ©nam; Artist MP4 ©ART; Album MP4 ©alb; "
           "TrackNumber MP4 trkn; Year MP4 ©day; Comments MP4 ©cmt; Lyrics MP4 ©lyr; "
           "Composer MP4 ©wrt; Band MP4 aART; Conductor MP4 ----:CONDUCTOR; "
           "Copyright MP4 cprt; Genre MP4 ©gen; Disc MP4 disk; Discs MP4 disk; Tracks MP4 trkn; "
           "Publisher MP4 ----:LABEL; ISRC MP4 ----:ISRC; BPM MP4 tmpo")


def wma(i):
    path = ffmpeg("a%d.wma" % i, "-c:a", "wmav2")
    v = SCRIPTS[i % 4]
    f = ASF(path)
    for key, column in [("Title", "Title"), ("Author", "Artist"), ("WM/AlbumTitle", "Album"),
                        ("WM/AlbumArtist", "Band"), ("Description", "Comments"),
                        ("WM/Composer", "Composer"), ("WM/Lyrics", "Lyrics"),
                        ("WM/Genre", "Genre"), ("WM/Conductor", "Conductor"),
                        ("Copyright", "Copyright"), ("WM/Publisher", "Publisher"),
                        ("WM/ISRC", "ISRC"), ("WM/BeatsPerMinute", "BPM")]:
        f[key] = v[column]
    f["WM/Year"] = "2021"
    f["WM/TrackNumber"] = "3/12"
    f["WM/PartOfSet"] = "1/2"
    f["WM/EncodingSettings"] = "tagloom corpus"
    for key, value in RG.items():
        f["replaygain_" + key] = value
    f.save()
    expect(path, v, "3", "12", "1", "2", "2021", "WMA", "16", "2", "0",
           encoder="tagloom corpus")


def id3_frames(tag, v):
    tag.add(TIT2(encoding=3, text=v["Title"]))
    tag.add(TPE1(encoding=3, text=v["Artist"]))
    tag.add(TALB(encoding=3, text=v["Album"]))
    tag.add(TPE2(encoding=3, text=v["Band"]))
    tag.add(COMM(encoding=3, lang="eng", desc="", text=v["Comments"]))
    tag.add(TCOM(encoding=3, text=v["Composer"]))
    tag.add(USLT(encoding=3, lang="eng", desc="", text=v["Lyrics"]))
    tag.add(TCON(encoding=3, text=v["Genre"]))
    tag.add(TPE3(encoding=3, text=v["Conductor"]))
    tag.add(TCOP(encoding=3, text=v["Copyright"]))
    tag.add(TPUB(encoding=3, text=v["Publisher"]))
    tag.add(TSRC(encoding=3, text=v["ISRC"]))
    tag.add(TBPM(encoding=3, text=v["BPM"]))
    tag.add(TDRC(encoding=3, text="2021"))
    tag.add(TRCK(encoding=3, text="3/12"))
    tag.add(TPOS(encoding=3, text="1/2"))
    for key, value in RG.items():
        tag.add(TXXX(encoding=3, desc="REPLAYGAIN_" + key.upper(), text=value))


def riff(i, aiff):
    path = ffmpeg("a%d.%s" % (i, "aiff" if aiff else "wav"),
                  "-c:a", "pcm_s16be" if aiff else "pcm_s16le")
    f = mutagen.File(path)
    f.add_tags()
    id3_frames(f.tags, SCRIPTS[i % 4])
    f.save()
    expect(path, SCRIPTS[i % 4], "3", "12", "1", "2", "2021", "AIFF PCM" if aiff else "WAV PCM",
           "16", "2", "0", tags="ID3v2.4")


def wavpack(i):
    path = ffmpeg("a%d.wv" % i, "-c:a", "wavpack", "-sample_fmt", "s16p")
    v = SCRIPTS[i % 4]
    f = WavPack(path)
    if f.tags is None:
        f.add_tags()
    for key, column in [("Title", "Title"), ("Artist", "Artist"), ("Album", "Album"),
                        ("Album Artist", "Band"), ("Comment", "Comments"),
                        ("Composer", "Composer"), ("Lyrics", "Lyrics"), ("Genre", "Genre"),
                        ("Conductor", "Conductor"), ("Copyright", "Copyright"),
                        ("Label", "Publisher"), ("ISRC", "ISRC"), ("BPM", "BPM")]:
        f.tags[key] = v[column]
    f.tags["Year"] = "2021"
    f.tags["Track"] = "3/12"
    f.tags["Disc"] = "1/2"
    for key, value in RG.items():
        f.tags["REPLAYGAIN_" + key.upper()] = value
    f.save()
    expect(path, v, "3", "12", "1", "2", "2021", "WavPack", "16", "2", "0", tags="APEv2")


for i in range(2):
    flac(i)
    ogg(i, False)
    ogg(i, True)
    mp4(i, False)
    mp4(i, True)
    wma(i)
    riff(i, False)
    riff(i, True)
    wavpack(i)

# An MP3 whose APEv2 tag fills what ID3 leaves empty and disagrees on the title.
mp3 = ffmpeg("ape.mp3", "-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0")
id3 = ID3()
id3.add(TIT2(encoding=3, text="ID3 title"))
id3.add(TPE1(encoding=3, text="ID3 artist"))
id3.save(mp3, v2_version=3)
ape = APEv2()
ape["Title"] = "APE title"
ape["Album"] = "APE album"
ape["Artist"] = "ID3 artist"
for key, value in RG.items():
    ape["REPLAYGAIN_" + key.upper()] = value
ape.save(mp3)
expected["ape.mp3"] = {"Title": "ID3 title", "Artist": "ID3 artist", "Album": "APE album",
                       "Sources": "Title v2.3 TIT2; Artist v2.3 TPE1; Album APEv2 Album",
                       "Conflicts": "Title (APEv2)", "Tags": "ID3v2.3, APEv2", "Format": "MP3",
                       "ReplayGain track gain": RG["track_gain"],
                       "ReplayGain album peak": RG["album_peak"]}

# Not audio, and audio cut short.
with open(os.path.join(OUT, "notes.wav"), "w") as f:
    f.write("shopping list: milk, eggs\n" * 40)
expected["notes.wav"] = {"Status": "not audio", "Title": "", "Duration": "", "Format": ""}
whole = open(os.path.join(OUT, "a0.wav"), "rb").read()
with open(os.path.join(OUT, "cut.wav"), "wb") as f:
    f.write(whole[:len(whole) // 3])
declared = 8 + int.from_bytes(whole[4:8], "little")
expected["cut.wav"] = {"Status": "truncated: the WAV header declares %d bytes, the file holds %d"
                                 % (declared, len(whole) // 3), "Duration": ""}
for name, cells in expected.items():
    print(json.dumps(dict(Filename=name, **cells), ensure_ascii=False, separators=(",", ":")))
