"""Every failure of the command line is the velmora.Error of its name with
its message, compared with the program's report on the same file; arrays
that describe no model are ValueError naming the row; a failed solve
leaves the model as it was."""

import re

import numpy as np
import pytest

import velmora
from conftest import SOURCE, cli_failure, grid, run_cli

STRIP = {
    "control": "0.9  20  0.001  0  500  7\n",
    "material": "1.0  2  0.4  0.1  50.0\n",
    "nodes": "4\nnode  x  y  z\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n",
    "elements": "2\nelement  first  second  third\n1 1 2 3\n2 1 3 4\n",
    "supports": "7\nnode  dir  value\n1 1 0.0\n1 2 0.0\n4 1 0.0\n1 3 0.0\n2 3 0.0\n3 3 0.0\n4 3 0.0\n",
    "loads": "1\nnode  dir  value\n3 1 0.5\n",
}


def strip_text(**sections: str) -> str:
    return "Strip under tension\n" + "".join(f": {name}\n{sections.get(name, text)}" for name, text in STRIP.items())


# A file, where it fails, the exception, and the method that meets it.
CASES = {
    "ends inside the elements": (strip_text()[: strip_text().index(": elements") + 15], "read", velmora.EndError),
    "text for a number": (strip_text(elements="2\ne\n1 1 2 3\n2 1 3 x4\n"), "read", velmora.DataError),
    "node given twice": (strip_text(nodes="4\nn\n1 0 0 0\n2 1 0 0\n2 1 1 0\n4 0 1 0\n"), "read", velmora.DataError),
    "direction 4": (strip_text(supports="1\nn\n1 4 0.0\n"), "read", velmora.RangeError),
    "corner names no node": (strip_text(elements="2\ne\n1 1 2 3\n2 1 3 9\n"), "lbfgs", velmora.RangeError),
    "collinear corners": (strip_text(nodes="4\nn\n1 0 0 0\n2 1 0 0\n3 2 0 0\n4 0 1 0\n"), "newton",
                          velmora.GeometryError),
    "material kind 3": (strip_text(material="1.0 3 0.4 50\n"), "lbfgs", velmora.MaterialError),
    "nothing to move it": (strip_text(loads="0\n"), "lbfgs", velmora.LineSearchFailure),
    "nothing to move it, newton": (strip_text(loads="0\n"), "newton", velmora.LineSearchFailure),
}


@pytest.mark.parametrize("case", CASES)
def test_failure_is_the_programs(case, in_tmp, capfd):
    text, step, error = CASES[case]
    (in_tmp / "input.txt").write_text(text)
    options = [] if step in ("read", "lbfgs") else ["--method", step]
    name, message = cli_failure(in_tmp, *options)
    with pytest.raises(error) as raised:
        velmora.solve(velmora.read("input.txt"), step if step != "read" else "lbfgs")
    assert (raised.value.name, str(raised.value), raised.value.message) == (name, message, message)
    assert isinstance(raised.value, velmora.Error)
    if error is velmora.LineSearchFailure:  # printed as the program prints it
        assert capfd.readouterr().out == "Line Search Failure\n"


def test_file_that_cannot_be_read_names_its_path(tmp_path):
    with pytest.raises(velmora.FileNameError) as raised:
        velmora.read(tmp_path / "missing.txt")
    assert raised.value.name == "NAME_ERROR"
    assert str(raised.value) == f'cannot open "{tmp_path}/missing.txt": No such file or directory'


def test_bfgs_beyond_its_size_and_files_that_cannot_be_written(tmp_path):
    points, triangles = grid(300, 120, 3.0, 1.2)  # 36 421 points, 72 600 free directions (x and y)
    model = velmora.Model(points, triangles, material=velmora.NeoHooke(1, 5)).fix(points[:, 0] == 0, "xy")
    model.load(points[:, 0] == 2, "x", 1e-3)
    with pytest.raises(velmora.StorageError, match=r"^bfgs holds a dense matrix .* this model has 72600: use"):
        velmora.solve(model, "bfgs")
    result = velmora.solve(velmora.read(SOURCE / "examples/strip/input.txt"), "lbfgs")
    missing = tmp_path / "missing"
    with pytest.raises(velmora.UseError) as raised:
        result.write(missing)
    assert str(raised.value) == f'cannot create "ansys.txt" in "{missing}": No such file or directory'
    with pytest.raises(velmora.UseError, match='cannot create "input.txt" in'):
        model.write(missing / "input.txt")


def test_every_failure_name_has_its_class():
    names = re.findall(r'= "([A-Z_.]+)";', (SOURCE / "velmora/model/failures.hpp").read_text())
    names += ["RANGE_ERROR", "NLP.HALT"]  # named in terms:: and nlp::
    classes = {type(velmora._errors.failure(name, "m")) for name in names}
    assert len(classes) == len(set(names)) and velmora.Error not in classes
    assert all(velmora._errors.failure(name, "m").name == name for name in names)
    if "not in this build" in velmora.methods()["newton"]:
        with pytest.raises(velmora.MethodError, match="this velmora was built without --method newton"):
            velmora.solve(velmora.read(SOURCE / "examples/strip/input.txt"), "newton")


NEO = velmora.NeoHooke(mu=1, bulk=5)
SQUARE = np.array([[0, 0], [1, 0], [1, 1], [0, 1]], float)


@pytest.mark.parametrize("points, triangles, message", [
    (np.zeros((4, 4)), [[0, 1, 2]], r"n x 2 or n x 3 array, not of shape \(4, 4\)"),
    (np.zeros(6), [[0, 1, 2]], r"not of shape \(6,\)"),
    ([["a", "b"]] * 3, [[0, 1, 2]], "real numbers, not of <U1"),
    (SQUARE + 1j, [[0, 1, 2]], "real numbers, not of complex128"),
    ([[0, 0], [1, 0], [1, np.nan], [0, 1]], [[0, 1, 2]], r"point 2 has a coordinate that is not finite: \[1.0, nan\]"),
    ([[0, 0], [1, 0], [np.inf, 1], [0, 1]], [[0, 1, 2]], "point 2 has a coordinate that is not finite"),
    (SQUARE, [[0.0, 1, 2]], "point indices \\(integers\\), not of float64"),
    (SQUARE, [[0, 1, 2, 3]], r"m x 3 array, not of shape \(1, 4\)"),
    (SQUARE, [[0, 1, 2], [0, 2, 7]], r"triangle 1 names point 7, outside 0..3: \[0, 2, 7\]"),
    (SQUARE, [[0, 1, 2], [-1, 2, 3]], "triangle 1 names point -1"),
    (SQUARE, [[0, 1, 2], [0, 2, 2]], r"triangle 1 repeats a corner: \[0, 2, 2\]"),
])
def test_bad_arrays_are_value_errors_naming_the_row(points, triangles, message):
    with pytest.raises(ValueError, match=message):
        velmora.Model(points, triangles, material=NEO)


def test_bad_supports_loads_and_options_are_refused():
    model = velmora.Model(SQUARE, [[0, 1, 2], [0, 2, 3]], material=NEO).fix([0, 3], "x").fix(0, "y")
    refused = [
        (ValueError, "direction 'w': 'w' is not x, y or z", lambda: model.fix(0, "w")),
        (ValueError, "direction 'xx' names 'x' twice", lambda: model.fix(0, "xx")),
        (ValueError, "direction must be x, y or z", lambda: model.fix(0, 1)),
        (ValueError, "must be one of x, y and z, not 'xy'", lambda: model.load(0, "xy", 1.0)),
        (ValueError, r"point index 4 \(entry 1\) outside 0..3", lambda: model.fix([1, 4], "x")),
        (ValueError, "one entry per point", lambda: model.load([True, False], "x", 1.0)),
        (ValueError, "no point set named 'top'", lambda: model.load("top", "x", 1.0)),
        (ValueError, "force at point 2 is not finite", lambda: model.load([1, 2], "x", [1, np.nan])),
        (ValueError, "one per point", lambda: model.fix([1, 2], "x", [1, 2, 3])),
        (TypeError, "material must be", lambda: velmora.Model(SQUARE, [[0, 1, 2]], material="rubber")),
        (ValueError, "thickness must be finite", lambda: velmora.Model(SQUARE, [[0, 1, 2]], material=NEO,
                                                                       thickness=np.nan)),
        (TypeError, "search_limit must be an integer", lambda: velmora.solve(model, search_limit=2.5)),
        (ValueError, "max_iterations must fit in 32 bits", lambda: velmora.solve(model, max_iterations=2**31)),
        (ValueError, "method must be one of lbfgs, mbfgs, bfgs, newton, not 'cg'", lambda: velmora.solve(model, "cg")),
        (ValueError, "increments must be a whole number", lambda: velmora.solve(model, increments=0)),
        (ValueError, "increments must be a whole number", lambda: velmora.solve(model, increments=True)),
        (ValueError, "point index 9", lambda: velmora.solve(model, follow=[9])),
        (TypeError, "solve takes a velmora.Model", lambda: velmora.solve(SQUARE)),
        (TypeError, "progress must be", lambda: velmora.solve(model, progress="yes")),
    ]
    for error, message, call in refused:
        with pytest.raises(error, match=message):
            call()


def test_failed_solve_leaves_the_model_usable():
    model = velmora.read(SOURCE / "examples/strip/input.txt")
    held = model.copy().load(model.forces.any(axis=1), "x", 0.0)
    before = [a.copy() for a in held._arrays()]
    with pytest.raises(velmora.LineSearchFailure):
        velmora.solve(held, "lbfgs")
    assert all(np.array_equal(a, b) for a, b in zip(held._arrays(), before))
    assert velmora.solve(held.load(model.forces.any(axis=1), "x", 0.5), "lbfgs").optimal


def test_turned_over_elements_are_warned_of_as_the_command_line_does(tmp_path):
    """A load that folds an element under the default method: the package's
    warning is the command line's first warning line, word for word."""
    text = (SOURCE / "fuzz/regressions/run/large_load_folds_elements").read_text()
    (tmp_path / "input.txt").write_text(text)
    run = run_cli(tmp_path)
    assert run.returncode == 0, run.stderr
    said = [line[len("warning: "):] for line in run.stderr.splitlines() if line.startswith("warning: ")]
    with pytest.warns(velmora.SolveWarning):
        result = velmora.solve(velmora.read(tmp_path / "input.txt"), "lbfgs")
    assert result.turned_over == 1 and result.first_turned_over == 1
    assert result.warnings == said[:1]
