#!/usr/bin/env python3
"""Prints the library's speed and memory targets, each as a ratio measured
in one run with met / MISSED, and the figures behind them, from the
records bench/targets.sh gathers (inifile_targets and heap_peak output, one
"<kind> name=value ..." line per measurement). Markdown, for RESULTS.md.

    targets.py RECORDS
"""
import statistics
import sys
from collections import defaultdict

MB = 1e6
# Every target: the typical file, the long values, one key per section.
TYPICAL, LONG, ONE_KEY = "typical216_20MB", "long_values_20MB", "one_key_20MB"
# One value of 20 MB on one line: inih cuts it into 199-byte pieces, so
# its figures there are speed only, shown beside the targets.
LONG_LINE = "long_line_20MB"
# Growth from one size of a shape to the next (time or heap ratio over size
# ratio) still counted as linear; 1.00 is exactly linear. Time: the
# machine's noise moves medians by up to a fifth. Heap: a buffer that
# doubles as it grows holds between one and two times what it needs
# (the long line), so the peak per byte may move by up to two from one
# size to another; a heap that grows faster than the file grows by the
# size ratio, ten or more.
LINEAR_TIME, LINEAR_HEAP = 1.20, 2.0


def parse(path):
    records = defaultdict(list)
    with open(path) as handle:
        for line in handle:
            fields = line.split()
            if not fields:
                continue
            record = {}
            for field in fields[1:]:
                name, _, value = field.partition("=")
                try:
                    record[name] = float(value)
                except ValueError:
                    record[name] = value
            records[fields[0]].append(record)
    return records


def pick(records, record_kind, **match):
    return [r for r in records.get(record_kind, [])
            if all(r.get(k) == v for k, v in match.items())]


def median(records, record_kind, field, **match):
    values = [r[field] for r in pick(records, record_kind, **match) if field in r]
    return statistics.median(values) if values else None


def minimum(records, record_kind, field, **match):
    values = [r[field] for r in pick(records, record_kind, **match) if field in r]
    return min(values) if values else None


def ms(us):
    return "-" if us is None else f"{us / 1e3:.1f}"


def ratio_text(value):
    return "-" if value is None else f"{value:.2f}"


class Verdicts:
    def __init__(self):
        self.rows = []

    def add(self, target, measured, limit, met, note=""):
        if met is None:
            verdict = "not measured"
        else:
            verdict = "met" if met else "MISSED"
        self.rows.append((target, measured, limit, verdict, note))

    def print(self):
        print("| target | measured | limit | result |")
        print("|---|---|---|---|")
        for target, measured, limit, verdict, note in self.rows:
            text = f"{measured} ({note})" if note else measured
            print(f"| {target} | {text} | {limit} | {verdict} |")


def fresh_ratio(records, verdicts, file, limit, limit_text, label):
    ours = median(records, "fresh", "wall_us", reader="ours", file=file)
    inih = median(records, "fresh", "wall_us", reader="inih_nothing", file=file)
    if ours is None or inih is None:
        verdicts.add(label, "-", limit_text, None)
        return
    count = len(pick(records, "fresh", reader="ours", file=file))
    fastest = (minimum(records, "fresh", "wall_us", reader="ours", file=file) /
               minimum(records, "fresh", "wall_us", reader="inih_nothing", file=file))
    cpu = (median(records, "fresh", "cpu_us", reader="ours", file=file) /
           median(records, "fresh", "cpu_us", reader="inih_nothing", file=file))
    verdicts.add(label, f"{ours / inih:.2f}", limit_text, ours / inih <= limit,
                 f"{ms(ours)} / {ms(inih)} ms, medians of {count}; fastest {fastest:.2f}, "
                 f"CPU time {cpu:.2f}")


def heap_ratio(records, verdicts, file, limit, label):
    heap = pick(records, "heap", reader="ours", file=file)
    if not heap:
        verdicts.add(label, "-", f"<= {limit}", None)
        return
    times = heap[0]["heap_peak_bytes"] / heap[0]["file_bytes"]
    verdicts.add(label, f"{times:.2f} x file", f"<= {limit}", times <= limit,
                 f"{heap[0]['heap_peak_bytes'] / MB:.1f} MB for {heap[0]['file_bytes'] / MB:.1f} MB")


def build_verdict(records, verdicts, kind, label):
    runs = pick(records, "build", kind=kind)
    if not runs:
        verdicts.add(label, "-", "< 0.5 s", None)
        return
    finished = [r for r in runs if r["finished"] == 1]
    if len(finished) < len(runs):
        stopped = runs[-1]
        verdicts.add(label, f"stopped at {int(stopped['done']):,} of {int(stopped['count']):,}",
                     "< 0.5 s", False, f"{stopped['wall_us'] / 1e6:.1f} s time limit")
        return
    wall = statistics.median(r["wall_us"] for r in finished)
    verdicts.add(label, f"{wall / 1e6:.3f} s", "< 0.5 s", wall < 0.5e6,
                 f"median of {len(finished)}")


def targets(records):
    verdicts = Verdicts()
    fresh_ratio(records, verdicts, TYPICAL, 0.40, "<= 0.40",
                f"load, {TYPICAL}, whole process (wall): ours / inih storing nothing")
    fresh_ratio(records, verdicts, LONG, 1 / 1.8, "<= 0.56 (1/1.8)",
                f"load, {LONG}, whole process (wall): ours / inih storing nothing")
    heap_ratio(records, verdicts, TYPICAL, 2.5, f"peak heap of a load, {TYPICAL}")
    heap_ratio(records, verdicts, ONE_KEY, 10, f"peak heap of a load, {ONE_KEY}")
    destroy = median(records, "fresh", "release_us", reader="ours", file=TYPICAL)
    verdicts.add(f"ini_destroy of the {TYPICAL} document", f"{ms(destroy)} ms", "<= 5 ms",
                 None if destroy is None else destroy <= 5000, "median, in the loading process")
    ours = median(records, "lookups", "wall_us", reader="ours")
    theirs = median(records, "lookups", "wall_us", reader="gkeyfile")
    misses = sum(r["misses"] for r in records.get("lookups", []))
    if ours is not None and theirs is not None:
        count = int(pick(records, "lookups", reader="ours")[0]["count"])
        verdicts.add(f"{count:,} random ini_get_section + section_get_value: ours / GKeyFile",
                     f"{ours / theirs:.2f}", "<= 1", ours <= theirs and misses == 0,
                     f"{ms(ours)} / {ms(theirs)} ms, {int(misses)} not found")
    else:
        verdicts.add("random lookups: ours / GKeyFile", "-", "<= 1", None)
    build_verdict(records, verdicts, "sections", "building 100,000 sections of 5 keys")
    build_verdict(records, verdicts, "keys", "building one section of 100,000 keys")
    ours = median(records, "save", "wall_us", saver="ours")
    theirs = median(records, "save", "wall_us", saver="gkeyfile")
    if ours is not None and theirs is not None:
        verdicts.add(f"save, {TYPICAL}, both flushing: GKeyFile / ours", f"{theirs / ours:.2f}",
                     ">= 3", theirs >= 3 * ours, f"{ms(theirs)} / {ms(ours)} ms")
    else:
        verdicts.add("save: GKeyFile / ours", "-", ">= 3", None)
    for label, unit in [("time", "fresh"), ("heap", "heap")]:
        for shape, small, big, growth in growths(records, unit):
            limit = LINEAR_TIME if unit == "fresh" else LINEAR_HEAP
            verdicts.add(f"{label} linear in size, {shape}, {small} -> {big}", f"{growth:.2f}",
                         f"<= {limit:.2f}", growth <= limit,
                         "fastest CPU time per byte" if unit == "fresh" else "peak heap per byte")
    layout_targets(records, verdicts)
    return verdicts


def layout_targets(records, verdicts):
    """The costs of keeping a document's layout, once a reader ours_layout
    exists (bench/parsers.cpp); until then they are listed as not measured."""
    layout = median(records, "fresh", "wall_us", reader="ours_layout", file=TYPICAL)
    plain = median(records, "fresh", "wall_us", reader="ours", file=TYPICAL)
    verdicts.add(f"layout-keeping load, {TYPICAL}: ours_layout / ours (whole process)",
                 ratio_text(layout / plain) if layout and plain else "-", "<= 2",
                 layout / plain <= 2 if layout and plain else None)
    layout = pick(records, "heap", reader="ours_layout", file=TYPICAL)
    plain = pick(records, "heap", reader="ours", file=TYPICAL)
    if layout and plain:
        extra = (layout[0]["heap_peak_bytes"] - plain[0]["heap_peak_bytes"]) / plain[0]["file_bytes"]
        verdicts.add(f"layout-keeping load, {TYPICAL}: peak heap beyond ours", f"{extra:.2f} x file",
                     "<= 1.5", extra <= 1.5)
    else:
        verdicts.add(f"layout-keeping load, {TYPICAL}: peak heap beyond ours", "-", "<= 1.5",
                     None)
    layout = median(records, "save", "ini_save_us", saver="ours_layout")
    plain = median(records, "save", "ini_save_us", saver="ours")
    verdicts.add(f"unchanged save, {TYPICAL}: ours_layout / ours (ini_save)",
                 ratio_text(layout / plain) if layout and plain else "-", "<= 1",
                 layout <= plain if layout and plain else None)


def shape_of(file):
    return file.rsplit("_", 1)[0]


def sizes(records):
    """{file: bytes} for every file written."""
    return {r["name"]: r["bytes"] for r in records.get("file", [])}


def growths(records, unit):
    """(shape, smaller file, larger file, growth) for each step from one size
    of a shape to the next: the load's CPU time (the fastest, in the
    loading process: on a shared virtual machine wall time, and even the
    median of CPU time, move by a third with the other work) or peak heap,
    divided by the size ratio."""
    by_shape = defaultdict(list)
    for file, size in sizes(records).items():
        if unit == "fresh":
            value = minimum(records, "fresh", "load_cpu_us", reader="ours", file=file)
        else:
            heap = pick(records, "heap", reader="ours", file=file)
            value = heap[0]["heap_peak_bytes"] if heap else None
        if value:
            by_shape[shape_of(file)].append((size, file, value))
    result = []
    for shape, points in by_shape.items():
        points.sort()
        for (size_a, file_a, value_a), (size_b, file_b, value_b) in zip(points, points[1:]):
            result.append((shape, file_a, file_b, (value_b / value_a) / (size_b / size_a)))
    return result


def print_loads(records, page_us):
    print("### Loading, whole process and warm\n")
    print("fresh: one load in a new process, the process timed from its start to its end "
          "(wall); load: the load alone in that process (wall, then CPU); faults: pages "
          "the load touched first, and what they cost at the page price above; release: "
          "freeing what the load built. warm: loads in one process that reuses the pages "
          "the previous load freed. Medians (fastest in brackets).\n")
    print("| file | reader | fresh (ms) | load (ms) | load CPU (ms) | faults | faults (ms) "
          "| release (ms) | warm (ms) | warm CPU (ms) |")
    print("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    seen = []
    for r in records.get("fresh", []):
        key = (r["file"], r["reader"])
        if key not in seen and r["file"] in (TYPICAL, LONG, LONG_LINE):
            seen.append(key)
    for file, reader in sorted(seen):
        match = {"reader": reader, "file": file}
        faults = median(records, "fresh", "load_faults", **match)
        fault_ms = f"{faults * page_us / 1e3:.1f}" if faults is not None and page_us else "-"
        fresh = (f"{ms(median(records, 'fresh', 'wall_us', **match))} "
                 f"({ms(minimum(records, 'fresh', 'wall_us', **match))})")
        print(f"| {file} | {reader} | {fresh} | "
              f"{ms(median(records, 'fresh', 'load_us', **match))} | "
              f"{ms(median(records, 'fresh', 'load_cpu_us', **match))} | "
              f"{'-' if faults is None else f'{faults:.0f}'} | {fault_ms} | {ms(median(records, 'fresh', 'release_us', **match))} | "
              f"{ms(median(records, 'warm', 'wall_us', **match))} | "
              f"{ms(median(records, 'warm', 'cpu_us', **match))} |")
    print()
    for kind, label in [("fresh", "Fresh (whole process)"), ("warm", "Warm")]:
        for file in (TYPICAL, LONG, LONG_LINE):
            ours = median(records, kind, "wall_us", reader="ours", file=file)
            inih = median(records, kind, "wall_us", reader="inih_nothing", file=file)
            if ours and inih:
                print(f"- {label}, {file}: ours / inih storing nothing = {ours / inih:.2f}"
                      + (" (inih reads 199-byte pieces of the line)" if file == LONG_LINE else ""))
    print()


def print_heap(records):
    print("### Peak heap of one load\n")
    print("Counted by heap_peak's own malloc, calloc, realloc, free and aligned "
          "allocations, which pass every call to glibc and keep the bytes in use: each "
          "block as the heap holds it (usable size and its 8-byte header; 32 bytes for a "
          "malloc(16)). peak: the most in use at any moment of the load beyond what was in "
          "use before; after: what the loaded document holds; calls: allocation calls "
          "made by the load. RSS: growth of the resident high-water mark, for comparison.\n")
    print("| file | reader | size (MB) | peak (MB) | peak / size | after (MB) | calls | RSS (MB) |")
    print("|---|---|---:|---:|---:|---:|---:|---:|")
    order = {name: i for i, name in enumerate(sizes(records))}
    for r in sorted(records.get("heap", []), key=lambda r: (order.get(r["file"], 0), r["reader"])):
        print(f"| {r['file']} | {r['reader']} | {r['file_bytes'] / MB:.1f} | "
              f"{r['heap_peak_bytes'] / MB:.1f} | {r['heap_peak_bytes'] / r['file_bytes']:.2f} | "
              f"{r['heap_after_bytes'] / MB:.1f} | {int(r['allocations']):,} | "
              f"{r['rss_peak_bytes'] / MB:.1f} |")
    print()


def print_scaling(records):
    print("### Growth with size (ours)\n")
    print("Load: the load alone in a fresh process, medians of wall and CPU time and the "
          "fastest CPU time, and MB/s of that; heap: peak of one load. Growth: the ratio of "
          "the fastest CPU time, or of the heap, to the next smaller file of the same shape "
          "divided by the ratio of their sizes (1.00 is linear).\n")
    print("| file | size (MB) | load (ms) | load CPU (ms) | fastest CPU (ms) | MB/s "
          "| heap / size | time growth | heap growth |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    time_growth = {big: g for _s, _small, big, g in growths(records, "fresh")}
    heap_growth = {big: g for _s, _small, big, g in growths(records, "heap")}
    for file, size in sizes(records).items():
        load = median(records, "fresh", "load_us", reader="ours", file=file)
        cpu = median(records, "fresh", "load_cpu_us", reader="ours", file=file)
        fastest = minimum(records, "fresh", "load_cpu_us", reader="ours", file=file)
        heap = pick(records, "heap", reader="ours", file=file)
        if load is None:
            continue
        heap_text = f"{heap[0]['heap_peak_bytes'] / size:.2f}" if heap else "-"
        print(f"| {file} | {size / MB:.1f} | {ms(load)} | {ms(cpu)} | {ms(fastest)} | "
              f"{size / fastest:.0f} | {heap_text} | "
              f"{ratio_text(time_growth.get(file))} | {ratio_text(heap_growth.get(file))} |")
    print()


def print_calls(records):
    runs = records.get("lookups", [])
    if runs:
        print("### Lookups by name\n")
        for reader in ("ours", "gkeyfile"):
            mine = pick(records, "lookups", reader=reader)
            if mine:
                print(f"- {reader}: {int(mine[0]['count']):,} lookups in "
                      f"{ms(median(records, 'lookups', 'wall_us', reader=reader))} ms (median of "
                      f"{len(mine)}; CPU {ms(median(records, 'lookups', 'cpu_us', reader=reader))} ms)")
        print()
    for kind, label in [("sections", "sections of 5 keys"), ("keys", "keys in one section")]:
        steps = pick(records, "build_step", kind=kind)
        if not steps:
            continue
        runs = pick(records, "build", kind=kind)
        limit = runs[0]["limit_s"] if runs else 0
        print(f"### Building {label} (time limit {limit:g} s a round)\n")
        print("| done | time (ms, median) | time ratio to half as many |")
        print("|---:|---:|---:|")
        previous = None
        for done in sorted({s["done"] for s in steps}):
            wall = median(records, "build_step", "wall_us", kind=kind, done=done)
            growth = f"{wall / previous:.1f}" if previous else ""
            print(f"| {int(done):,} | {ms(wall)} | {growth} |")
            previous = wall
        print()
    saves = records.get("save", [])
    if saves:
        setup = records["save_setup"][0]
        kinds = {"0xef53": "ext2/3/4", "0x1021994": "tmpfs", "0x9123683e": "btrfs",
                 "0x58465342": "xfs"}
        print(f"### Saving {setup['file']}\n")
        print(f"Into a folder on {kinds.get(setup['folder_fs'], setup['folder_fs'])}. ours: "
              "ini_save, then an fsync of the folder, as g_file_set_contents does after its "
              "rename (ini_save alone beside it); gkeyfile: g_key_file_to_data and "
              "g_file_set_contents_full, flushing the file and the folder; floor: the same "
              "bytes as ours in one write and one fsync. text: making the text in memory "
              "alone (ini_save_to_memory, g_key_file_to_data). Wall time, medians (fastest).\n")
        print("| saver | bytes | save (ms) | ini_save alone (ms) | text (ms) |")
        print("|---|---:|---:|---:|---:|")
        for saver in dict.fromkeys(r["saver"] for r in saves):
            mine = pick(records, "save", saver=saver)
            print(f"| {saver} | {int(mine[0]['bytes']):,} | "
                  f"{ms(median(records, 'save', 'wall_us', saver=saver))} "
                  f"({ms(minimum(records, 'save', 'wall_us', saver=saver))}) | "
                  f"{ms(median(records, 'save', 'ini_save_us', saver=saver))} | "
                  f"{ms(median(records, 'save_text', 'wall_us', saver=saver))} |")
        print()


def main():
    records = parse(sys.argv[1])
    machine = records.get("machine", [])
    pages = [r["us_per_page"] for r in records.get("page_cost", [])]
    page_us = statistics.median(pages) if pages else None
    print("## Targets\n")
    for m in machine:
        cores = f" on {m['cores']:.0f} cores" if "cores" in m else ""
        print(f"- {m.get('when', '')}: {m.get('date', '')}, load average {m.get('load', '')}"
              f"{cores}, library {m.get('library', '?')}")
    busiest = max((float(m["load"].split("/")[0]) / m["cores"] for m in machine if "cores" in m),
                  default=0)
    if busiest > 1:
        print("- the machine was busy (more runnable processes than cores): wall times "
              "include waiting for a core; the CPU times and the fastest runs beside them "
              "show what waiting left out")
    if page_us:
        print(f"- first touch of a 4 KiB page: {page_us:.2f} us (median of {len(pages)}; "
              f"{min(pages):.2f} to {max(pages):.2f})")
    print()
    targets(records).print()
    print()
    print_loads(records, page_us)
    print_heap(records)
    print_scaling(records)
    print_calls(records)


if __name__ == "__main__":
    main()
