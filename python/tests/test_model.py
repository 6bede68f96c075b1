"""A model from arrays is the model of the file that holds the same values:
the README's annotated model built from arrays, files written and read
back, and the command line's files of a written model."""

import math
import shutil
import struct

import numpy as np
import pytest

import velmora
from conftest import FILES, REFERENCE, REFERENCE_RUNS, SOURCE, run_cli
from test_stretch import BLOCK_POINTS, BLOCK_TRIANGLES


def readme_block() -> str:
    """The README's annotated "input.txt" (the block after its marker)."""
    lines = (SOURCE / "README.md").read_text().splitlines(keepends=True)
    start = next(k for k, line in enumerate(lines) if line.startswith("<!-- tests/report_test.cpp runs the block"))
    end = lines.index("```\n", start + 2)
    return "".join(lines[start + 2:end])


def test_readme_model_from_arrays_is_the_model_of_its_file(tmp_path):
    (tmp_path / "input.txt").write_text(readme_block())
    model = velmora.Model(BLOCK_POINTS, BLOCK_TRIANGLES, material=velmora.NeoHooke(mu=1.0, bulk=5.0),
                          thickness=1.0, controls=velmora.Controls(0.9, 20, 1e-8, 0, 500, 7))
    model.fix([0, 3], "x").fix(0, "y").load([2, 5], "x", 0.25)
    read = velmora.read(tmp_path / "input.txt")
    assert read == model
    assert read.fixed[:, 2].all()  # the file holds every node in z, as n x 2 points do
    assert velmora.solve(read, "lbfgs").verdict == "Minor =    28     Optimal"  # the README's verdict


@pytest.mark.parametrize("name", REFERENCE_RUNS)
def test_written_model_reads_back_and_runs_the_same(name, tmp_path):
    """A reference model written and read back is the same model, and the
    command line writes the same files for it."""
    original, written = tmp_path / "original", tmp_path / "written"
    original.mkdir()
    written.mkdir()
    shutil.copy(REFERENCE / name / "input.txt", original)
    model = velmora.read(original / "input.txt")
    model.write(written / "input.txt")
    assert velmora.read(written / "input.txt") == model
    assert run_cli(written).stdout == run_cli(original).stdout
    for file in FILES:
        assert (written / file).exists() == (original / file).exists(), file
        if (original / file).exists():
            assert (written / file).read_bytes() == (original / file).read_bytes(), file


def test_every_double_reads_back_to_its_bits(tmp_path):
    """Coordinates, values and controls of any size and sign, zeros of
    both signs and subnormal numbers survive the file bit for bit."""
    rng = np.random.default_rng(21)
    bits = rng.integers(0, 2**63, size=300, dtype=np.uint64) | (rng.integers(0, 2, 300, dtype=np.uint64) << 63)
    values = bits.view(np.float64)
    values = values[np.isfinite(values)]
    values = np.concatenate([values, [0.0, -0.0, 5e-324, -2.2250738585072014e-308, 1.7976931348623157e308, 0.1]])
    n = values.size // 3
    points = np.column_stack([np.arange(n), np.arange(n) % 7, values[:n]]).astype(float)
    triangles = np.array([[k, k + 1, k + 2] for k in range(n - 2)])
    model = velmora.Model(points, triangles, material=velmora.MooneyRivlin(c10=values[0], c01=-0.0, bulk=5e-324),
                          thickness=values[1], controls=velmora.Controls(values[2], -5, values[3], -0.0, 0, -1))
    model.fix(np.arange(n), "y", values[n:2 * n]).load(np.arange(n), "z", values[2 * n:3 * n])
    model.load(0, "x", -0.0)
    model.write(tmp_path / "m.txt")
    back = velmora.read(tmp_path / "m.txt")
    for a, b in zip(back._arrays(), model._arrays()):
        assert a.dtype == b.dtype and a.tobytes() == b.tobytes()
    assert back.material == model.material and math.copysign(1, back.material.c01) == -1
    assert struct.pack("<d", back.thickness) == struct.pack("<d", model.thickness)
    assert back.controls == model.controls


def test_model_of_unknown_material_kind_reads_and_writes_back(tmp_path):
    model = velmora.read(REFERENCE / "kind3_refpos" / "input.txt")
    assert model.material is None and "material kind 3" in repr(model)
    model.write(tmp_path / "input.txt")
    assert velmora.read(tmp_path / "input.txt") == model
    with pytest.raises(velmora.MaterialError, match="input.txt gave material kind 3"):
        velmora.solve(model)


def test_supports_and_loads_by_indices_masks_and_sets():
    model = velmora.Model(np.zeros((4, 3)) + np.arange(4)[:, None], [[0, 1, 2], [1, 2, 3]],
                          material=velmora.NeoHooke(1, 5))
    assert not model.fixed.any()  # n x 3 points: nothing held in z
    model.point_sets["ends"] = np.array([0, 3])
    model.fix("ends", "xz", [[1, 2], [3, 4]]).fix(np.array([False, True, False, False]), "y", 0.5)
    model.fix(3, "x", -1.0)  # a later support replaces the earlier one
    model.load([1, 2], "y", [10, 20]).load(2, "y", 30)
    assert model.fixed.tolist() == [[1, 0, 1], [0, 1, 0], [0, 0, 0], [1, 0, 1]]
    assert model.prescribed.tolist() == [[1, 0, 2], [0, 0.5, 0], [0, 0, 0], [-1, 0, 4]]
    assert model.forces[:, 1].tolist() == [0, 10, 30, 0]
    assert not model.forces.flags.writeable and not model.points.flags.writeable
    copy = model.copy().fix(2, "x")
    assert not model.fixed[2, 0] and copy.fixed[2, 0]


def test_solves_of_a_read_model_see_its_changes():
    """The first solve of a model as read, a second one, and one after a
    change give what the same model built anew gives."""
    path = SOURCE / "examples/strip/input.txt"
    model = velmora.read(path)
    first, second = velmora.solve(model, "lbfgs"), velmora.solve(model, "lbfgs")
    assert first.energy == second.energy and np.array_equal(first.displacement, second.displacement)
    changed = velmora.read(path).load(2, "x", 0.25)
    anew = velmora.Model(model.points, model.triangles, material=model.material, controls=model.controls)
    for d, axis in enumerate("xyz"):
        anew.fix(model.fixed[:, d], axis, model.prescribed[model.fixed[:, d], d])
    anew.load(2, "x", 0.25)
    assert anew == changed
    assert velmora.solve(changed, "lbfgs").energy == velmora.solve(anew, "lbfgs").energy != first.energy
