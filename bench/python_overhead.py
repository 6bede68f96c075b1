#!/usr/bin/env python3
"""What the Python package adds to a Newton run of the command line: the
10^6-element strip stretched by 20 % solved by ``velmora --method newton``
and by ``velmora.solve(velmora.read(...), method="newton")`` with
``result.write``, each in a fresh process, their runs interleaved.

    bench/python_overhead.py [RUNS] [--nx NX --ny NY]

For each run: the wall time and peak memory of the whole process (the
interpreter's start and its imports included), and inside the Python one
the time of read, solve and write and of each Newton iteration, against the
iterations of the program (from its --progress lines). Medians at the end.
The files of the two runs must be the same, byte for byte. The programs and
the package are those of build/release (or $VELMORA_BUILD).
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
BUILD = Path(os.environ.get("VELMORA_BUILD", ROOT / "build" / "release"))
FILES = ("ansys.txt", "autocad.scr", "output.txt")

# The Python run, timed inside; one line of figures on standard output.
PYTHON_RUN = r"""
import time
began = time.monotonic()
import velmora
imported = time.monotonic()
reports = []
model = velmora.read("input.txt")
read = time.monotonic()
result = velmora.solve(model, method="newton", progress=lambda r: reports.append(time.monotonic()))
solved = time.monotonic()
result.write(".")
written = time.monotonic()
steps = [b - a for a, b in zip([read] + reports, reports)]
print(result.verdict)
print("figures", imported - began, read - imported, solved - read, written - solved, *steps)
"""


def timed(command, directory):
    """Runs command in directory under /usr/bin/time: its output, wall and
    CPU (user + system) seconds, peak MB."""
    run = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", *command], cwd=directory, capture_output=True,
                         text=True, env={**os.environ, "PYTHONPATH": str(BUILD / "python")})
    if run.returncode != 0:
        sys.exit(f"{command[0]} failed:\n{run.stderr}")
    wall, user, system, peak_kb = run.stderr.strip().splitlines()[-1].split()
    return run, float(wall), float(user) + float(system), int(peak_kb) * 1024 / 1e6


def program_steps(stderr):
    """The time of each Newton iteration from the progress lines (one per
    iteration when iterations take longer than 0.2 s)."""
    times = [float(t) for t in re.findall(r"iteration\s+\d+ .*?([0-9.]+) s$", stderr, re.M)]
    return [b - a for a, b in zip([0.0] + times, times)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("runs", nargs="?", type=int, default=3)
    parser.add_argument("--nx", type=int, default=1000)
    parser.add_argument("--ny", type=int, default=500)
    args = parser.parse_args()
    velmora, mesh = BUILD / "velmora" / "velmora", BUILD / "mesh" / "velmora-mesh"
    with tempfile.TemporaryDirectory(prefix="velmora-python-") as work:
        work = Path(work)
        cli, python = work / "cli", work / "python"
        cli.mkdir()
        python.mkdir()
        subprocess.run([str(mesh), "--nx", str(args.nx), "--ny", str(args.ny), "--length", "10", "--height", "5",
                        "--stretch", "2", "--tolerance", "1e-8", "-o", str(cli / "input.txt")], check=True,
                       capture_output=True)
        os.link(cli / "input.txt", python / "input.txt")
        elements = 2 * args.nx * args.ny
        rows = {"cli": [], "python": []}

        def program():
            run, wall, cpu, peak = timed([str(velmora), "--method", "newton", "--progress"], cli)
            rows["cli"].append((wall, cpu, peak, program_steps(run.stderr)))
            print(f"run {k + 1} velmora: {wall:6.2f} s, cpu {cpu:6.2f} s, peak {peak:7.1f} MB; {run.stdout.strip()}",
                  flush=True)

        def package():
            run, wall, cpu, peak = timed([sys.executable, "-c", PYTHON_RUN], python)
            verdict, figures = run.stdout.strip().splitlines()
            f = [float(v) for v in figures.split()[1:]]
            rows["python"].append((wall, cpu, peak, f[4:], f[:4]))
            print(f"run {k + 1} python:  {wall:6.2f} s, cpu {cpu:6.2f} s, peak {peak:7.1f} MB; {verdict}; "
                  f"import {f[0]:.2f} s, read {f[1]:.2f} s, solve {f[2]:.2f} s, write {f[3]:.2f} s", flush=True)

        for k in range(args.runs):
            # Each goes first in every other run.
            for run in (program, package) if k % 2 == 0 else (package, program):
                run()
            for file in FILES:
                if (cli / file).read_bytes() != (python / file).read_bytes():
                    sys.exit(f"{file} differs between the program and the package")
        def median(side, field):
            return statistics.median(r[field] for r in rows[side])

        print(f"\nstrip {args.nx} x {args.ny}, {elements} elements, {args.runs} interleaved runs, medians:")
        for side, name in (("cli", "velmora --method newton  "), ("python", "python, read/solve/write ")):
            print(f"  {name} {median(side, 0):7.2f} s, cpu {median(side, 1):7.2f} s, peak {median(side, 2):7.1f} MB")
        for field, what in ((0, "wall"), (1, "cpu")):
            added = [p[field] / c[field] - 1 for c, p in zip(rows["cli"], rows["python"])]
            print(f"  the package adds, {what:4s}   {100 * statistics.median(added):+.1f} % (median of the pairs; "
                  f"{100 * min(added):+.1f} .. {100 * max(added):+.1f} %)")
        print(f"  peak memory added          {median('python', 2) - median('cli', 2):+.1f} MB")
        for side, at in (("cli", 3), ("python", 3)):
            steps = [statistics.median(s) for s in zip(*[r[at] for r in rows[side]])]
            print(f"  Newton iterations, {side:6s} " + " ".join(f"{s:.2f}" for s in steps) + " s")
        inside = [statistics.median(r[4][k] for r in rows["python"]) for k in range(4)]
        print(f"  inside the python process: import {inside[0]:.2f} s, read {inside[1]:.2f} s, "
              f"solve {inside[2]:.2f} s, write {inside[3]:.2f} s")


if __name__ == "__main__":
    main()
