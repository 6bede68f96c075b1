"""Arc-length continuation from Python: the shallow arch of the examples
through its limit point, against the command line's load history and
files for the same model and options."""

import csv

import numpy as np
import pytest

import velmora
from conftest import FILES, SOURCE, run_cli


def test_arch_through_its_limit_point_is_the_command_line_history(tmp_path):
    crown = 102  # node 103 of the model file
    model = velmora.read(SOURCE / "examples/shallow_arch/input.txt")
    with pytest.warns(velmora.SolveWarning, match="limit point"):
        result = velmora.solve(model, "newton", path="arclength", increments=6, follow=[crown])
    assert result.optimal and result.load == 1
    path = result.load_path

    (tmp_path / "input.txt").write_bytes((SOURCE / "examples/shallow_arch/input.txt").read_bytes())
    run = run_cli(tmp_path, "--method", "newton", "--path", "arclength", "--increments", "6",
                  "--history", "history.csv", "--follow", str(crown + 1))
    assert run.returncode == 0, run.stderr
    with open(tmp_path / "history.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    assert len(rows) == len(path) > 10
    column = lambda name, kind=float: np.array([kind(r[name]) for r in rows])  # noqa: E731
    np.testing.assert_array_equal(path.increment, column("increment", int))
    np.testing.assert_array_equal(path.iterations, column("iterations", int))
    for name in ("load", "energy", "residue"):
        np.testing.assert_array_equal(getattr(path, name), column(name))
    np.testing.assert_array_equal(path.reaction, np.column_stack([column(f"reaction_{d}") for d in "xyz"]))
    np.testing.assert_array_equal(path.displacement[:, 0, :],
                                  np.column_stack([column(f"u{crown + 1}_{d}") for d in "xyz"]))

    # One limit point, at the row after which the load factor first falls
    # (within 0.1 % below its peak), as the command line's warning says.
    assert len(path.limit_load) == 1
    top = int(np.flatnonzero(np.diff(path.load) < 0)[0])
    assert path.limit_increment[0] == path.increment[top]
    assert path.limit_load[0] == pytest.approx(path.load[top], rel=1e-3)
    assert f"limit point at increment {path.limit_increment[0]}, where the structure carried " \
           f"{path.limit_load[0]:.4g}" in run.stderr
    # The crown ends below the supports: the arch snapped through.
    assert path.displacement[-1, 0, 1] < -0.8

    (tmp_path / "python").mkdir()
    result.write(tmp_path / "python")
    for name in FILES:
        assert (tmp_path / "python" / name).read_bytes() == (tmp_path / name).read_bytes(), name


def test_path_options_belong_to_newton():
    model = velmora.read(SOURCE / "examples/strip/input.txt")
    for options in ({"path": "arclength"}, {"increments": 2}, {"follow": [0]}):
        with pytest.raises(ValueError, match="options of method='newton'"):
            velmora.solve(model, "lbfgs", **options)
    with pytest.raises(ValueError, match="path must be"):
        velmora.solve(model, path="arc")
