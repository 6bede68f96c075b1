"""Reads result.vtu back with VTK's own XML reader and compares every array
with the run's files: the points and triangles with input.txt, the
displacement, reaction and sigma arrays with the tables of output.txt.

Usage: check_vtu.py RUN_DIR [VTU_FILE]
Exit status: 0 all equal, 1 a difference, 77 VTK's Python modules are
missing (the test is then skipped).
"""
import os
import sys

try:
    from vtkmodules.vtkIOXML import vtkXMLUnstructuredGridReader
    from vtkmodules.vtkCommonCore import vtkOutputWindow, vtkObject
except ImportError as e:
    print(f"skipped: VTK's Python modules are not installed ({e}); on Debian: apt-get install python3-vtk9")
    sys.exit(77)

VTK_TRIANGLE = 5
# Both sides parse the same decimal text (the report's, or its shortest
# round-trip copy in the .vtu) with correctly rounded conversions, so the
# doubles must be identical.
EXACT = 0.0


def read_input(path):
    """Nodes and elements of an input.txt written one record per line."""
    with open(path) as f:
        lines = f.read().split("\n")
    headers = [i for i, l in enumerate(lines) if l.startswith(":")]
    def section(k):
        start = headers[k] + 1
        count = int(lines[start].split()[0])
        return [lines[start + 2 + r].split() for r in range(count)]
    nodes = {int(r[0]): tuple(float(v) for v in r[1:4]) for r in section(2)}
    elements = {int(r[0]): tuple(int(v) for v in r[1:4]) for r in section(3)}
    return [nodes[k] for k in range(1, len(nodes) + 1)], [elements[e] for e in range(1, len(elements) + 1)]


def read_report(path):
    """Displacements, stresses and reactions of output.txt, by its columns."""
    with open(path) as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    def table_after(header):
        i = lines.index(header) + 2
        rows = []
        while i < len(lines) and lines[i].strip() and not lines[i].startswith("---"):
            rows.append(lines[i])
            i += 1
        return rows
    displacement = [tuple(float(v) for v in r.split()[1:4]) for r in
                    table_after(" Node             Displ X             Displ Y             Displ Z")]
    sigma = [tuple(float(v) for v in r.split()[1:4]) for r in
             table_after(" Elem            Sigma1            Sigma2            Sigma3")]
    reactions = {}
    for r in table_after(" Node           Force X           Force Y           Force Z"):
        # node in 5 columns, then 18 columns per direction, blank when not reported
        node = int(r[0:5])
        forces = []
        for j in range(3):
            field = r[5 + 18 * j: 5 + 18 * (j + 1)].strip()
            forces.append(float(field) if field else 0.0)
        reactions[node] = tuple(forces)
    return displacement, sigma, reactions


def main():
    run = sys.argv[1]
    vtu = sys.argv[2] if len(sys.argv) > 2 else os.path.join(run, "result.vtu")
    points, triangles = read_input(os.path.join(run, "input.txt"))
    displacement, sigma, reactions = read_report(os.path.join(run, "output.txt"))

    vtkObject.GlobalWarningDisplayOff()
    reader = vtkXMLUnstructuredGridReader()
    reader.SetFileName(vtu)
    reader.Update()
    grid = reader.GetOutput()
    failures = []

    def expect(condition, message):
        if not condition:
            failures.append(message)

    def same(a, b):
        return all(abs(x - y) <= EXACT for x, y in zip(a, b)) and len(a) == len(b)

    expect(reader.GetErrorCode() == 0, f"the reader reports error code {reader.GetErrorCode()}")
    n, m = len(points), len(triangles)
    expect(grid.GetNumberOfPoints() == n, f"{grid.GetNumberOfPoints()} points, input.txt has {n} nodes")
    expect(grid.GetNumberOfCells() == m, f"{grid.GetNumberOfCells()} cells, input.txt has {m} elements")
    expect(len(displacement) == n and len(sigma) == m, "the report's tables do not match input.txt")
    if failures:
        return report(failures)

    for k in range(n):
        expect(same(grid.GetPoint(k), points[k]), f"point {k}: {grid.GetPoint(k)} != {points[k]}")
    for e in range(m):
        cell = grid.GetCell(e)
        ids = tuple(cell.GetPointId(i) for i in range(cell.GetNumberOfPoints()))
        expect(grid.GetCellType(e) == VTK_TRIANGLE, f"cell {e} has type {grid.GetCellType(e)}, not a triangle")
        expect(ids == tuple(v - 1 for v in triangles[e]), f"cell {e}: points {ids}, element {triangles[e]}")

    point_data, cell_data = grid.GetPointData(), grid.GetCellData()
    arrays = {}
    for data, name, components, count in ((point_data, "displacement", 3, n), (point_data, "reaction", 3, n),
                                          (cell_data, "sigma1", 1, m), (cell_data, "sigma2", 1, m),
                                          (cell_data, "sigma3", 1, m)):
        a = data.GetArray(name)
        expect(a is not None, f"no array {name}")
        if a is None:
            continue
        expect(a.GetNumberOfComponents() == components, f"{name} has {a.GetNumberOfComponents()} components")
        expect(a.GetNumberOfTuples() == count, f"{name} has {a.GetNumberOfTuples()} tuples, expected {count}")
        arrays[name] = a
    if failures:
        return report(failures)

    for k in range(n):
        expect(same(arrays["displacement"].GetTuple3(k), displacement[k]),
               f"displacement of node {k + 1}: {arrays['displacement'].GetTuple3(k)} != {displacement[k]}")
        expected = reactions.get(k + 1, (0.0, 0.0, 0.0))
        expect(same(arrays["reaction"].GetTuple3(k), expected),
               f"reaction of node {k + 1}: {arrays['reaction'].GetTuple3(k)} != {expected}")
    for e in range(m):
        for j in range(3):
            value = arrays[f"sigma{j + 1}"].GetValue(e)
            expect(abs(value - sigma[e][j]) <= EXACT, f"sigma{j + 1} of element {e + 1}: {value} != {sigma[e][j]}")
    expect(any(reactions.values()), "the report lists no reaction: the comparison of reactions proves nothing")
    if failures:
        return report(failures)
    print(f"{vtu}: {n} points, {m} triangles, displacement, reaction ({len(reactions)} nodes) and sigma1..3 "
          "equal to the report")
    return 0


def report(failures):
    for f in failures[:20]:
        print("FAIL:", f)
    if len(failures) > 20:
        print(f"... and {len(failures) - 20} more")
    return 1


if __name__ == "__main__":
    sys.exit(main())
