#!/usr/bin/python3
"""Compares the cells tagloom-cli reads from the peers' corpus, with another build of it or with a
peer reader. Not a benchmark: nothing is timed.

  peer_cells.py changes --before OLD_CLI --after NEW_CLI [--corpus DIR]
      runs `dump`, `extract` with the default columns and `extract` with the columns that show
      how a value was read, over every file of the corpus, with both programs, and lists each
      file whose output differs, field by field (before -> after).

  peer_cells.py peer --cli CLI [--before OLD_CLI] [--peer mutagen|music-metadata]
                     [--music-metadata-dir DIR] [--untagged] [--corpus DIR]
      reads the corpus's MP3 files with tagloom-cli and with the peer (mutagen through
      /usr/bin/python3, or music-metadata from an npm install in DIR, run with node; a file
      the peer finds no tag in is left out, unless --untagged is given) and
      counts, per field, the cells that differ; lists every difference. With --before, the
      differences the older program had that the newer one no longer has are listed too.

Cells are compared with surrounding spaces removed; track and disc as numbers where both are
numbers; the year as the text before the first "-".
"""

import argparse
import json
import os
import subprocess
import sys
from collections import Counter, defaultdict

FIELDS = ["Title", "Artist", "Album", "Year", "TrackNumber", "Disc", "Genre", "Comments",
          "Composer"]
DEFAULT_COLUMNS = ["Filename", "Title", "Artist", "Album", "TrackNumber", "Year", "Comments",
                   "Lyrics", "Composer", "Band", "Conductor", "Copyright"]
HOW_READ = ["Genre", "Genre number", "Sources", "Conflicts", "Status"]
DEFAULT_CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared",
                              "corpus", "peers")


def corpus_files(root, mp3_only):
    root = os.path.abspath(root)
    skip = {"MANIFEST.tsv", "README.md"}
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            if name in skip or name.startswith("LICENSE"):
                continue
            if mp3_only and not name.lower().endswith(".mp3"):
                continue
            found.append(os.path.join(folder, name))
    return sorted(found)


def run_lines(command, files):
    done = subprocess.run(command + ["--files-from", "-"], input="\n".join(files) + "\n",
                          capture_output=True, text=True)
    if done.returncode not in (0, 3):
        sys.exit(f"{' '.join(command)}: exit {done.returncode}: {done.stderr.strip()}")
    return [json.loads(line) for line in done.stdout.splitlines() if line.strip()]


def dump(cli, files):
    return {row["FileName"]: row for row in run_lines([cli, "dump"], files)}


def extract(cli, files, columns=DEFAULT_COLUMNS):
    # The full path first, so rows are found by it; the other cells are those of the columns.
    command = [cli, "extract", "--format", "json", "--jobs", "2", "--columns",
               ",".join(["Full path"] + columns)]
    return {row.pop("Full path"): row for row in run_lines(command, files)}


def short(value, width=70):
    text = json.dumps(value, ensure_ascii=False)
    return text if len(text) <= width else text[:width - 3] + "..."


def changes(args):
    files = corpus_files(args.corpus, mp3_only=False)
    root = os.path.abspath(args.corpus)
    print(f"{len(files)} files under {root}")
    for title, read in [("dump", dump), ("extract, default columns", extract),
                        ("extract, " + ", ".join(HOW_READ),
                         lambda cli, f: extract(cli, f, HOW_READ))]:
        before, after = read(args.before, files), read(args.after, files)
        changed = 0
        print(f"\n== {title}")
        for path in files:
            old, new = before.get(path, {}), after.get(path, {})
            keys = [k for k in dict.fromkeys(list(old) + list(new)) if old.get(k) != new.get(k)]
            if not keys:
                continue
            changed += 1
            print(os.path.relpath(path, root))
            for key in keys:
                print(f"    {key}: {short(old.get(key))} -> {short(new.get(key))}")
        print(f"-- {changed} of {len(files)} files changed")


# ---- peers --------------------------------------------------------------------------------

def mutagen_cells(files):
    code = r"""
import json, sys
from mutagen.id3 import ID3
def first(tags, key):
    frame = tags.get(key)
    return str(frame.text[0]) if frame is not None and frame.text else ""
for path in sys.stdin.read().splitlines():
    cells = {}
    try:
        tags = ID3(path)
    except Exception as error:
        print(json.dumps({"path": path, "error": type(error).__name__}))
        continue
    cells["Title"], cells["Artist"] = first(tags, "TIT2"), first(tags, "TPE1")
    cells["Album"], cells["Composer"] = first(tags, "TALB"), first(tags, "TCOM")
    cells["Year"] = first(tags, "TDRC")
    cells["TrackNumber"] = first(tags, "TRCK").split("/")[0]
    cells["Disc"] = first(tags, "TPOS").split("/")[0]
    genre = tags.get("TCON")
    cells["Genre"] = genre.genres[0] if genre is not None and genre.genres else ""
    plain = [f for f in tags.getall("COMM") if f.desc == ""]
    v1 = [f for f in tags.getall("COMM") if f.desc == "ID3v1 Comment"]
    chosen = (plain or v1)
    cells["Comments"] = str(chosen[-1].text[0]) if chosen and chosen[-1].text else ""
    print(json.dumps({"path": path, "cells": cells}))
"""
    done = subprocess.run(["/usr/bin/python3", "-c", code], input="\n".join(files),
                          capture_output=True, text=True, check=True)
    return {row["path"]: row.get("cells") for row in map(json.loads, done.stdout.splitlines())}


def music_metadata_cells(files, folder, untagged):
    code = r"""
import { parseFile } from 'music-metadata';
import * as readline from 'node:readline';
const text = (v) => v === undefined || v === null ? '' : String(v);
const lines = readline.createInterface({ input: process.stdin });
for await (const path of lines) {
  try {
    const read = await parseFile(path, { skipCovers: true, duration: false });
    if (Object.keys(read.native).length === 0 && !process.argv.includes('--untagged'))
      throw new Error('no tag');
    const c = read.common;
    const comment = (c.comment || [])[0];
    console.log(JSON.stringify({ path, cells: {
      Title: text(c.title), Artist: text(c.artist), Album: text(c.album), Year: text(c.year),
      TrackNumber: text(c.track && c.track.no), Disc: text(c.disk && c.disk.no),
      Genre: text((c.genre || [])[0]), Composer: text((c.composer || [])[0]),
      Comments: text(comment && typeof comment === 'object' ? comment.text : comment) } }));
  } catch (error) {
    console.log(JSON.stringify({ path, error: String(error.message || error) }));
  }
}
"""
    cells = {}
    left = list(files)
    while left:
        # Some files make the parser throw where no caller can catch it, ending the process:
        # such a file counts as unread and the rest are read by a new one.
        done = subprocess.run(["node", "--input-type=module", "-e", code, "--"] +
                              (["--untagged"] if untagged else []), cwd=folder,
                              input="\n".join(left) + "\n", capture_output=True, text=True)
        rows = [json.loads(line) for line in done.stdout.splitlines()]
        cells.update((row["path"], row.get("cells")) for row in rows)
        left = left[len(rows):]
        if done.returncode != 0:
            if not left:
                sys.exit(f"music-metadata: {done.stderr.strip()}")
            cells[left.pop(0)] = None
    return cells


def same(field, ours, theirs):
    ours, theirs = ours.strip(), theirs.strip()
    if field == "Year":
        return ours.split("-")[0] == theirs.split("-")[0]
    if field in ("TrackNumber", "Disc") and ours.isdigit() and theirs.isdigit():
        return int(ours) == int(theirs)
    return ours == theirs


def differences(rows, peer):
    found = {}
    compared = 0
    for path, cells in peer.items():
        if cells is None or path not in rows:
            continue
        for field in FIELDS:
            compared += 1
            ours, theirs = rows[path].get(field, ""), cells.get(field, "")
            if not same(field, ours, theirs):
                found[(path, field)] = (ours, theirs)
    return compared, found


def peer(args):
    files = corpus_files(args.corpus, mp3_only=True)
    root = os.path.abspath(args.corpus)
    if args.peer == "mutagen":
        theirs = mutagen_cells(files)
    else:
        theirs = music_metadata_cells(files, args.music_metadata_dir, args.untagged)
    unread = sorted(p for p, cells in theirs.items() if cells is None)
    ours = extract(args.cli, files, FIELDS)
    compared, found = differences(ours, theirs)
    print(f"{args.peer}: {len(files)} MP3 files, {len(unread)} it reads no tag from, "
          f"{compared} cells compared, {len(found)} differ")
    per_field = Counter(field for _, field in found)
    print("   " + ", ".join(f"{f} {per_field[f]}" for f in FIELDS))
    if args.before:
        _, old = differences(extract(args.before, files, FIELDS), theirs)
        gone = sorted(set(old) - set(found))
        new = sorted(set(found) - set(old))
        print(f"\n== before: {len(old)} differ; {len(gone)} no longer do, {len(new)} newly do")
        for key in gone:
            print(f"  {os.path.relpath(key[0], root)} {key[1]}: was {short(old[key][0], 40)}, "
                  f"now {short(ours[key[0]].get(key[1], ''), 40)}, peer {short(old[key][1], 40)}")
        for key in new:
            print(f"  NEW {os.path.relpath(key[0], root)} {key[1]}: {short(found[key][0], 40)} "
                  f"vs {short(found[key][1], 40)}")
    print("\n== still differ (ours | peer)")
    by_field = defaultdict(list)
    for (path, field), pair in sorted(found.items()):
        by_field[field].append((path, pair))
    for field in FIELDS:
        for path, (a, b) in by_field[field]:
            print(f"  {field:11} {os.path.relpath(path, root)}: {short(a, 45)} | {short(b, 45)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    one = commands.add_parser("changes")
    one.add_argument("--before", required=True)
    one.add_argument("--after", required=True)
    two = commands.add_parser("peer")
    two.add_argument("--cli", required=True)
    two.add_argument("--before")
    two.add_argument("--peer", choices=["mutagen", "music-metadata"], default="mutagen")
    two.add_argument("--music-metadata-dir", default=".")
    two.add_argument("--untagged", action="store_true",
                     help="music-metadata: compare files it finds no tag in too, as empty cells")
    for sub in (one, two):
        sub.add_argument("--corpus", default=DEFAULT_CORPUS)
    args = parser.parse_args()
    changes(args) if args.command == "changes" else peer(args)


if __name__ == "__main__":
    main()
