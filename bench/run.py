#!/usr/bin/env python3
"""The benchmark suite: scabrosimeter, a numpy peer and a plain-arithmetic limit on synthetic
rasters.

    python3 bench/run.py [--sizes 1000,4000,8000] [--kinds dem16,dem32,image]
                         [--baseline OTHER_EXE] [--repeat N] [--build DIR] [--work DIR]
                         [--no-peer] [--no-limit] [--no-exact]

Builds the program (Release) when needed, writes deterministic rasters (bench/make_raster.cpp),
runs the whole program on each with piped answers, and reports wall time (best of --repeat
runs), peak resident memory, cells per second and bytes per cell; then the same measures for
numpy_peer.py, with OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE unset for it alone (left out with
--no-peer), for limit_peer (left out with --no-limit), and for the whole program with
--figures exact on 1 and 2 threads (SCABROSIMETER_THREADS; left out with --no-exact). With
--baseline, an earlier build of the program is timed too, and its console, report and table must
be byte-identical to this build's.

The table's columns:
  program s, Mcells/s, bytes/cell   scabrosimeter: best wall time, cells per second, and peak
                                    resident memory per cell
  numpy s, numpy bytes/cell         the numpy peer: best wall time, peak memory per cell
  numpy / program                   how many times longer the numpy peer takes
  limit s, limit bytes/cell         bench/limit_peer.cpp, the same figures in plain arithmetic
                                    as fast as it goes (streamed, two threads, exact integer
                                    sums): best wall time, peak memory per cell
  program / limit                   how many times longer scabrosimeter takes: the cost of its
                                    reproducible rounding, its dialog and its report
  baseline s, baseline / program    with --baseline: the earlier build's time, and how many
                                    times longer it takes
  exact 1t s, exact 2t s            scabrosimeter --figures exact, every figure certified, with
                                    SCABROSIMETER_THREADS=1 and 2: best wall time
  exact 1t / limit, exact 2t / limit
                                    how many times longer than the limit peer: at 8000^2 the
                                    exact mode on 2 threads must take at most 1.3 times as long

Peak memory is the kernel's peak resident set of the run (wait4). It includes what this Python
process held when it forked the run (about 12 MB: an empty run, `true`, measures that much),
so for small rasters, and for the limit peer at any size, it says more about Python than about
the program.

Under the table, for each raster, the figures scabrosimeter prints on the console (and its
table of line RMS) are compared with the limit peer's, and those whose printed digits differ
are named; then the exact mode's with the model's, on each raster and on the bundled examples.
"""
import argparse
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

KINDS = {
    # kind: (data type answer, sample width answer, unit answer, file suffix, width, metres per unit)
    "dem16": ("0", "0", "1", "_m2", 2, 0.1),
    "dem32": ("0", "1", "3", "_m4", 4, 0.001),
    "image": ("1", None, None, "", 1, 1.0),
}


def answers(kind, name):
    data_type, width, unit, _, _, _ = KINDS[kind]
    lines = ["bench", data_type, name]
    if width is not None:
        lines.append(width)
    lines.append("0")
    if unit is not None:
        lines.append(unit)
    return ("\n".join(lines) + "\n").encode()


def peak_of(command, cwd, stdin=b"", env=None):
    """Wall time and peak resident memory of one run of command, measured by the kernel."""
    pid = os.fork()
    if pid == 0:
        os.chdir(cwd)
        read_end, write_end = os.pipe()
        os.write(write_end, stdin)
        os.close(write_end)
        os.dup2(read_end, 0)
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.dup2(devnull, 2)
        os.execvpe(command[0], command, env if env is not None else os.environ)
    start = time.perf_counter()
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        sys.exit("%s failed (status %d)" % (" ".join(command), status))
    return wall, usage.ru_maxrss * 1024


def best(runs, command, cwd, stdin=b"", env=None):
    results = [peak_of(command, cwd, stdin, env) for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results)


def python_with_numpy():
    """This Python when it has numpy, else the system's (Debian's python3-numpy)."""
    for python in (sys.executable, "/usr/bin/python3"):
        if subprocess.run([python, "-c", "import numpy"], stderr=subprocess.DEVNULL).returncode == 0:
            return python
    sys.exit("numpy not found: install python3-numpy, or run with --no-peer")


EXACT = ["--figures", "exact"]


def outputs(program, work, kind, name, options=()):
    """Console, report and table of one run of program."""
    console = subprocess.run([program] + list(options), cwd=work, input=answers(kind, name),
                             stdout=subprocess.PIPE, check=True).stdout
    folder = os.path.join(work, "images", "bench")
    with open(os.path.join(folder, name + "_scabrosimeter.txt"), "rb") as report:
        report_bytes = report.read()
    with open(os.path.join(folder, name + "_scabrosimeter.xls"), "rb") as table:
        table_bytes = table.read()
    return console, report_bytes, table_bytes


# The figures of scabrosimeter's console, in the order the limit peer prints them.
PROGRAM_FIGURES = [
    ("RMS line", r"RMS line (\S+)"),
    ("RMS column", r"RMS column (\S+)"),
    ("RMS image", r"RMS image = (\S+)"),
    ("Standard deviation", r"Standard deviation = (\S+)"),
    ("RMS total", r"RMS total (\S+)"),
    ("Average RMS", r"Average RMS (\S+)"),
    ("homogeneity coefficient", r"homogeneity coefficient (\S+)"),
    ("slope", r"slope = (\S+)"),
    ("r", r"\br = (\S+)"),
    ("r(sqrt)", r"r\(sqrt\) = (\S+)"),
    ("r2", r"r2 = (\S+)"),
    ("RMS error", r"RMS error = (\S+)"),
    ("standard deviation", r"standard deviation = (\S+)"),
]
LIMIT_FIGURES = re.compile(
    r"RMS line (\S+) column (\S+) image (\S+) sd (\S+) total (\S+) average (\S+) "
    r"homogeneity (\S+)\s+slope (\S+) r (\S+) r\(sqrt\) (\S+) r2 (\S+) RMS error (\S+) sd (\S+)")


def program_figures(console):
    """The printed figures of scabrosimeter's console, after its "Results" heading."""
    text = console.decode(errors="replace")
    text = text[text.index("Results"):]
    figures = []
    for name, pattern in PROGRAM_FIGURES:
        found = re.search(pattern, text)
        figures.append(found.group(1) if found else "(missing)")
    return figures


def limit_figures(limit, raw, size, width, scale, cwd):
    """The limit peer's printed figures, and the rows of its table."""
    command = [limit, raw, str(size), str(size), str(width), repr(scale)]
    printed = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, check=True).stdout
    found = LIMIT_FIGURES.search(printed.decode())
    if not found:
        sys.exit("unexpected output of %s: %r" % (" ".join(command), printed))
    with open(raw + ".limit.xls", "rb") as table:
        return list(found.groups()), table.read().splitlines()


def compare_with_limit(name, program_out, limit_out):
    """One line per raster: the figures whose printed digits differ, or that all agree."""
    console, _, table = program_out
    limit_printed, limit_table = limit_out
    mine = program_figures(console)
    differ = ["%s %s (program) %s (limit)" % (label, a, b)
              for (label, _), a, b in zip(PROGRAM_FIGURES, mine, limit_printed) if a != b]
    rows = table.splitlines()
    row_differ = [(i + 1, a, b) for i, (a, b) in enumerate(zip(rows, limit_table)) if a != b]
    if len(rows) != len(limit_table):
        differ.append("table: %d rows (program) %d rows (limit)" % (len(rows), len(limit_table)))
    elif row_differ:
        line, a, b = row_differ[0]
        differ.append("table: %d of %d rows, the first line %d: %s (program) %s (limit)"
                      % (len(row_differ), len(rows), line, a.split(b"\t")[1].decode(),
                         b.split(b"\t")[1].decode()))
    if not differ:
        return "  %s: all %d figures and %d table rows agree" % (name, len(mine), len(rows))
    return "  %s: %s" % (name, "; ".join(differ))


def compare_modes(name, model_out, exact_out):
    """One line per raster: the printed figures and table rows where the exact mode differs
    from the model's."""
    model_console, _, model_table = model_out
    exact_console, _, exact_table = exact_out
    differ = ["%s %s (model) %s (exact)" % (label, a, b)
              for (label, _), a, b in zip(PROGRAM_FIGURES, program_figures(model_console),
                                          program_figures(exact_console)) if a != b]
    model_rows, exact_rows = model_table.splitlines(), exact_table.splitlines()
    rows = [(i + 1, a, b) for i, (a, b) in enumerate(zip(model_rows, exact_rows)) if a != b]
    if len(model_rows) != len(exact_rows):
        differ.append("table: %d rows (model) %d rows (exact)" % (len(model_rows), len(exact_rows)))
    for line, a, b in rows[:5]:
        differ.append("table row %d: %s (model) %s (exact)"
                      % (line, a.split(b"\t")[1].decode(), b.split(b"\t")[1].decode()))
    if len(rows) > 5:
        differ.append("%d more table rows" % (len(rows) - 5))
    if not differ:
        return "  %s: all %d figures and %d table rows agree" % (name, len(PROGRAM_FIGURES),
                                                                 len(model_rows))
    return "  %s: %s" % (name, "; ".join(differ))


def compare_examples(program, work):
    """The exact mode against the model on the bundled examples, copied into work."""
    import shutil
    examples = os.path.join(work, "examples")
    shutil.rmtree(examples, ignore_errors=True)
    shutil.copytree(os.path.join(ROOT, "examples", "images"), os.path.join(examples, "images"),
                    ignore=shutil.ignore_patterns("*_scabrosimeter.*"))
    lines = []
    for label, text, result in (("dem1/relief", b"dem1\n0\nrelief\n0\n0\n1\n", "dem1/relief"),
                                ("img1/texture", b"img1\n1\ntexture\n1\ngrain\n", "img1/grain")):
        runs = []
        for options in ([], EXACT):
            console = subprocess.run([program] + options, cwd=examples, input=text,
                                     stdout=subprocess.PIPE, check=True).stdout
            with open(os.path.join(examples, "images", result + "_scabrosimeter.xls"), "rb") as f:
                runs.append((console, b"", f.read()))
        lines.append(compare_modes(label, runs[0], runs[1]))
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--sizes", default="1000,4000,8000")
    parser.add_argument("--kinds", default="dem16,dem32,image")
    parser.add_argument("--baseline", help="an earlier scabrosimeter executable to compare with")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--build", default=os.path.join(ROOT, "build-bench"))
    parser.add_argument("--work", default=os.path.join(ROOT, "build-bench", "data"))
    parser.add_argument("--no-peer", action="store_true", help="leave out the numpy peer")
    parser.add_argument("--no-limit", action="store_true", help="leave out the limit peer")
    parser.add_argument("--no-exact", action="store_true",
                        help="leave out the exact mode (scabrosimeter --figures exact)")
    args = parser.parse_args()
    args.build, args.work = os.path.abspath(args.build), os.path.abspath(args.work)

    subprocess.run(["cmake", "-S", ROOT, "-B", args.build, "-DCMAKE_BUILD_TYPE=Release",
                    "-DSCABROSIMETER_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    targets = ["scabrosimeter", "make_raster"] + ([] if args.no_limit else ["limit_peer"])
    subprocess.run(["cmake", "--build", args.build, "--target"] + targets, check=True,
                   stdout=subprocess.DEVNULL)
    program = os.path.join(args.build, "scabrosimeter")
    limit = os.path.join(args.build, "limit_peer")
    os.makedirs(args.work, exist_ok=True)
    peer_env = {k: v for k, v in os.environ.items()
                if k not in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE")}

    header = ("| raster | cells | program s | Mcells/s | bytes/cell | numpy s | numpy bytes/cell "
              "| numpy / program | limit s | limit bytes/cell | program / limit |")
    rule = "|---|---|---|---|---|---|---|---|---|---|---|"
    if args.baseline:
        header += " baseline s | baseline / program |"
        rule += "---|---|"
    if not args.no_exact:
        header += " exact 1t s | exact 2t s | exact 1t / limit | exact 2t / limit |"
        rule += "---|---|---|---|"
    print(header)
    print(rule)
    mismatches = 0
    comparisons = []
    modes = []
    too_slow = []
    for size in [int(s) for s in args.sizes.split(",")]:
        for kind in args.kinds.split(","):
            name = "%s_%d" % (kind, size)
            suffix, width, scale = KINDS[kind][3], KINDS[kind][4], KINDS[kind][5]
            raw = os.path.join(args.work, "images", "bench", name + suffix + ".raw")
            if not os.path.exists(raw):
                subprocess.run([os.path.join(args.build, "make_raster"), kind, str(size),
                                os.path.join(args.work, "images")], check=True)
            cells = size * size
            wall, peak = best(args.repeat, [program], args.work, answers(kind, name))
            row = "| %s | %d | %.3f | %.1f | %.2f |" % (name, cells, wall, cells / wall / 1e6,
                                                       peak / cells)
            if args.no_peer:
                row += " | | |"
            else:
                peer = [python_with_numpy(), os.path.join(HERE, "numpy_peer.py"), raw, str(size),
                        str(size), str(width), repr(scale)]
                peer_wall, peer_peak = best(args.repeat, peer, args.work, b"", peer_env)
                row += " %.3f | %.2f | %.1f |" % (peer_wall, peer_peak / cells, peer_wall / wall)
            limit_wall = None
            if args.no_limit:
                row += " | | |"
            else:
                command = [limit, raw, str(size), str(size), str(width), repr(scale)]
                limit_wall, limit_peak = best(args.repeat, command, args.work)
                row += " %.3f | %.2f | %.1f |" % (limit_wall, limit_peak / cells, wall / limit_wall)
            if args.baseline:
                base_wall, _ = best(args.repeat, [os.path.abspath(args.baseline)], args.work,
                                    answers(kind, name))
                row += " %.3f | %.1f |" % (base_wall, base_wall / wall)
            if not args.no_exact:
                exact_walls = []
                for threads in ("1", "2"):
                    env = dict(os.environ, SCABROSIMETER_THREADS=threads)
                    exact_walls.append(best(args.repeat, [program] + EXACT, args.work,
                                            answers(kind, name), env)[0])
                row += " %.3f | %.3f |" % tuple(exact_walls)
                if limit_wall:
                    row += " %.2f | %.2f |" % (exact_walls[0] / limit_wall,
                                               exact_walls[1] / limit_wall)
                    if size >= 8000 and exact_walls[1] > 1.3 * limit_wall:
                        too_slow.append(name)
                else:
                    row += " | |"
            print(row, flush=True)
            mine = None
            if not args.no_limit:
                mine = outputs(program, args.work, kind, name)
                comparisons.append(compare_with_limit(
                    name, mine, limit_figures(limit, raw, size, width, scale, args.work)))
            if not args.no_exact:
                mine = mine or outputs(program, args.work, kind, name)
                modes.append(compare_modes(name, mine,
                                           outputs(program, args.work, kind, name, EXACT)))
            if args.baseline:
                mine = mine or outputs(program, args.work, kind, name)
                theirs = outputs(args.baseline, args.work, kind, name)
                for what, a, b in zip(("console", "report", "table"), mine, theirs):
                    if a != b:
                        mismatches += 1
                        print("  %s: %s differs from the baseline's" % (name, what))
    if comparisons:
        print("\nFigures of scabrosimeter's console and table against the limit peer's:")
        print("\n".join(comparisons))
    if not args.no_exact:
        print("\nPrinted figures and table rows of the exact mode against the model's:")
        print("\n".join(modes + compare_examples(program, args.work)))
        if too_slow:
            print("\nThe exact mode on 2 threads took more than 1.3 times the limit peer's time: "
                  + ", ".join(too_slow))
    if args.baseline:
        print("\nOutputs compared with %s: %s" % (args.baseline,
              "all identical" if mismatches == 0 else "%d differ" % mismatches))
    return 1 if mismatches or too_slow else 0


if __name__ == "__main__":
    sys.exit(main())
