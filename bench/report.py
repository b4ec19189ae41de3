#!/usr/bin/env python3
"""Prints the benchmark table from the peak_memory lines and inifile_bench's
JSON reports, then checks ini_load and ini_save against their targets.

    report.py PEAK_FILE JSON_REPORT...
"""
import json
import re
import sys

MB = 1e6


def load_throughput(paths):
    """{(kind, file, reader): (fastest CPU ms, MB/s)} over all the JSON reports."""
    results = {}
    for path in paths:
        with open(path) as handle:
            report = json.load(handle)
        for run in report["benchmarks"]:
            if run.get("aggregate_name") != "min" or run.get("error_occurred"):
                continue
            kind, file, reader = run["run_name"].split("/")[:3]
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run["time_unit"]]
            ms = run["cpu_time"] * scale
            key = (kind, file, reader)
            if key not in results or ms < results[key][0]:
                results[key] = (ms, run.get("bytes", 0) / MB / (ms / 1e3))
    return results


def load_peaks(path):
    """{(file, reader): (peak bytes, file bytes, fastest load in CPU ms)} from
    peak_memory lines; the largest peak and the fastest load are kept."""
    peaks = {}
    with open(path) as handle:
        for line in handle:
            fields = line.split()
            if len(fields) != 6:
                continue
            file, reader, peak_kb, _baseline_kb, size, cpu_us = fields
            peak, ms = int(peak_kb) * 1024, int(cpu_us) / 1e3
            if (file, reader) in peaks:
                old_peak, _size, old_ms = peaks[(file, reader)]
                peak, ms = max(peak, old_peak), min(ms, old_ms)
            peaks[(file, reader)] = (peak, int(size), ms)
    return peaks


def size_of(file, peaks):
    for (name, _reader), (_peak, size, _ms) in peaks.items():
        if name == file:
            return size
    return None


def main():
    peaks = load_peaks(sys.argv[1])
    throughput = load_throughput(sys.argv[2:])
    # Loads in a fresh process, in the same form as the benchmark results.
    for (file, reader), (_peak, size, ms) in peaks.items():
        if ms > 0:
            throughput[("fresh", file, reader)] = (ms, size / MB / (ms / 1e3))
    readers = ["ours", "inih_nothing", "inih_container", "gkeyfile", "heap_floor"]
    shapes = ["typical", "typical_comments", "one_section", "long_line"]
    files = sorted({f for (k, f, _r) in throughput if k not in ("clone", "load_memory_warm")},
                   key=lambda f: (shapes.index(re.sub(r"_\d+MB$", "", f)),
                                  int(re.search(r"(\d+)MB$", f).group(1))))

    print("MB/s: 10^6 bytes of the file per second of CPU time (user + system).")
    print("fresh: one load in a new process; cold: loads in a loop, the heap handed")
    print("back to the system before each; warm: loads in a loop reusing the pages")
    print("the previous load freed. Each the fastest of all rounds and repetitions.")
    print("Peak memory: whole process, resident high-water mark of one load in a")
    print("fresh process minus the mark before it.")
    print()
    print("| file | size (MB) | reader | MB/s fresh | MB/s cold | MB/s warm | peak memory (MB) | peak / size |")
    print("|---|---:|---|---:|---:|---:|---:|---:|")

    def rate(kind, file, reader):
        result = throughput.get((kind, file, reader))
        return f"{result[1]:.0f}" if result else "-"

    for file in files:
        size = size_of(file, peaks)
        for reader in readers:
            if not any((kind, file, reader) in throughput for kind in ["fresh", "load"]):
                continue
            peak = peaks.get((file, reader))
            peak_text = f"{peak[0] / MB:.1f} | {peak[0] / peak[1]:.2f}" if peak else "- | -"
            size_text = f"{size / MB:.1f}" if size else "-"
            print(f"| {file} | {size_text} | {reader} | {rate('fresh', file, reader)} | "
                  f"{rate('load', file, reader)} | {rate('load_warm', file, reader)} | {peak_text} |")
    texts = sorted((file, reader) for (kind, file, reader) in throughput
                   if kind == "load_memory_warm")
    if texts:
        print()
        print("Loading the same text from memory, warm (ours: ini_load_from_memory;")
        print("inih_nothing: ini_parse_string storing nothing), beside ours loading the")
        print("file from the page cache (ini_load, warm):")
        for file, reader in texts:
            print(f"  {file} {reader}: {rate('load_memory_warm', file, reader)} MB/s")
            if reader == "ours":
                print(f"  {file} ours, the file: {rate('load_warm', file, 'ours')} MB/s")
    saves = {(file, reader): result for (kind, file, reader), result in throughput.items()
             if kind == "save"}
    if saves:
        print()
        print("Saving the document loaded from the file (ours: ini_save; gkeyfile:")
        print("g_key_file_save_to_file), MB/s of the file written per second of CPU time:")
        for (file, reader), (ms, speed) in sorted(saves.items()):
            print(f"  {file} {reader}: {speed:.0f} MB/s ({ms:.0f} ms of CPU time)")
    clones = sorted((int(file.split("_")[0]), ms) for (kind, file, _r), (ms, _speed)
                    in throughput.items() if kind == "clone")
    if clones:
        print("\nsection_clone of one section of N distinct keys (ms of CPU time; "
              "ratio to the previous size):")
        for i, (count, ms) in enumerate(clones):
            ratio = f"x{ms / clones[i - 1][1]:.2f}" if i > 0 else ""
            print(f"  {count:6d} entries: {ms:9.2f} ms {ratio}")

    verdicts = []
    print()
    print("Growth of ini_load's time (time ratio divided by size ratio; 1.00 is linear):")
    for shape in shapes:
        for small, big in [(f"{shape}_{a}MB", f"{shape}_{b}MB") for a, b in [(2, 20), (20, 200)]]:
            for kind in ["fresh", "load"]:
                if (kind, small, "ours") not in throughput or (kind, big, "ours") not in throughput:
                    continue
                time_ratio = throughput[(kind, big, "ours")][0] / throughput[(kind, small, "ours")][0]
                size_ratio = size_of(big, peaks) / size_of(small, peaks)
                growth = time_ratio / size_ratio
                label = "fresh" if kind == "fresh" else "cold"
                print(f"  {label:5s} {small} -> {big}: size x{size_ratio:.2f}, "
                      f"time x{time_ratio:.2f}, growth {growth:.2f}")
                verdicts.append((f"linear time, {label}, {small} -> {big}: growth {growth:.2f} <= 1.10",
                                 growth <= 1.10))

    for kind, label in [("fresh", "fresh"), ("load", "cold"), ("load_warm", "warm")]:
        for file in ["typical_20MB", "one_section_20MB"]:
            ours = throughput.get((kind, file, "ours"))
            inih = throughput.get((kind, file, "inih_nothing"))
            if ours and inih:
                verdicts.append((f"throughput, {label}, {file}: ours {ours[1]:.0f} MB/s >= "
                                 f"inih storing nothing {inih[1]:.0f} MB/s", ours[1] >= inih[1]))
    for file, reader in texts:
        text, whole = throughput[("load_memory_warm", file, reader)], throughput.get(("load_warm", file, reader))
        if reader == "ours" and whole:
            verdicts.append((f"from memory, warm, {file}: {text[1]:.0f} MB/s >= the file's "
                             f"{whole[1]:.0f} MB/s", text[1] >= whole[1]))
    for file in sorted({file for (file, _reader) in saves}):
        ours, gkeyfile = saves.get((file, "ours")), saves.get((file, "gkeyfile"))
        if ours and gkeyfile:
            verdicts.append((f"save, {file}: ours {ours[1]:.0f} MB/s >= GKeyFile {gkeyfile[1]:.0f} MB/s",
                             ours[1] >= gkeyfile[1]))
    for file in files:
        peak = peaks.get((file, "ours"))
        if peak:
            verdicts.append((f"peak memory, {file}: {peak[0] / peak[1]:.2f} x size <= 4",
                             peak[0] <= 4 * peak[1]))

    print()
    print("Targets of ini_load and ini_save:")
    for text, met in verdicts:
        print(f"  {'met   ' if met else 'MISSED'} {text}")


if __name__ == "__main__":
    main()
