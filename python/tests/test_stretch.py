"""The homogeneous plane-strain stretch, which constant-strain triangles
represent exactly, against its closed form (conftest.Stretch): displacements,
stresses, reactions, energy and the load path, by every method."""

import numpy as np
import pytest

import velmora
from conftest import Stretch, grid

# The block of the README's first model: 2 x 1, neo-Hookean mu 1, bulk 5,
# held at x = 0, pulled by 0.5 at x = 2.
BLOCK_POINTS = [[0, 0], [1, 0], [2, 0], [0, 1], [1, 1], [2, 1]]
BLOCK_TRIANGLES = [[0, 1, 4], [0, 4, 3], [1, 2, 5], [1, 5, 4]]


def block(material, tolerance):
    model = velmora.Model(BLOCK_POINTS, BLOCK_TRIANGLES, material=material,
                          controls=velmora.Controls(tolerance=tolerance, max_iterations=2000))
    return model.fix([0, 3], "x").fix(0, "y").load([2, 5], "x", 0.25)


@pytest.mark.parametrize("method, tolerance, accuracy", [
    ("newton", 1e-13, 1e-12), ("lbfgs", 1e-8, 1e-7), ("mbfgs", 1e-8, 1e-7), ("bfgs", 1e-8, 1e-7)])
@pytest.mark.parametrize("material", [velmora.NeoHooke(mu=1, bulk=5), velmora.MooneyRivlin(c10=0.4, c01=0.1, bulk=5)])
def test_pulled_block_is_the_closed_form(method, tolerance, accuracy, material):
    stretch = Stretch(material)
    l1, l2 = stretch.under_force(0.5)  # force per initial area: 0.5 over a height of 1
    r = velmora.solve(block(material, tolerance), method)
    assert r.optimal and r.load == 1 and r.turned_over == 0
    x, y = np.asarray(BLOCK_POINTS, float).T
    np.testing.assert_allclose(r.displacement, np.column_stack([(l1 - 1) * x, (l2 - 1) * y, 0 * x]),
                               rtol=0, atol=accuracy)
    np.testing.assert_allclose(r.deformed[:, :2], np.column_stack([l1 * x, l2 * y]), rtol=0, atol=accuracy)
    sigma = stretch.cauchy(l1, l2)
    assert abs(sigma[1]) < 1e-12
    np.testing.assert_allclose(r.stresses, np.tile(sigma, (4, 1)), rtol=0, atol=10 * accuracy)
    np.testing.assert_allclose(sigma[0], 0.5 / l2, rtol=1e-12)  # the pull over the current height
    reactions = np.zeros((6, 3))
    reactions[[0, 3], 0] = -0.25
    np.testing.assert_allclose(r.reactions[:, :2], reactions[:, :2], rtol=0, atol=10 * accuracy)
    assert np.all(r.reactions[~r.model.fixed] == 0)
    # Strain energy of the volume 2, the work of the pull, and the
    # constant the energy density carries at rest.
    w = stretch.energy(l1, l2) * 2 - 0.5 * 2 * (l1 - 1)
    assert r.energy == pytest.approx(w, abs=1e-9)
    if material.kind == 1:
        assert (l1, l2) == (pytest.approx(1.1831, abs=1e-4), pytest.approx(0.8879, abs=1e-4))  # the README's figures


def test_stretch_by_moved_supports_follows_the_closed_form_on_the_load_path():
    """A strip whose end x = 4 is moved by 0.8 in four increments: at each,
    the moving end's reaction is the nominal stress times the height and the
    followed corner sits at the closed form's place."""
    material = velmora.MooneyRivlin(c10=0.4, c01=0.1, bulk=10)
    stretch = Stretch(material)
    points, triangles = grid(8, 4, 4.0, 2.0)
    model = velmora.Model(points, triangles, material=material, controls=velmora.Controls(tolerance=1e-12))
    model.fix(points[:, 0] == 0, "x").fix(0, "y").fix(points[:, 0] == 4, "x", 0.8)
    corner = int(np.flatnonzero((points[:, 0] == 4) & (points[:, 1] == 2))[0])
    r = velmora.solve(model, "newton", increments=4, follow=[corner])
    path = r.load_path
    assert list(path.increment) == [1, 2, 3, 4]
    assert list(path.load) == [0.25, 0.5, 0.75, 1.0]
    assert list(path.follow) == [corner] and path.displacement.shape == (4, 1, 3)
    assert np.all(path.residue <= r.allowable_residue) and np.all(path.iterations >= 1)
    for k, load in enumerate(path.load):
        l1 = 1 + 0.2 * load
        l2 = stretch.lateral(l1)
        np.testing.assert_allclose(path.reaction[k], [stretch.nominal(l1, l2, 0) * 2, 0, 0], rtol=0, atol=1e-9)
        np.testing.assert_allclose(path.displacement[k, 0], [(l1 - 1) * 4, (l2 - 1) * 2, 0], rtol=0, atol=1e-9)
    assert path.energy[-1] == r.energy
    np.testing.assert_array_equal(path.displacement[-1, 0], r.displacement[corner])


def test_load_path_under_forces_balances_the_applied_loads():
    """Where no support moves, the reactions of every support balance the
    loads at each fraction; the other methods give no path."""
    model = block(velmora.NeoHooke(mu=1, bulk=5), 1e-12)
    r = velmora.solve(model, "newton", increments=5)
    np.testing.assert_allclose(r.load_path.load, [0.2, 0.4, 0.6, 0.8, 1.0], rtol=1e-15)
    np.testing.assert_allclose(r.load_path.reaction, np.outer(r.load_path.load, [-0.5, 0, 0]), rtol=0, atol=1e-11)
    assert len(velmora.solve(model, "lbfgs").load_path) == 0
