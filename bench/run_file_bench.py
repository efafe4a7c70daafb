#!/usr/bin/env python3
"""Times movie-file work beside the other tools, on the same files in one run, and
prints a table.

    bench/make_bench_files.sh /tmp/bench-files      # once: about 2.2 GB
    bench/run_file_bench.py build /tmp/bench-files  # BUILD_DIR configured with -DPELORIN_BENCH=ON

What it compares (each time is the best of a few runs; memory is peak resident):
  - a title edit of hour.mov (1 hour, ~2 GB) saved in place, against rewriting its
    movie atom alone (target: within 3x) and against
    `ffmpeg -i in.mov -map 0 -c copy -metadata title=X out.mov` (target: 60x faster)
  - `pelorin info` of million.mov (1,000,000 samples) against `mediainfo` and
    `ffprobe -show_streams -show_format` (faster than both, less memory than ffprobe)
  - `pelorin chapters` of chapters10k.mov against `ffprobe -show_chapters` (5x faster)
Where the tool lacks a command, the engine's reading of the file stands in (marked).
"""
import json
import os
import subprocess
import sys
import time

RUNS = 3


def run_once(argv, env=None):
    """Wall time and CPU time (user + system) in seconds and peak resident memory
    in MiB of one run."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError(f"{' '.join(argv)} failed ({proc.returncode}): {err.strip()}")
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


CPU = {}  # command line -> best CPU seconds, for the table


def best(argv, runs=RUNS, env=None):
    results = [run_once(argv, env) for _ in range(runs)]
    CPU[" ".join(argv)] = min(r[1] for r in results)
    return min(r[0] for r in results), max(r[2] for r in results)


def cpu_of(argv):
    return CPU[" ".join(argv)]


def tool_has(pelorin, command):
    try:
        return subprocess.run([pelorin, command, "--help"], capture_output=True, timeout=30).returncode == 0
    except OSError:
        return False


def engine_benchmarks(build, files, pattern):
    env = dict(os.environ, PELORIN_BENCH_FILES=files)
    out = subprocess.run([os.path.join(build, "bench", "engine_file_edit"), f"--benchmark_filter={pattern}",
                          "--benchmark_format=json"], capture_output=True, env=env, check=True).stdout
    # "SaveEditInPlace/iterations:10/real_time" -> "SaveEditInPlace"; "ReadMovie/million" stays.
    return {b["name"].split("/iterations")[0]: b for b in json.loads(out)["benchmarks"]}


def seconds(b, key="real_time"):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
    return b[key] * scale


def cpu_seconds(b):
    return seconds(b, "cpu_time")


def compare(rows, pelorin, command, path, engine_read, others):
    """`pelorin COMMAND PATH` beside other tools' commands on the same file."""
    name = os.path.basename(path)
    if tool_has(pelorin, command):
        ours = [pelorin, command, path]
        t_ours, m_ours = best(ours)
        cpu_ours = cpu_of(ours)
        rows.append((f"{name}: pelorin {command}", t_ours, m_ours, f"cpu {cpu_ours * 1000:.0f} ms", ""))
    else:
        t_ours, m_ours, cpu_ours = seconds(engine_read), None, cpu_seconds(engine_read)
        rows.append((f"{name}: engine reads the movie (no `pelorin {command}` yet)", t_ours, None, "", ""))
    for argv, target in others:
        t, m = best(argv)
        label = " ".join([os.path.basename(argv[0])] + [a for a in argv[1:] if a.startswith("-") and a != "-v"
                                                        and a != "error"])
        rows.append((f"{name}: {label}", t, m, f"cpu {cpu_of(argv) * 1000:.0f} ms", ""))
        rows.append(("  theirs / ours", None, None, f"{t / t_ours:.1f}x (cpu {cpu_of(argv) / cpu_ours:.1f}x)", target))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build, files = sys.argv[1], sys.argv[2]
    pelorin = os.path.join(build, "tools", "pelorin")
    hour, million, chapters = (os.path.join(files, n) for n in ("hour.mov", "million.mov", "chapters10k.mov"))
    rows = []

    # 1. An edit of the 2 GB movie saved in place. The engine's times are also given
    #    in CPU time: on a shared machine the wall clock mostly measures waiting.
    engine = engine_benchmarks(build, files, "SaveEdit|OpenEditSave|RewriteMovieAtom|ReadMovie")
    save, rewrite, whole = (engine[n] for n in ("SaveEdit", "RewriteMovieAtom", "OpenEditSave"))
    moov = rewrite.get("moov_bytes", 0)
    rows.append(("hour.mov: title edit saved in place (engine, save only)", seconds(save), None,
                 f"cpu {cpu_seconds(save) * 1000:.1f} ms", ""))
    rows.append((f"hour.mov: rewrite the movie atom alone ({moov / 1e6:.1f} MB)", seconds(rewrite), None,
                 f"cpu {cpu_seconds(rewrite) * 1000:.1f} ms", ""))
    rows.append(("  save / movie atom alone", None, None,
                 f"{seconds(save) / seconds(rewrite):.1f}x (cpu {cpu_seconds(save) / cpu_seconds(rewrite):.1f}x)",
                 "<= 3x"))
    rows.append(("hour.mov: open, edit, save, close (engine)", seconds(whole), None,
                 f"cpu {cpu_seconds(whole) * 1000:.1f} ms", ""))
    save = seconds(whole)
    # The same kind of edit through the tool: a metadata item, else the user-data title.
    tool_edit = None
    for command, args in (("meta", ["set", "com.apple.quicktime.displayname", "Benchmark"]),
                          ("userdata", ["set", "\u00a9nam", "Benchmark"])):
        if tool_has(pelorin, command):
            edit = [pelorin, command, hour] + args
            t, m = best(edit)
            rows.append((f"hour.mov: pelorin {command} FILE {' '.join(args[:2])} X (whole process)", t, m,
                         f"cpu {cpu_of(edit) * 1000:.0f} ms", ""))
            rows.append(("  ffmpeg / pelorin edit", None, None, "", ""))
            tool_edit = t
            break
    copy = os.path.join(files, "copy-for-bench.mov")
    try:
        remux = ["ffmpeg", "-v", "error", "-nostdin", "-y", "-i", hour, "-map", "0", "-c", "copy", "-metadata",
                 "title=X", copy]
        t_ff, m_ff = best(remux, runs=2)
    finally:
        if os.path.exists(copy):
            os.remove(copy)
    rows.append(("hour.mov: ffmpeg -c copy -metadata title=X", t_ff, m_ff, f"cpu {cpu_of(remux) * 1000:.0f} ms", ""))
    rows.append(("  ffmpeg / engine open, edit, save", None, None, f"{t_ff / save:.0f}x", ">= 60x"))
    if tool_edit is not None:
        ratio = f"{t_ff / tool_edit:.0f}x (cpu {cpu_of(remux) / cpu_of(edit):.0f}x)"
        rows = [r if r[0] != "  ffmpeg / pelorin edit" else (r[0], None, None, ratio, ">= 60x") for r in rows]

    # 2. Describing the movie of a million samples.
    compare(rows, pelorin, "info", million, engine.get("ReadMovie/million"),
            [(["mediainfo", million], "ours faster"),
             (["ffprobe", "-v", "error", "-show_streams", "-show_format", million], "ours faster, less memory")])

    # 3. Listing 10,000 chapters.
    compare(rows, pelorin, "chapters", chapters, engine.get("ReadMovie/chapters10k"),
            [(["ffprobe", "-v", "error", "-show_chapters", chapters], ">= 5x")])

    print(f"load average before: {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
    print(f"{'measure':<66} {'time':>10} {'peak MiB':>9}  {'ratio':<24} target")
    for name, t, m, ratio, target in rows:
        ts = f"{t * 1000:.1f} ms" if t is not None else ""
        ms = f"{m:.0f}" if m is not None else ""
        print(f"{name:<66} {ts:>10} {ms:>9}  {ratio:<24} {target}")


if __name__ == "__main__":
    main()
