"""The result of a solve: NumPy arrays, figures, the load path and the files."""

from __future__ import annotations

import os
from typing import Any

import numpy as np

from . import _core
from ._model import Model


class LoadPath:
    """The equilibria a Newton run reached on its way to the full loads, one
    row per load increment (empty for the other methods):

    - ``increment``, ``load`` (the load fraction: every force and prescribed
      displacement times it), ``iterations``, ``energy``, ``residue``: one
      entry per row;
    - ``reaction``: rows x 3, the resultant in x, y, z of the reactions at
      the supports that move (a prescribed displacement other than 0);
      where none moves, at all supports, which balances the loads;
    - ``follow``: the indices of the points followed (``solve(...,
      follow=...)``), and ``displacement``: rows x len(follow) x 3, their
      displacements;
    - ``limit_increment``, ``limit_load``: one entry per limit point that
      arc-length continuation (``solve(..., path="arclength")``) passed, a
      largest load factor on the way: the increment of the row that pins it
      and its load factor (within 0.1 % below the maximum).
    """

    follow: np.ndarray
    increment: np.ndarray
    load: np.ndarray
    iterations: np.ndarray
    energy: np.ndarray
    residue: np.ndarray
    reaction: np.ndarray
    displacement: np.ndarray
    limit_increment: np.ndarray
    limit_load: np.ndarray

    _fields = ("follow", "increment", "load", "iterations", "energy", "residue", "reaction", "displacement",
               "limit_increment", "limit_load")

    def __init__(self, **arrays: np.ndarray) -> None:
        for field in self._fields:
            a = arrays[field]
            a.flags.writeable = False
            setattr(self, field, a)

    def __len__(self) -> int:
        return int(self.load.shape[0])

    def __repr__(self) -> str:
        return f"<velmora.LoadPath: {len(self)} rows, following {self.follow.tolist()}>"

    def __getstate__(self) -> dict[str, np.ndarray]:
        return {field: getattr(self, field) for field in self._fields}

    def __setstate__(self, state: dict[str, np.ndarray]) -> None:
        self.__init__(**state)


class Result:
    """What ``velmora.solve`` found. Arrays are read-only NumPy arrays:

    - ``displacement``, ``deformed`` (the deformed points), ``reactions``
      (support reactions, 0 in free directions): n x 3;
    - ``stresses``: m x 3, Sigma1, Sigma2 (the principal Cauchy stresses in
      the plane of each triangle, Sigma1 the larger) and Sigma3 (across it),
      as "output.txt" gives them;
    - ``energy``, ``iterations``, ``optimal`` (the verdict), ``load`` (the
      load fraction reached: 1 unless Newton's method stopped early),
      ``turned_over`` (elements turned over against their initial
      orientation), ``residue`` and ``allowable_residue``, ``evaluations``
      of the objective, ``warnings`` (what the command line prints as
      warnings), ``load_path``;
    - ``model``: the model solved, with the controls it was solved with;
      ``method``.

    ``write(directory)`` writes the command line's three files;
    ``to_meshio()`` gives a ``meshio.Mesh``. Results pickle.
    """

    def __init__(self, model: Model, method: str, solution: Any) -> None:
        self.model = model
        self.method = method
        self._solution = solution
        self.displacement: np.ndarray = _frozen(solution.displacement())
        self._deformed: np.ndarray | None = None
        self._reactions: np.ndarray | None = None
        self._stresses: np.ndarray | None = None
        self.energy: float = solution.energy
        self.iterations: int = solution.iterations
        self.optimal: bool = solution.optimal
        self.load: float = solution.load
        self.turned_over: int = solution.turned_over
        self.first_turned_over: int = solution.first_turned_over
        self.residue: float = solution.residue
        self.allowable_residue: float = solution.allowable_residue
        self.evaluations: int = solution.evaluations
        self.warnings: list[str] = list(solution.warnings)
        self.load_path = LoadPath(**solution.load_path())

    # Found when first asked for: one pass over the elements for both.
    @property
    def reactions(self) -> np.ndarray:
        """Support reactions, n x 3: the out-of-balance force in each
        prescribed direction (0 in free ones), as "output.txt" sums them."""
        if self._reactions is None:
            self._reactions = _frozen(self._solution.reactions())
        return self._reactions

    @property
    def stresses(self) -> np.ndarray:
        """Sigma1, Sigma2, Sigma3 of each triangle, m x 3, as "output.txt"
        gives them."""
        if self._stresses is None:
            self._stresses = _frozen(self._solution.stresses())
        return self._stresses

    @property
    def deformed(self) -> np.ndarray:
        """The deformed points, n x 3: initial coordinates plus displacements."""
        if self._deformed is None:
            self._deformed = _frozen(self.model.points + self.displacement)
        return self._deformed

    @property
    def verdict(self) -> str:
        """The verdict line of the command line: ``Minor =    28     Optimal``."""
        return f"Minor = {self.iterations:5d}     {'Optimal' if self.optimal else 'NOT Optimal'}"

    def write(self, directory: str | os.PathLike[str] = ".") -> None:
        """Writes "ansys.txt", "autocad.scr" and "output.txt" into directory,
        byte for byte as the command line writes them for the same model and
        method. A file that cannot be written is velmora.UseError."""
        d = os.fspath(directory)
        self._kept_solution().write("" if d in ("", ".") else d)

    def _kept_solution(self) -> Any:
        if self._solution is None:
            m = self.model
            self._solution = _core.restore(*m._core_arguments(), m.controls.as_tuple(), self.displacement,
                                           self.iterations, self.energy, self.optimal, self.load)
        return self._solution

    def to_meshio(self):
        """The result as a ``meshio.Mesh``: the initial points and the
        triangles, point data "displacement" and "reaction", cell data
        "sigma1", "sigma2", "sigma3" (the names of ``velmora-mesh export``),
        ready for meshio's writers (.vtu, .xdmf, ...)."""
        from ._meshio import result_mesh

        return result_mesh(self)

    def __repr__(self) -> str:
        return (f"<velmora.Result: {self.method}, {self.verdict}, energy {self.energy:.9g}, "
                f"load {self.load:g}>")

    def __getstate__(self) -> dict[str, Any]:
        state = dict(self.__dict__)
        state.update(_solution=None, _deformed=None, _reactions=self.reactions, _stresses=self.stresses)
        return state

    def __setstate__(self, state: dict[str, Any]) -> None:
        self.__dict__.update(state)
        for name in ("displacement", "_reactions", "_stresses"):
            getattr(self, name).flags.writeable = False


def _frozen(a: np.ndarray) -> np.ndarray:
    a.flags.writeable = False
    return a
