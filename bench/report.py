#!/usr/bin/env python3
"""Prints the benchmark table from the peak_memory lines and inifile_bench's
JSON reports, then checks ini_load against its targets.

    report.py PEAK_FILE JSON_REPORT...
"""
import json
import re
import sys

MB = 1e6


def load_throughput(paths):
    """{(kind, file, reader): (fastest CPU ms, MB/s)} from the JSON reports."""
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
            results[(kind, file, reader)] = (ms, run["bytes"] / MB / (ms / 1e3))
    return results


def load_peaks(path):
    """{(file, reader): (peak bytes, file bytes)} from peak_memory lines."""
    peaks = {}
    with open(path) as handle:
        for line in handle:
            fields = line.split()
            if len(fields) != 5:
                continue
            file, reader, peak_kb, _baseline_kb, size = fields
            peaks[(file, reader)] = (int(peak_kb) * 1024, int(size))
    return peaks


def size_of(file, peaks):
    for (name, _reader), (_peak, size) in peaks.items():
        if name == file:
            return size
    return None


def main():
    peaks = load_peaks(sys.argv[1])
    throughput = load_throughput(sys.argv[2:])
    readers = ["ours", "inih_nothing", "inih_container", "gkeyfile"]
    shapes = ["typical", "typical_comments", "one_section", "long_line"]
    files = sorted({f for (_k, f, _r) in throughput},
                   key=lambda f: (shapes.index(re.sub(r"_\d+MB$", "", f)),
                                  int(re.search(r"(\d+)MB$", f).group(1))))

    print("MB/s: 10^6 bytes per second of CPU time (user + system), fastest of the")
    print("repetitions; ms: that CPU time per load. Cold: the heap is handed back to")
    print("the system before every load, as in a process that loads its file once;")
    print("warm: the pages freed by the previous load are reused.")
    print()
    print("| file | size (MB) | reader | MB/s cold | MB/s warm | ms cold | peak memory (MB) | peak / size |")
    print("|---|---:|---|---:|---:|---:|---:|---:|")
    for file in files:
        size = size_of(file, peaks)
        for reader in readers:
            if ("load", file, reader) not in throughput:
                continue
            ms, rate = throughput[("load", file, reader)]
            warm = throughput.get(("load_warm", file, reader))
            warm_text = f"{warm[1]:.0f}" if warm else "-"
            peak = peaks.get((file, reader))
            peak_text = f"{peak[0] / MB:.1f} | {peak[0] / peak[1]:.2f}" if peak else "- | -"
            size_text = f"{size / MB:.1f}" if size else "-"
            print(f"| {file} | {size_text} | {reader} | {rate:.0f} | {warm_text} | {ms:.1f} | {peak_text} |")
    for (kind, file, reader), (ms, rate) in sorted(throughput.items()):
        if kind == "save":
            print(f"| {file} | | ini_save ({reader}) | {rate:.0f} | | {ms:.1f} | | |")

    print()
    print("Growth of ini_load's time, cold (time ratio divided by size ratio; 1.00 is linear):")
    verdicts = []
    for shape in shapes:
        for small, big in [(f"{shape}_{a}MB", f"{shape}_{b}MB") for a, b in [(2, 20), (20, 200)]]:
            if ("load", small, "ours") not in throughput or ("load", big, "ours") not in throughput:
                continue
            time_ratio = throughput[("load", big, "ours")][0] / throughput[("load", small, "ours")][0]
            size_ratio = size_of(big, peaks) / size_of(small, peaks)
            growth = time_ratio / size_ratio
            print(f"  {small} -> {big}: size x{size_ratio:.2f}, time x{time_ratio:.2f}, growth {growth:.2f}")
            verdicts.append((f"linear time {small} -> {big}: growth {growth:.2f} <= 1.10", growth <= 1.10))

    for kind in ["load", "load_warm"]:
        for file in ["typical_20MB", "one_section_20MB"]:
            ours = throughput.get((kind, file, "ours"))
            inih = throughput.get((kind, file, "inih_nothing"))
            if ours and inih:
                label = "cold" if kind == "load" else "warm"
                verdicts.append((f"throughput {label} on {file}: ours {ours[1]:.0f} MB/s >= "
                                 f"inih storing nothing {inih[1]:.0f} MB/s", ours[1] >= inih[1]))
    for file in files:
        peak = peaks.get((file, "ours"))
        if peak:
            verdicts.append((f"peak memory on {file}: {peak[0] / peak[1]:.2f} x size <= 4",
                             peak[0] <= 4 * peak[1]))

    print()
    print("Targets of ini_load:")
    for text, met in verdicts:
        print(f"  {'met   ' if met else 'MISSED'} {text}")


if __name__ == "__main__":
    main()
