"""The cantilever of the Python examples: a beam 10 long, 1 high and 0.5
thick of a neo-Hookean material, held at x = 0 and loaded downwards at its
free end, meshed with nx by ny cells of two triangles each."""

import numpy as np

import velmora


def cantilever(mu=1.0, bulk=10.0, load=-0.004, nx=80, ny=8, length=10.0, height=1.0):
    """The model and the index of the point in the middle of the free end."""
    x, y = np.meshgrid(np.linspace(0, length, nx + 1), np.linspace(0, height, ny + 1))
    points = np.column_stack([x.ravel(), y.ravel()])
    i, j = np.meshgrid(np.arange(nx), np.arange(ny))
    a = (i + (nx + 1) * j).ravel()
    triangles = np.concatenate([np.column_stack([a, a + 1, a + nx + 2]), np.column_stack([a, a + nx + 2, a + nx + 1])])
    model = velmora.Model(points, triangles, material=velmora.NeoHooke(mu=mu, bulk=bulk), thickness=0.5)
    end = points[:, 0] == length
    model.fix(points[:, 0] == 0, "xy").load(end, "y", load / end.sum())
    tip = int(np.flatnonzero(end & (points[:, 1] == height / 2))[0]) if ny % 2 == 0 else int(np.flatnonzero(end)[0])
    return model, tip


def solve_for(mu):
    """The task of the sweeps: the cantilever of shear modulus mu (and bulk
    modulus 10 mu) solved by Newton's method."""
    model, _ = cantilever(mu=mu, bulk=10 * mu)
    return velmora.solve(model, "newton")


def tip_deflection(result):
    """The downward displacement of the middle of the free end."""
    _, tip = cantilever()
    return float(-result.displacement[tip, 1])
