"""What the tests of the Python package share: where things are, the
command line as a second route to every answer, small meshes, and the
closed form of a homogeneous plane-strain stretch."""

from __future__ import annotations

import os
import re
import subprocess
from pathlib import Path

import numpy as np
import pytest

import velmora

SOURCE = Path(os.environ.get("VELMORA_SOURCE", Path(__file__).resolve().parents[2]))
REFERENCE = SOURCE / "tests" / "data" / "reference"
REFERENCE_RUNS = sorted(p.name for p in REFERENCE.iterdir())
FILES = ("ansys.txt", "autocad.scr", "output.txt")


def program(name: str) -> str:
    path = os.environ.get(name)
    if not path:
        pytest.skip(f"{name} is not set (ctest sets it to the program of the build)")
    return path


def run_cli(directory: Path, *options: str) -> subprocess.CompletedProcess:
    """velmora with options in directory, which holds input.txt."""
    return subprocess.run([program("VELMORA_BINARY"), *options], cwd=directory, capture_output=True, text=True)


def cli_failure(directory: Path, *options: str) -> tuple[str, str]:
    """The name and message of the failure the command line reports."""
    r = run_cli(directory, *options)
    assert r.returncode == 1, r.stdout + r.stderr
    found = re.search(r"\nraised (\S+) : (.*)\n$", r.stderr)
    assert found, r.stderr
    return found.group(1), found.group(2)


def grid(nx: int, ny: int, length: float, height: float) -> tuple[np.ndarray, np.ndarray]:
    """Points (n x 2) and counter-clockwise triangles of nx by ny cells over
    length x height; point i + (nx + 1) j is at column i, row j."""
    x, y = np.meshgrid(np.linspace(0, length, nx + 1), np.linspace(0, height, ny + 1))
    points = np.column_stack([x.ravel(), y.ravel()])
    i, j = np.meshgrid(np.arange(nx), np.arange(ny))
    a = (i + (nx + 1) * j).ravel()
    b, c, d = a + 1, a + nx + 2, a + nx + 1
    return points, np.concatenate([np.column_stack([a, b, c]), np.column_stack([a, c, d])])


def strip(nx: int, ny: int, length: float, height: float, material, **controls) -> velmora.Model:
    """A strip held at x = 0 in x, its corner there also in y."""
    points, triangles = grid(nx, ny, length, height)
    model = velmora.Model(points, triangles, material=material, controls=velmora.Controls(**controls))
    return model.fix(points[:, 0] == 0, "x").fix(0, "y")


class Stretch:
    """The homogeneous plane-strain stretch F = diag(l1, l2, 1) of a law,
    with the sides y = const free of stress. Derivatives of the energy
    density by complex steps; stresses as Cauchy's sigma_i = l_i dW/dl_i / J."""

    def __init__(self, material) -> None:
        self.material = material

    def energy(self, l1, l2, l3=1.0):
        j = l1 * l2 * l3
        i1 = l1 * l1 + l2 * l2 + l3 * l3
        w = self.material
        volume = w.bulk / 2 * (j * j - 2 * j)
        if isinstance(w, velmora.NeoHooke):
            return w.mu / 2 * i1 * j ** (-2 / 3) + volume
        i2 = l1 * l1 * l2 * l2 + l2 * l2 * l3 * l3 + l1 * l1 * l3 * l3
        return w.c10 * i1 * j ** (-2 / 3) + w.c01 * i2 * j ** (-4 / 3) + volume

    def nominal(self, l1: float, l2: float, axis: int) -> float:
        h = 1e-30
        args = [complex(l1), complex(l2), complex(1.0)]
        args[axis] += 1j * h
        return self.energy(*args).imag / h

    def cauchy(self, l1: float, l2: float) -> np.ndarray:
        return np.array([(l1, l2, 1.0)[k] * self.nominal(l1, l2, k) for k in range(3)]) / (l1 * l2)

    def lateral(self, l1: float) -> float:
        """The stretch l2 that leaves the sides free of stress."""
        return _root(lambda l2: self.nominal(l1, l2, 1), 1.0)

    def under_force(self, nominal_stress: float) -> tuple[float, float]:
        """The stretches under a nominal stress (force per initial area)."""
        l1 = _root(lambda l1: self.nominal(l1, self.lateral(l1), 0) - nominal_stress, 1.0)
        return l1, self.lateral(l1)


def _root(f, x: float) -> float:
    """A root of f near x by secant steps."""
    a, fa, b = x, f(x), x * 1.001
    for _ in range(100):
        fb = f(b)
        if fb == 0 or fb == fa or abs(b - a) < 1e-16 * abs(b):
            return b
        a, fa, b = b, fb, b - fb * (b - a) / (fb - fa)
    raise AssertionError("no root")


@pytest.fixture
def in_tmp(tmp_path, monkeypatch) -> Path:
    """A scratch directory that is the working directory."""
    monkeypatch.chdir(tmp_path)
    return tmp_path
