# Checks a finished run and its exported files: the reactions of output.txt
# balance the loads of input.txt (every element's internal forces sum to
# zero), up to the allowable residue the minimiser leaves at each node;
# rsvg-convert, when given, renders result.svg silently; VTK's own XML
# reader reads result.vtu back, every array equal to input.txt and the
# tables of output.txt.
# Usage: check_export.py RUN_DIR [RSVG_CONVERT]. Exit status: 0 all equal,
# 1 a difference (a failed assertion), 77 VTK's Python modules are missing
# (Debian: python3-vtk9).
import os, subprocess, sys


def main(run, rsvg=""):
    model = open(os.path.join(run, "input.txt")).read().split("\n")
    heads = [i for i, l in enumerate(model) if l.startswith(":")]
    def records(k):  # of section k: a count, a title, then a record a line
        return [model[heads[k] + 3 + i].split() for i in range(int(model[heads[k] + 1].split()[0]))]
    nodes, elements = ({int(r[0]): r[1:4] for r in records(k)} for k in (2, 3))
    points = [tuple(map(float, nodes[k])) for k in range(1, len(nodes) + 1)]
    cells = [tuple(int(v) - 1 for v in elements[e]) for e in range(1, len(elements) + 1)]

    report = open(os.path.join(run, "output.txt")).read().split("\n")
    def table(header):  # rows from two lines below the header up to an empty line, but the rule and Max/Min
        i = next(i for i, l in enumerate(report) if l.startswith(header)) + 2
        return [r for r in report[i:report.index("", i)] if not r.startswith(("-", "Max/Min"))]
    displacement = [tuple(map(float, r.split()[1:4])) for r in table(" Node             Displ X")]
    sigma = [tuple(map(float, r.split()[1:4])) for r in table(" Elem            Sigma1")]
    reaction = [(0.0, 0.0, 0.0)] * len(points)
    for r in table(" Node           Force X"):
        # the node in 5 columns, then 18 per direction, blank when not reported
        reaction[int(r[:5]) - 1] = tuple(float(r[5 + 18 * j:23 + 18 * j].strip() or 0) for j in range(3))
    total = [sum(f[j] for f in reaction) for j in range(3)]
    for r in records(5):
        total[int(r[1]) - 1] += float(r[2])
    allowance = float(report[3].split("|")[2]) * len(points)
    assert all(abs(t) <= allowance for t in total), f"reactions + loads = {total}, allowance {allowance}"

    if rsvg:
        r = subprocess.run([rsvg, os.path.join(run, "result.svg"), "-o", os.path.join(run, "result.png")],
                           capture_output=True, text=True)
        assert r.returncode == 0 and not r.stderr, f"rsvg-convert: exit status {r.returncode} {r.stderr}"
    try:
        from vtkmodules.vtkIOXML import vtkXMLUnstructuredGridReader
    except ImportError as e:
        print(f"skipped: no VTK for Python ({e})")
        return 77

    reader = vtkXMLUnstructuredGridReader()
    reader.SetFileName(os.path.join(run, "result.vtu"))
    reader.Update()
    grid = reader.GetOutput()
    pd, cd = grid.GetPointData(), grid.GetCellData()
    size = (reader.GetErrorCode(), grid.GetNumberOfPoints(), grid.GetNumberOfCells())
    assert size == (0, len(points), len(cells)) == (0, len(displacement), len(sigma)), f"error, points, cells: {size}"
    # Both sides parse the same decimal text: the doubles must be equal.
    for k in range(len(points)):
        got = (grid.GetPoint(k), pd.GetArray("displacement").GetTuple3(k), pd.GetArray("reaction").GetTuple3(k))
        assert got == (points[k], displacement[k], reaction[k]), f"node {k + 1}: {got}"
    for e in range(len(cells)):
        cell = grid.GetCell(e)
        got = (grid.GetCellType(e), tuple(cell.GetPointId(i) for i in range(cell.GetNumberOfPoints())),
               tuple(cd.GetArray(f"sigma{j}").GetValue(e) for j in (1, 2, 3)))
        assert got == (5, cells[e], sigma[e]), f"element {e + 1}: {got}"  # 5: a VTK triangle
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
