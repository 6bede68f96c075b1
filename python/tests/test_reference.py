"""The files a result writes are the command line's, byte for byte: the
reviewed reference runs with the default method, and every method against
a run of the program on the same model."""

import shutil

import pytest

import velmora
from conftest import FILES, REFERENCE, REFERENCE_RUNS, SOURCE, cli_failure, run_cli


@pytest.mark.parametrize("name", REFERENCE_RUNS)
def test_reference_run_through_python(name, tmp_path):
    folder = REFERENCE / name
    expected = folder / "expected"
    model = velmora.read(folder / "input.txt")
    if not (expected / "output.txt").exists():
        # A run that fails after writing part of ansys.txt (kind3_refpos):
        # the solve raises the same failure and nothing is written.
        with pytest.raises(velmora.Error) as failed:
            velmora.solve(model, "lbfgs")
        shutil.copy(folder / "input.txt", tmp_path)
        assert (failed.value.name, failed.value.message) == cli_failure(tmp_path)
        assert type(failed.value) is velmora.MaterialError
        return
    result = velmora.solve(model, "lbfgs")
    assert "\n" + result.verdict + "\n" == (expected / "stdout.txt").read_text()
    result.write(tmp_path)
    for file in FILES:
        assert (tmp_path / file).read_bytes() == (expected / file).read_bytes(), file


@pytest.mark.parametrize("method", ["lbfgs", "mbfgs", "bfgs", "newton"])
@pytest.mark.parametrize("model", ["examples/mr_cantilever", "examples/neo_plate_stretch",
                                   "tests/data/reference/tilted_membrane_forces"])
def test_every_method_writes_what_the_program_writes(method, model, tmp_path):
    cli, python = tmp_path / "cli", tmp_path / "python"
    cli.mkdir()
    python.mkdir()
    shutil.copy(SOURCE / model / "input.txt", cli)
    run = run_cli(cli, "--method", method)
    assert run.returncode == 0, run.stderr
    result = velmora.solve(velmora.read(cli / "input.txt"), method)
    result.write(python)
    assert run.stdout == "\n" + result.verdict + "\n"
    for file in FILES:
        assert (python / file).read_bytes() == (cli / file).read_bytes(), file
    # Written twice, and after the arrays were read: the same files.
    result.write(python)
    assert (python / "output.txt").read_bytes() == (cli / "output.txt").read_bytes()


def test_newton_short_of_the_full_load_writes_what_the_program_writes(tmp_path):
    """The loads followed to a fraction: "ansys.txt" shows them whole, the
    other files at that fraction, as the program writes them."""
    shutil.copy(SOURCE / "examples/mr_cantilever/input.txt", tmp_path)
    text = (tmp_path / "input.txt").read_text().splitlines(keepends=True)
    control = next(k for k, line in enumerate(text) if line.startswith(":")) + 1
    values = text[control].split()
    values[4] = "12"  # max_iterations: two of the four increments
    text[control] = " ".join(values) + "\n"
    (tmp_path / "input.txt").write_text("".join(text))
    run = run_cli(tmp_path, "--method", "newton", "--increments", "4")
    assert run.returncode == 0 and "NOT Optimal" in run.stdout, run.stdout + run.stderr
    with pytest.warns(velmora.SolveWarning, match="the loads were followed to"):
        result = velmora.solve(velmora.read(tmp_path / "input.txt"), "newton", increments=4)
    assert result.load == 0.5 and not result.optimal
    assert list(result.load_path.load) == [0.25, 0.5]
    assert [f"warning: {w}" for w in result.warnings] == run.stderr.splitlines()
    python = tmp_path / "python"
    python.mkdir()
    result.write(python)
    for file in FILES:
        assert (python / file).read_bytes() == (tmp_path / file).read_bytes(), file
