"""The model: points, triangles, material, supports, loads and controls."""

from __future__ import annotations

import dataclasses
import math
import os
from collections.abc import Iterable, Mapping
from typing import Any, ClassVar, Union

import numpy as np
import numpy.typing as npt

from . import _core

__all__ = ["NeoHooke", "MooneyRivlin", "Controls", "Model", "read", "Points"]

#: Points of a model: an index, indices, a boolean mask over the points, or
#: the name of a point set of the model.
Points = Union[int, str, Iterable[int], npt.ArrayLike]

_INT32 = 2**31 - 1
_AXES = "xyz"


def _real(name: str, value: Any) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    if not math.isfinite(value):
        raise ValueError(f"{name} must be finite, not {value}")
    return float(value)


def _whole(name: str, value: Any) -> int:
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}")
    if not -_INT32 - 1 <= value <= _INT32:
        raise ValueError(f"{name} must fit in 32 bits, not {value}")
    return int(value)


@dataclasses.dataclass(frozen=True)
class NeoHooke:
    """Neo-Hookean material (kind 1): W = mu/2 I1 J^(-2/3) + bulk/2 (J^2 - 2 J)."""

    mu: float
    bulk: float
    kind: ClassVar[int] = 1

    def __post_init__(self) -> None:
        for field in ("mu", "bulk"):
            object.__setattr__(self, field, _real(field, getattr(self, field)))

    @property
    def constants(self) -> tuple[float, float, float]:
        return (self.mu, self.bulk, 0.0)


@dataclasses.dataclass(frozen=True)
class MooneyRivlin:
    """Mooney-Rivlin material (kind 2):
    W = c10 I1 J^(-2/3) + c01 I2 J^(-4/3) + bulk/2 (J^2 - 2 J)."""

    c10: float
    c01: float
    bulk: float
    kind: ClassVar[int] = 2

    def __post_init__(self) -> None:
        for field in ("c10", "c01", "bulk"):
            object.__setattr__(self, field, _real(field, getattr(self, field)))

    @property
    def constants(self) -> tuple[float, float, float]:
        return (self.c10, self.c01, self.bulk)


Material = Union[NeoHooke, MooneyRivlin]


@dataclasses.dataclass(frozen=True)
class Controls:
    """The control values of "input.txt", with their names there.

    eta: slope factor of the line search's acceptance test; search_limit:
    interpolated trials per line search; tolerance: of the residue test,
    relative to reference_residue (0 or less: the residue at the start); a
    tolerance of 0 or less means 0.001, as in the file; max_iterations: the
    iteration limit (for Newton's method, of all its iterations together);
    memory: correction pairs that lbfgs keeps.
    """

    eta: float = 0.9
    search_limit: int = 20
    tolerance: float = 1e-8
    reference_residue: float = 0.0
    max_iterations: int = 10000
    memory: int = 7

    def __post_init__(self) -> None:
        for field in ("eta", "tolerance", "reference_residue"):
            object.__setattr__(self, field, _real(field, getattr(self, field)))
        for field in ("search_limit", "max_iterations", "memory"):
            object.__setattr__(self, field, _whole(field, getattr(self, field)))
        if not self.tolerance > 0:
            object.__setattr__(self, "tolerance", 0.001)

    def replace(self, **values: Any) -> Controls:
        """These controls with some values replaced (None keeps a value)."""
        return dataclasses.replace(self, **{k: v for k, v in values.items() if v is not None})

    def as_tuple(self) -> tuple[float, int, float, float, int, int]:
        return dataclasses.astuple(self)  # type: ignore[return-value]


def _frozen(a: np.ndarray) -> np.ndarray:
    a.flags.writeable = False
    return a


def _points_array(points: npt.ArrayLike) -> np.ndarray:
    p = np.asarray(points)
    if p.dtype.kind not in "iuf":
        raise ValueError(f"points must be an array of real numbers, not of {p.dtype}")
    if p.ndim != 2 or p.shape[1] not in (2, 3):
        raise ValueError(f"points must be an n x 2 or n x 3 array, not of shape {p.shape}")
    out = np.zeros((p.shape[0], 3))
    out[:, : p.shape[1]] = p
    bad = np.flatnonzero(~np.isfinite(out).all(axis=1))
    if bad.size:
        raise ValueError(f"point {bad[0]} has a coordinate that is not finite: {p[bad[0]].tolist()}")
    return out


def _triangles_array(triangles: npt.ArrayLike, n: int) -> np.ndarray:
    t = np.asarray(triangles)
    if t.dtype.kind not in "iu" and not (t.size == 0 and t.dtype.kind == "f"):
        raise ValueError(f"triangles must be an array of point indices (integers), not of {t.dtype}")
    if t.ndim != 2 or t.shape[1] != 3:
        raise ValueError(f"triangles must be an m x 3 array, not of shape {t.shape}")
    outside = np.flatnonzero(((t < 0) | (t >= n)).any(axis=1))
    if outside.size:
        row = t[outside[0]]
        bad = next(int(v) for v in row if not 0 <= v < n)
        raise ValueError(f"triangle {outside[0]} names point {bad}, outside 0..{n - 1}: {row.tolist()}")
    t = t.astype(np.int64)
    repeats = np.flatnonzero((t[:, 0] == t[:, 1]) | (t[:, 1] == t[:, 2]) | (t[:, 0] == t[:, 2]))
    if repeats.size:
        raise ValueError(f"triangle {repeats[0]} repeats a corner: {t[repeats[0]].tolist()}")
    return t


def _directions(direction: Any, several: bool) -> list[int]:
    what = "x, y or z" + (" or several of them, such as 'xy'" if several else "")
    if not isinstance(direction, str) or not direction:
        raise ValueError(f"direction must be {what}, not {direction!r}")
    columns = []
    for c in direction:
        if c not in _AXES or _AXES.index(c) in columns:
            raise ValueError(f"direction {direction!r}: {c!r} is not {what}" if c not in _AXES else
                             f"direction {direction!r} names {c!r} twice")
        columns.append(_AXES.index(c))
    if not several and len(columns) > 1:
        raise ValueError(f"direction must be one of x, y and z, not {direction!r}")
    return columns


class Model:
    """A model of velmora: a body meshed with 3-node triangles (plane
    strain), its material and thickness, supports, loads and controls.

    ``Model(points, triangles, material=..., thickness=1.0, controls=None)``
    takes points as an n x 2 or n x 3 array of coordinates and triangles as
    an m x 3 array of 0-based point indices, corners counter-clockwise. With
    n x 2 points the model is plane (z = 0) and every point is held in z.
    ``fix`` and ``load`` add supports and loads; they return the model.

    Arrays that do not describe a mesh are ValueError, naming the row. A
    model read from a file (``velmora.read``) is kept as the file gives it:
    what the command line finds wrong at set-up (a corner that names no node,
    an element without area) is the same failure from ``velmora.solve``.
    Failure messages count nodes and elements from 1, as the file does: node
    k is point k - 1, element k triangle k - 1.
    """

    def __init__(
        self,
        points: npt.ArrayLike,
        triangles: npt.ArrayLike,
        *,
        material: Material,
        thickness: float = 1.0,
        controls: Controls | None = None,
    ) -> None:
        p = _points_array(points)
        plane = np.asarray(points).shape[1] == 2
        t = _triangles_array(triangles, p.shape[0])
        if not isinstance(material, (NeoHooke, MooneyRivlin)):
            raise TypeError(f"material must be velmora.NeoHooke or velmora.MooneyRivlin, not {type(material).__name__}")
        fixed = np.zeros(p.shape, dtype=bool)
        fixed[:, 2] = plane
        self._set(p, t, fixed, np.zeros(p.shape), np.zeros(p.shape), material, material.kind,
                  _real("thickness", thickness), controls if controls is not None else Controls())

    def _set(self, points, triangles, fixed, prescribed, forces, material, kind, thickness, controls,
             point_sets=None) -> None:
        self._points = _frozen(points)
        self._triangles = _frozen(triangles)
        self._fixed = _frozen(fixed)
        self._prescribed = _frozen(prescribed)
        self._forces = _frozen(forces)
        self._material = material
        self._kind = kind
        self._thickness = thickness
        self.controls = controls
        self.point_sets: dict[str, np.ndarray] = dict(point_sets or {})
        # The reader's model record of these arrays, for the first solve;
        # dropped when the arrays change.
        self._record: Any = None

    @classmethod
    def _as_given(cls, points, triangles, fixed, prescribed, forces, material, kind, thickness, controls,
                  point_sets=None) -> Model:
        m = cls.__new__(cls)
        m._set(points, triangles, fixed, prescribed, forces, material, kind, thickness, controls, point_sets)
        return m

    # The arrays, read-only: fix and load replace them.
    @property
    def points(self) -> np.ndarray:
        """Initial coordinates, n x 3."""
        return self._points

    @property
    def triangles(self) -> np.ndarray:
        """Corners of each triangle, m x 3 point indices (int64)."""
        return self._triangles

    @property
    def fixed(self) -> np.ndarray:
        """n x 3 booleans: where a displacement is prescribed (x, y, z)."""
        return self._fixed

    @property
    def prescribed(self) -> np.ndarray:
        """n x 3 prescribed displacements (0 where none)."""
        return self._prescribed

    @property
    def forces(self) -> np.ndarray:
        """n x 3 nodal forces."""
        return self._forces

    @property
    def material(self) -> Material | None:
        """The material; None for a model file whose material kind is
        neither 1 nor 2 (``solve`` then raises MaterialError)."""
        return self._material

    @property
    def thickness(self) -> float:
        return self._thickness

    @property
    def controls(self) -> Controls:
        """Default control values of ``solve``."""
        return self._controls

    @controls.setter
    def controls(self, value: Controls) -> None:
        if not isinstance(value, Controls):
            raise TypeError(f"controls must be velmora.Controls, not {type(value).__name__}")
        self._controls = value

    def select(self, points: Points) -> np.ndarray:
        """The indices of ``points``: an index, indices, a boolean mask over
        the points, or the name of a point set."""
        n = self._points.shape[0]
        if isinstance(points, str):
            if points not in self.point_sets:
                raise ValueError(f"no point set named {points!r} (the model has {sorted(self.point_sets)})")
            return self.point_sets[points]
        p = np.asarray(points)
        if p.dtype == bool:
            if p.shape != (n,):
                raise ValueError(f"a mask of points must have one entry per point ({n}), not shape {p.shape}")
            return np.flatnonzero(p)
        p = np.atleast_1d(p)
        if p.ndim != 1 or (p.size and p.dtype.kind not in "iu"):
            raise ValueError(f"points must be indices, a mask or a point set name, not {points!r}")
        bad = np.flatnonzero((p < 0) | (p >= n))
        if bad.size:
            raise ValueError(f"point index {p[bad[0]]} (entry {bad[0]}) outside 0..{n - 1}")
        return p.astype(np.int64)

    @staticmethod
    def _values(value: Any, points: np.ndarray, columns: int, what: str) -> np.ndarray:
        rows = points.size
        v = np.asarray(value, dtype=float)
        if v.ndim == 1 and v.shape[0] == rows:
            v = v[:, None]
        try:
            v = np.broadcast_to(v, (rows, columns))
        except ValueError:
            raise ValueError(f"{what}: one value, one per point or one per point and direction, "
                             f"not shape {np.shape(value)}") from None
        bad = np.flatnonzero(~np.isfinite(v).all(axis=1))
        if bad.size:
            raise ValueError(f"{what} at point {points[bad[0]]} is not finite")
        return v

    def fix(self, points: Points, direction: str, value: Any = 0.0) -> Model:
        """Prescribes the displacement ``value`` at ``points`` in each of the
        directions (``"x"``, ``"y"``, ``"z"`` or several, ``"xy"``). value is
        one number, one per point or one per point and direction. A later
        support at the same point and direction replaces the earlier one."""
        rows = self.select(points)
        columns = _directions(direction, True)
        values = self._values(value, rows, len(columns), "prescribed displacement")
        fixed, prescribed = self._fixed.copy(), self._prescribed.copy()
        fixed[rows[:, None], columns] = True
        prescribed[rows[:, None], columns] = values
        self._fixed, self._prescribed = _frozen(fixed), _frozen(prescribed)
        self._record = None
        return self

    def load(self, points: Points, direction: str, force: Any) -> Model:
        """Applies the nodal ``force`` at ``points`` in one direction (``"x"``,
        ``"y"`` or ``"z"``): one number, or one per point. A later load at the
        same point and direction replaces the earlier one."""
        rows = self.select(points)
        columns = _directions(direction, False)
        values = self._values(force, rows, 1, "force")
        forces = self._forces.copy()
        forces[rows[:, None], columns] = values
        self._forces = _frozen(forces)
        self._record = None
        return self

    def copy(self) -> Model:
        """A model with the same values; changes to one leave the other."""
        m = Model._as_given(self._points, self._triangles, self._fixed, self._prescribed, self._forces,
                            self._material, self._kind, self._thickness, self._controls, self.point_sets)
        return m

    def _core_arguments(self) -> tuple:
        constants = self._material.constants if self._material is not None else (0.0, 0.0, 0.0)
        return (self._points, self._triangles, self._fixed.view(np.uint8), self._prescribed, self._forces,
                self._thickness, self._kind, constants)

    def write(self, path: str | os.PathLike[str]) -> None:
        """Writes the model as a model file ("input.txt") that the command
        line reads to the same model; every real is written in the shortest
        form that reads back to the same number. A file that cannot be
        written is velmora.UseError."""
        directory, name = os.path.split(os.fspath(path))
        _core.write_model(name, directory, *self._core_arguments(), self._controls.as_tuple())

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Model):
            return NotImplemented
        return (self._material == other._material and self._kind == other._kind
                and self._thickness == other._thickness and self._controls == other._controls
                and all(np.array_equal(a, b) for a, b in zip(self._arrays(), other._arrays())))

    __hash__ = None  # type: ignore[assignment]

    def _arrays(self) -> tuple[np.ndarray, ...]:
        return (self._points, self._triangles, self._fixed, self._prescribed, self._forces)

    def __repr__(self) -> str:
        material = repr(self._material) if self._material is not None else f"material kind {self._kind}"
        return (f"<velmora.Model: {self._points.shape[0]} points, {self._triangles.shape[0]} triangles, {material}, "
                f"{int(self._fixed.sum())} supports, {int(np.count_nonzero(self._forces))} loads>")

    def __getstate__(self) -> dict[str, Any]:
        return {"points": self._points, "triangles": self._triangles, "fixed": self._fixed,
                "prescribed": self._prescribed, "forces": self._forces, "material": self._material,
                "kind": self._kind, "thickness": self._thickness, "controls": self._controls,
                "point_sets": self.point_sets}

    def __setstate__(self, s: Mapping[str, Any]) -> None:
        self._set(s["points"], s["triangles"], s["fixed"], s["prescribed"], s["forces"], s["material"], s["kind"],
                  s["thickness"], s["controls"], s["point_sets"])


def read(path: str | os.PathLike[str]) -> Model:
    """Reads a model file ("input.txt") as the command line reads it: every
    number syntax, the same failures (velmora.Error), located by ``path``.
    Its control values become the model's controls. Until its first solve
    or change, the model also keeps what the reader built, which that solve
    takes instead of copying the arrays once more."""
    d = _core.read(os.fspath(path))
    kind = d["kind"]
    c = d["constants"]
    material = NeoHooke(c[0], c[1]) if kind == 1 else MooneyRivlin(*c) if kind == 2 else None
    controls = Controls(*d["controls"])
    model = Model._as_given(d["points"], d["triangles"], d["fixed"].view(bool), d["prescribed"], d["forces"],
                            material, kind, d["thickness"], controls)
    model._record = d["record"]
    return model
