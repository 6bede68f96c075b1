"""velmora.solve: the equilibrium of a model by a method of the command line."""

from __future__ import annotations

from collections.abc import Iterable
from typing import Optional

import numpy as np

from . import _core, _errors
from ._model import Model, Points
from ._progress import Progress, receiver
from ._result import Result

__all__ = ["solve", "methods"]


def methods() -> dict[str, str]:
    """The methods of ``solve`` with a line on each; a method this build
    lacks says what it needs."""
    return {name: (f"{what} (not in this build: needs {missing})" if missing else what)
            for name, what, missing in _core.methods()}


def _increments(increments: Optional[int]) -> int:
    if increments is None:
        return 0
    if isinstance(increments, bool) or not isinstance(increments, (int, np.integer)) or increments < 1:
        raise ValueError(f"increments must be a whole number of at least 1 (or None: adaptive), not {increments!r}")
    return int(increments)


def _follow(model: Model, follow: Points | Iterable[int] | None) -> list[int]:
    if follow is None:
        return []
    return [int(p) for p in model.select(follow)]


def solve(
    model: Model,
    method: str = "newton",
    *,
    increments: Optional[int] = None,
    path: str = "increments",
    follow: Optional[Points] = None,
    progress: Progress = False,
    eta: Optional[float] = None,
    search_limit: Optional[int] = None,
    tolerance: Optional[float] = None,
    reference_residue: Optional[float] = None,
    max_iterations: Optional[int] = None,
    memory: Optional[int] = None,
) -> Result:
    """The equilibrium of ``model``: the minimum of its total potential energy.

    method: ``"newton"`` (Newton's method on a sparse Cholesky factorisation,
    with load increments: for large meshes, large deformations and
    compression), or the quasi-Newton methods of the command line, ``"lbfgs"``
    (its default and algorithm of record), ``"mbfgs"``, ``"bfgs"``
    (``velmora.methods()`` lists them).

    increments: Newton's method applies the loads in this many equal
    increments (an increment that fails is halved); None: adaptive, the
    whole load first. The other methods take no increments.

    path: Newton's method follows the loads by ``"increments"`` of the load
    factor, or by ``"arclength"`` continuation, which goes on through limit
    points (a largest load the structure carries) and reports them in
    ``Result.load_path``; with ``increments`` the arcs start as that many
    equal parts of the loads.

    follow: points (indices, a mask or a point set name) whose displacements
    the load path gives at each increment.

    progress: True shows a progress bar on standard error (tqdm's, where it is
    installed); a function receives each iteration's ``velmora.Report``.

    eta, search_limit, tolerance, reference_residue, max_iterations, memory:
    the control values of "input.txt" for this solve; None takes the
    model's (``model.controls``: a model read from a file brings the file's).

    The GIL is released while the solve runs; Ctrl-C stops it with
    KeyboardInterrupt within a tenth of a second, as does an exception raised
    by a progress function, and the interpreter goes on. A failure of the
    command line is the velmora.Error of that name, with its message; the
    model is unchanged in every case. What the command line prints as
    warnings (elements turned over, a Newton run that is not optimal and
    why) is issued as velmora.SolveWarning and kept in ``Result.warnings``.
    """
    if not isinstance(model, Model):
        raise TypeError(f"solve takes a velmora.Model, not {type(model).__name__}")
    names = [name for name, _, _ in _core.methods()]
    if method not in names:
        raise ValueError(f"method must be one of {', '.join(names)}, not {method!r}")
    controls = model.controls.replace(eta=eta, search_limit=search_limit, tolerance=tolerance,
                                      reference_residue=reference_residue, max_iterations=max_iterations,
                                      memory=memory)
    steps = _increments(increments)
    if path not in ("increments", "arclength"):
        raise ValueError(f"path must be 'increments' or 'arclength', not {path!r}")
    if method != "newton" and (path != "increments" or steps != 0 or follow is not None):
        raise ValueError("increments, path and follow are options of method='newton'")
    followed = _follow(model, follow)
    solved = model.copy()
    solved.controls = controls
    on_report, close = receiver(progress, method, controls.max_iterations)
    try:
        # The reader's record of an unchanged model is taken, once.
        record, model._record = model._record, None
        solution = _core.solve(*solved._core_arguments(), controls.as_tuple(), method, steps, path == "arclength",
                                followed, on_report,
                               record)
    finally:
        if close is not None:
            close()
    result = Result(solved, method, solution)
    _errors.warn(result.warnings, stacklevel=2)
    return result
