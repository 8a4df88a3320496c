#!/usr/bin/env python3
"""Builds the one benchmark table from Google Benchmark JSON files.

Usage: bench_table.py RESULTS_DIR
Reads every *.json in RESULTS_DIR (written with --benchmark_out_format=json) and prints a
Markdown table: each figure's median, its goal, whether it is met, and its ratio to the peer
primitive measured in the same run.
"""
import glob
import json
import os
import platform
import re
import sys

# Parts of a run name that only say how it was run.
RUN_OPTION = re.compile(r"^(real_time|process_time|manual_time|repeats:\d+|iterations:\d+|min_time:.*|threads:\d+)$")

# The vips figures are runs of its command-line tool; each run first spends the tool's own
# start-up (BM_VipsStartUp), which is taken off so the work itself is compared.
VIPS_STARTUP = "BM_VipsStartUp"

# A peer: (label, benchmark, vips runs to take off)
# A goal: ("ms", limit) | ("x_peer", factor) | ("plus", benchmark, ms, its label)
#         | ("x", benchmark, factor, its label) | ("counter", name, limit, unit) | None
# A row: (figure, benchmark, value, goal, peers), value "time" or ("counter", name, unit)
SECTIONS = [
    ("Editor canvas, 6000 x 4000 photo", [
        ("`ReDraw` at 0 %", "BM_CanvasReDraw/0", "time", ("ms", 3.0),
         [("Qt smooth `drawImage` of the view", "BM_QtSmoothDrawOfTheViewSource/0", 0)]),
        ("`ReDraw` at 50 %", "BM_CanvasReDraw/50", "time", ("ms", 3.0),
         [("Qt smooth `drawImage` of the view", "BM_QtSmoothDrawOfTheViewSource/50", 0)]),
        ("`ReDraw` at 100 %", "BM_CanvasReDraw/100", "time", ("ms", 3.0),
         [("Qt smooth `drawImage` of the view", "BM_QtSmoothDrawOfTheViewSource/100", 0)]),
        ("Drag step at 0 %", "BM_CanvasDragStep/0", "time", ("ms", 3.0),
         [("Qt smooth `drawImage` of the view", "BM_QtSmoothDrawOfTheViewSource/0", 0)]),
        ("Drag step at 50 %", "BM_CanvasDragStep/50", "time", ("ms", 3.0),
         [("Qt smooth `drawImage` of the view", "BM_QtSmoothDrawOfTheViewSource/50", 0)]),
        ("Drag step at 100 %", "BM_CanvasDragStep/100", "time", ("ms", 3.0),
         [("Qt smooth `drawImage` of the view", "BM_QtSmoothDrawOfTheViewSource/100", 0)]),
        ("`GetPassportPic`, 2000 x 2000 crop to 600 x 600", "BM_CanvasGetPassportPic", "time", ("ms", 15.0),
         [("`QImage::copy` + `scaled(Smooth)`, same rectangle", "BM_QtCopyAndSmoothScale", 0),
          ("vips `extract_area` + `resize`", "BM_VipsCropAndResize", 2)]),
    ]),
    ("Picture operations, 6000 x 4000 photo", [
        ("`RotateCW`", "BM_RotateCW", "time", ("x_peer", 1.5),
         [("`QImage::transformed`, 90 degrees", "BM_QtTransformed90", 0),
          ("vips `rot d90`", "BM_VipsRotate90", 1)]),
        ("`AdjustContrastAndBrightness`", "BM_AdjustContrastAndBrightness", "time", ("x_peer", 1.5),
         [("one `scanLine` pass with a 256-entry table", "BM_QtScanLineTable", 0)]),
    ]),
    ("Opening and the editor, 6000 x 4000 JPEG (quality 90)", [
        ("Open (`Pictures::OpenAsPicture`)", "BM_OpenAsPictureJpeg", "time", None,
         [("`djpeg` (libjpeg-turbo)", "BM_Djpeg", 0),
          ("Qt's JPEG reader, nothing more", "BM_QtPlainJpegRead", 0)]),
        ("Drop of the file to the first rendered view", "BM_DropFileToFirstView", "time",
         ("plus", "BM_OpenAsPictureJpeg", 50.0, "open"),
         [("open alone", "BM_OpenAsPictureJpeg", 0)]),
        ("Save in the editor (all pictures made, nothing stored)", "BM_SaveMakesAllPictures", "time",
         ("plus", "BM_GetPassportPic", 150.0, "`GetPassportPic`"),
         [("`GetPassportPic` alone", "BM_GetPassportPic", 0)]),
    ]),
    ("Photo record", [
        ("`SaveToDB`, new record, 24 MP source", "BM_SaveToDB_NewRecord", "time", ("ms", 1000.0), []),
        ("  part: source PNG encode (`PngEncoder`)", "BM_SavePart_EncodeSource", "time", None,
         [("its compressor (libdeflate, same level, bands, threads)", "BM_DeflateSameThreads", 0)]),
        ("  part: source PNG encode, one thread", "BM_EncodeSourceOneThread", "time", None,
         [("its compressor on one thread", "BM_DeflateOneThread", 0)]),
        ("  part: database row (passport and preview PNG, insert)", "BM_SavePart_DatabaseRow", "time", None, []),
        ("  part: source file write (`CreateNewFile`, pending name)", "BM_SavePart_FileWrite", "time", None, []),
        ("Source file size against libpng's default", "BM_SaveToDB_NewRecord", ("counter", "size_ratio", "x"),
         ("counter", "size_ratio", 1.10, "x"), []),
        ("Passport picture PNG encode, 600 x 600 (`PNGu`)", "BM_PngEncodePassportPicture", "time", None,
         [("`PngEncoder` on all threads (`PNGu` gives it one)", "BM_PngEncoderPassportPicture", 0)]),
        ("Passport picture PNG decode, 600 x 600 (`PNGu`)", "BM_PngDecodePassportPicture", "time", None, []),
    ]),
    ("Start-up and the photo list", [
        ("Start-up, 1,000 photos (`Event_Open` to all rows listed)", "BM_StartUp/1000", "time", ("ms", 300.0), []),
        ("Start-up, 10,000 photos", "BM_StartUp/10000", "time", ("x", "BM_StartUp/1000", 10.0, "1,000 photos"),
         [("start-up with 1,000 photos", "BM_StartUp/1000", 0)]),
        ("Memory held by the list, 1,000 photos (private dirty pages over an empty list)", "BM_ListMemory",
         ("counter", "private_dirty_MB", "MB"), ("counter", "private_dirty_MB", 40.0, "MB"), []),
        ("  for information: resident size over an empty list (counts mapped database pages)", "BM_ListMemory",
         ("counter", "rss_MB", "MB"), None, []),
    ]),
    ("Printing and export", [
        ("JPEG sheet export (fetch, draw, encode, write)", "BM_JpegSheetExport", "time", ("ms", 40.0),
         [("Qt: two copies on white, JPEG 90 into memory", "BM_QtSheetComposeAndEncode", 0),
          ("vips `insert` x 2 + JPEG 90 (no captions)", "BM_VipsSheet", 2)]),
        ("Four-up page to a 720 dpi PDF", "BM_FourUpPageToPdf", "time", ("ms", 400.0), []),
    ]),
]


def run_key(run_name):
    return "/".join(p for p in run_name.split("/") if not RUN_OPTION.match(p))


def to_ms(value, unit):
    return value * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[unit]


def load(results_dir):
    """benchmark key -> {"ms": median real time, "counters": {...}, "error": text or None}"""
    figures, contexts = {}, []
    for path in sorted(glob.glob(os.path.join(results_dir, "*.json"))):
        with open(path) as f:
            data = json.load(f)
        contexts.append(data.get("context", {}))
        runs = {}
        for b in data.get("benchmarks", []):
            runs.setdefault(run_key(b.get("run_name", b["name"])), []).append(b)
        for key, entries in runs.items():
            errors = [e for e in entries if e.get("error_occurred")]
            if errors:
                figures[key] = {"ms": None, "counters": {}, "error": errors[0].get("error_message", "failed")}
                continue
            medians = [e for e in entries if e.get("aggregate_name") == "median"]
            if medians:
                m = medians[0]
            else:
                plain = sorted((e for e in entries if e.get("run_type") == "iteration"),
                               key=lambda e: e["real_time"])
                if not plain:
                    continue
                m = plain[len(plain) // 2]
            known = {"name", "family_index", "per_family_instance_index", "run_name", "run_type", "repetitions",
                     "repetition_index", "threads", "aggregate_name", "aggregate_unit", "iterations", "real_time",
                     "cpu_time", "time_unit", "error_occurred", "error_message"}
            figures[key] = {"ms": to_ms(m["real_time"], m["time_unit"]),
                            "counters": {k: v for k, v in m.items() if k not in known},
                            "error": None}
    return figures, contexts


def fmt_ms(ms):
    if ms is None:
        return "n/a"
    if ms >= 100:
        return f"{ms:.0f} ms"
    if ms >= 10:
        return f"{ms:.1f} ms"
    if ms >= 1:
        return f"{ms:.2f} ms"
    return f"{ms:.3f} ms"


def fmt_counter(value, unit):
    return f"{value:.2f} x" if unit == "x" else f"{value:.1f} {unit}"


def peer_ms(figures, key, vips_runs):
    f = figures.get(key)
    if not f or f["ms"] is None:
        return None
    ms = f["ms"]
    if vips_runs:
        start = figures.get(VIPS_STARTUP)
        if not start or start["ms"] is None:
            return None
        ms = max(ms - vips_runs * start["ms"], 0.0)
    return ms


def evaluate(goal, figures, peers):
    """(goal text, limit the value must not exceed, or None)"""
    if goal is None:
        return "—", None
    kind = goal[0]
    if kind == "ms":
        return f"<= {fmt_ms(goal[1])}", goal[1]
    if kind == "x_peer":
        p = peer_ms(figures, peers[0][1], peers[0][2]) if peers else None
        return f"<= {goal[1]:g} x first peer", (None if p is None else goal[1] * p)
    if kind == "plus":
        ref = figures.get(goal[1], {}).get("ms")
        return f"<= {goal[3]} + {goal[2]:g} ms", None if ref is None else ref + goal[2]
    if kind == "x":
        ref = figures.get(goal[1], {}).get("ms")
        return f"<= {goal[2]:g} x {goal[3]}", None if ref is None else goal[2] * ref
    if kind == "counter":
        return f"<= {fmt_counter(goal[2], goal[3])}", goal[2]
    raise ValueError(kind)


def verdict(value, limit):
    if value is None or limit is None:
        return ""
    if value <= limit:
        return "met"
    over = (value / limit - 1.0) * 100.0
    return f"**missed by {over:.0f} %**" if over > 20 else f"missed by {over:.0f} %"


def machine(contexts):
    model = ""
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    cpus = contexts[0].get("num_cpus", os.cpu_count()) if contexts else os.cpu_count()
    mhz = contexts[0].get("mhz_per_cpu") if contexts else None
    loads = [c["load_avg"][0] for c in contexts if c.get("load_avg")]
    dates = sorted(c["date"] for c in contexts if c.get("date"))
    return model or platform.processor(), cpus, mhz, loads, dates


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    figures, contexts = load(sys.argv[1])
    model, cpus, mhz, loads, dates = machine(contexts)
    print(f"Run {dates[0] if dates else '?'}; {model}, {cpus} cores" + (f" at {mhz} MHz" if mhz else "")
          + (f"; load average (1 min) at the programs' starts {min(loads):.1f} to {max(loads):.1f}" if loads else "")
          + ".")
    print()
    print("| Figure | Median | Goal | Verdict | Peer, same run | Peer median | Ratio |")
    print("|---|---:|---|---|---|---:|---:|")
    missing = []
    for title, rows in SECTIONS:
        print(f"| **{title}** | | | | | | |")
        for label, key, value_kind, goal, peers in rows:
            f = figures.get(key)
            if f is None:
                missing.append(key)
                print(f"| {label} | not run | | | | | |")
                continue
            if f["error"]:
                print(f"| {label} | failed: {f['error']} | | | | | |")
                continue
            if value_kind == "time":
                value, shown = f["ms"], fmt_ms(f["ms"])
            else:
                value = f["counters"].get(value_kind[1])
                shown = "n/a" if value is None else fmt_counter(value, value_kind[2])
            goal_text, limit = evaluate(goal, figures, peers)
            present = [(p, peer_ms(figures, p[1], p[2])) for p in peers]
            present = [(p, ms) for p, ms in present if ms is not None]
            first = True
            for (plabel, _, vips_runs), ms in present or [(("", None, 0), None)]:
                ratio = f"{value / ms:.2f}" if (ms and value is not None and value_kind == "time") else ""
                plabel_text = plabel + (" (net of start-up)" if vips_runs else "")
                if first:
                    print(f"| {label} | {shown} | {goal_text} | {verdict(value, limit)} | {plabel_text} | "
                          f"{fmt_ms(ms) if ms is not None else ''} | {ratio} |")
                    first = False
                else:
                    print(f"| | | | | {plabel_text} | {fmt_ms(ms)} | {ratio} |")
    extras = []
    start = figures.get(VIPS_STARTUP)
    if start and start["ms"] is not None:
        extras.append(f"vips figures are runs of the `vips` tool between its own uncompressed files, less its "
                      f"start-up ({fmt_ms(start['ms'])} a run, measured in the same run).")
    else:
        extras.append("vips is not installed: no vips figures (Debian: libvips-tools).")
    if "BM_Djpeg" not in figures:
        extras.append("djpeg is not installed: no djpeg figure (Debian: libjpeg-turbo-progs).")
    counters = figures.get("BM_SaveToDB_NewRecord", {}).get("counters", {})
    if counters:
        extras.append(f"Source file {counters.get('file_MB', 0):.1f} MB, libpng's default "
                      f"{counters.get('libpng_MB', 0):.1f} MB.")
    start_counters = figures.get("BM_StartUp/1000", {}).get("counters", {})
    if start_counters:
        extras.append(f"Stored photos: passport PNG {start_counters.get('passport_KB', 0):.0f} KB, preview PNG "
                      f"{start_counters.get('preview_KB', 0):.1f} KB; database "
                      f"{start_counters.get('db_MB', 0):.0f} MB for 1,000 photos.")
    for photos in ("1000", "10000"):
        c = figures.get(f"BM_StartUp/{photos}", {}).get("counters", {})
        if "user_ms" in c:
            extras.append(f"Start-up with {int(photos):,} photos, processor time of one run: {fmt_ms(c['user_ms'])} "
                          f"in the program, {fmt_ms(c['system_ms'])} in the kernel; "
                          f"{c.get('minor_faults', 0):,.0f} page faults.")
    memory = figures.get("BM_ListMemory", {}).get("counters", {})
    if memory:
        extras.append(f"List memory as heap in use: {memory.get('heap_MB', 0):.1f} MB.")
    print()
    for e in extras:
        print(f"- {e}")
    if missing:
        print(f"- Not in this run: {', '.join(sorted(set(missing)))}.")


if __name__ == "__main__":
    main()
