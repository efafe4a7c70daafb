#!/usr/bin/env python3
"""Times the edit commands beside other tools on the same files, in one run, and
prints a table.

    bench/make_bench_files.sh /tmp/bench-files     # once: about 2.2 GB
    bench/run_edit_bench.py build /tmp/bench-files  # needs about 6 GB free there

What it compares (each time the best of a few runs):
  - `pelorin cut` in place on a copy of hour.mov (1 hour, ~2 GB) against an edit
    that only rewrites its movie atom (`pelorin userdata set`): target within 3x
  - `pelorin join` of its two halves --output against `cp` of the whole file
    (target: at least 70% of cp's throughput) and against
    `ffmpeg -f concat -safe 0 -i list -c copy` (target: faster)
  - `pelorin trim` to a 10-minute span --output against
    `ffmpeg -ss ... -t ... -c copy` (target: faster; ffmpeg cuts at key frames)
"""
import os
import shutil
import subprocess
import sys
import time

RUNS = 3


def run_once(argv):
    start = time.perf_counter()
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return time.perf_counter() - start


def best(argv, runs=RUNS, before=None):
    times = []
    for _ in range(runs):
        if before:
            before()
        times.append(run_once(argv))
    return min(times)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build, files = sys.argv[1], sys.argv[2]
    pelorin = os.path.join(build, "tools", "pelorin")
    hour = os.path.join(files, "hour.mov")
    work = os.path.join(files, "edit-bench")
    os.makedirs(work, exist_ok=True)
    ff = ["ffmpeg", "-v", "error", "-nostdin", "-y"]

    # The halves, as ffmpeg splits them (at key frames), made once.
    halves = [os.path.join(files, f"half{i}.mov") for i in (1, 2)]
    if not all(os.path.exists(h) for h in halves):
        subprocess.run(ff + ["-i", hour, "-t", "1800", "-map", "0", "-c", "copy", halves[0]], check=True)
        subprocess.run(ff + ["-ss", "1800", "-i", hour, "-map", "0", "-c", "copy", halves[1]], check=True)

    copy = os.path.join(work, "hour-copy.mov")
    shutil.copyfile(hour, copy)
    rows = []
    restore = lambda: shutil.copyfile(hour, copy)
    atom = best([pelorin, "userdata", copy, "set", "test", "bench"], before=restore)
    cut = best([pelorin, "cut", copy, "--from", "00:20:00", "--to", "00:20:10.5"], before=restore)
    rows.append(("cut 10.5 s in place (hour.mov)", cut, f"{cut / atom:.2f}x the movie atom rewrite (target <= 3x)"))
    rows.append(("  movie atom rewrite alone (userdata set)", atom, ""))

    joined = os.path.join(work, "joined.mov")
    size = sum(os.path.getsize(h) for h in halves)
    join = best([pelorin, "join", halves[0], halves[1], "--output", joined])
    cp = best(["cp", hour, os.path.join(work, "cp.mov")])
    listing = os.path.join(work, "list.txt")
    with open(listing, "w") as f:
        f.writelines(f"file '{h}'\n" for h in halves)
    concat = best(ff + ["-f", "concat", "-safe", "0", "-i", listing, "-map", "0", "-c", "copy",
                        os.path.join(work, "concat.mov")])
    rows.append(("join the two halves --output", join,
                 f"{size / join / 1e6:.0f} MB/s, {cp / join * 100:.0f}% of cp's throughput (target >= 70%)"))
    rows.append(("  cp of the whole file", cp, f"{os.path.getsize(hour) / cp / 1e6:.0f} MB/s"))
    rows.append(("  ffmpeg -f concat -c copy", concat, f"pelorin {concat / join:.1f}x faster (target > 1x)"))

    trimmed = os.path.join(work, "trimmed.mov")
    trim = best([pelorin, "trim", hour, "--start", "00:20:00.500", "--end", "00:30:00.500", "--output", trimmed])
    fftrim = best(ff + ["-ss", "1200.5", "-t", "600", "-i", hour, "-map", "0", "-c", "copy",
                        os.path.join(work, "fftrim.mov")])
    rows.append(("trim to 10 minutes --output", trim, f"ffmpeg -ss -t -c copy {fftrim:.2f} s: pelorin "
                 f"{fftrim / trim:.1f}x faster (target > 1x)"))

    print(f"{'what':45} {'seconds':>8}  notes")
    for what, seconds, note in rows:
        print(f"{what:45} {seconds:8.3f}  {note}")
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
