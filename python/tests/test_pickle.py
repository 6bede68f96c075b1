"""Models, results and failures pickle as plain data: what comes back
solves, writes and compares as the original does."""

import pickle
import warnings

import numpy as np
import pytest

import velmora
from conftest import FILES, SOURCE, run_cli


def files(directory):
    return [(directory / name).read_bytes() for name in FILES]


@pytest.mark.parametrize("method, options", [("lbfgs", {}), ("newton", {"increments": 4, "max_iterations": 12})])
def test_result_written_after_pickle_is_the_program_run(method, options, tmp_path):
    """Through pickle the result keeps its arrays and writes the program's
    files, also for a Newton run that stopped at half its loads (the model
    it solved, with its controls, run by the program)."""
    model = velmora.read(SOURCE / "examples/mr_cantilever/input.txt")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", velmora.SolveWarning)
        result = velmora.solve(model, method, **options)
    back = pickle.loads(pickle.dumps(result))
    assert back._solution is None and result._solution is not None
    for name in ("displacement", "deformed", "reactions", "stresses"):
        np.testing.assert_array_equal(getattr(back, name), getattr(result, name))
        assert not getattr(back, name).flags.writeable
    for name in ("energy", "iterations", "optimal", "load", "turned_over", "residue", "warnings", "verdict"):
        assert getattr(back, name) == getattr(result, name), name
    np.testing.assert_array_equal(back.load_path.reaction, result.load_path.reaction)
    assert back.model == result.model and back.load == (0.5 if options else 1)
    python, cli = tmp_path / "python", tmp_path / "cli"
    python.mkdir()
    cli.mkdir()
    back.write(python)
    result.model.write(cli / "input.txt")
    run = run_cli(cli, "--method", method, *([f"--increments={options['increments']}"] if options else []))
    assert run.returncode == 0, run.stderr
    assert files(python) == files(cli)


def test_model_and_failures_pickle():
    model = velmora.read(SOURCE / "examples/strip/input.txt")
    model.point_sets["end"] = np.array([2, 3])
    back = pickle.loads(pickle.dumps(model))
    assert back == model and back.point_sets.keys() == {"end"} and not back.points.flags.writeable
    assert velmora.solve(back, "lbfgs").energy == velmora.solve(model, "lbfgs").energy
    for error in (velmora.DataError("input.txt:3: expected a number"), velmora._errors.failure("NEW_ERROR", "m")):
        again = pickle.loads(pickle.dumps(error))
        assert (type(again), again.name, str(again)) == (type(error), error.name, str(error))
