"""The examples of examples/python and the README's Python block run as
printed; the sweeps give the same numbers on a process pool and on a
two-worker dask cluster as one after the other."""

import os
import subprocess
import sys

import numpy as np
import pytest

from conftest import SOURCE

EXAMPLES = SOURCE / "examples" / "python"
sys.path.insert(0, str(EXAMPLES))

import cantilever  # noqa: E402
import sweep_pool  # noqa: E402


def python_block(marker: str) -> str:
    lines = (SOURCE / "README.md").read_text().splitlines(keepends=True)
    start = next(k for k, line in enumerate(lines) if line.startswith(marker))
    assert lines[start + 1] == "```python\n"
    return "".join(lines[start + 2:lines.index("```\n", start + 2)])


def test_readme_python_block_runs_as_printed(tmp_path):
    block = python_block("<!-- .ci/run runs the Python block below")
    assert len(block.splitlines()) == 10
    run = subprocess.run([sys.executable, "-c", block], cwd=tmp_path, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert run.stdout.startswith("Minor =") and "Optimal" in run.stdout
    assert all((tmp_path / f).stat().st_size > 0 for f in ("ansys.txt", "autocad.scr", "output.txt"))


def test_package_docstring_example_runs_as_printed():
    import doctest

    import velmora

    assert doctest.testmod(velmora).failed == 0


def test_cantilever_curve(tmp_path):
    import cantilever_curve

    load, deflection, result = cantilever_curve.curve()
    np.testing.assert_allclose(load, 0.004 * np.arange(1, 21) / 20, rtol=1e-9)  # balances the end load
    assert result.optimal and np.all(np.diff(deflection) > 0)
    # Linear at small loads, stiffer as the beam bends far (its end turns
    # away from the load's direction).
    assert deflection[1] == pytest.approx(2 * deflection[0], rel=0.01)
    stiffness = load / deflection
    assert np.all(np.diff(stiffness[5:]) > 0) and stiffness[-1] > 1.3 * stiffness[0]
    cantilever_curve.main(str(tmp_path / "curve.png"))
    assert (tmp_path / "curve.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def serial(moduli):
    return [cantilever.tip_deflection(cantilever.solve_for(mu)) for mu in moduli]


def test_sweep_on_a_process_pool_and_a_dask_cluster(monkeypatch):
    from dask.distributed import Client

    import sweep_dask

    moduli = sweep_pool.MODULI[::2]
    one_by_one = serial(moduli)
    assert np.all(np.diff(one_by_one) < 0)  # stiffer, less deflection
    assert sweep_pool.sweep(moduli, workers=2) == one_by_one
    # The workers import the task's module.
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join([str(EXAMPLES), os.environ.get("PYTHONPATH", "")]))
    with sweep_dask.local_cluster() as cluster, Client(cluster) as client:
        assert len(client.scheduler_info()["workers"]) == 2
        assert sweep_dask.sweep(client, moduli) == one_by_one
