"""velmora from Python: the static large-deformation equilibrium of a
hyperelastic solid meshed with 3-node triangles in plane strain, by the
solver of the velmora program.

A model comes from arrays (``Model``), from a model file (``read``) or from
a meshio mesh (``from_meshio``); ``solve`` finds its equilibrium and gives a
``Result`` of NumPy arrays, with the load path of Newton's method, which
writes the files of the command line (``Result.write``) or a meshio mesh
(``Result.to_meshio``). Failures are the exceptions under ``Error``, one per
failure name of the command line.

    >>> import numpy as np, velmora
    >>> model = velmora.Model([[0, 0], [1, 0], [0, 1]], [[0, 1, 2]],
    ...                       material=velmora.NeoHooke(mu=1, bulk=5))
    >>> model.fix([0, 2], "x").fix(0, "y").load(1, "x", 0.1)  # doctest: +ELLIPSIS
    <velmora.Model: 3 points, 1 triangles, ...>
    >>> velmora.solve(model).optimal
    True
"""

import atexit as _atexit

from . import _core
from . import _errors
from ._errors import *  # noqa: F401,F403  Error, one class per failure name, SolveWarning
from ._meshio import from_meshio
from ._model import Controls, Model, MooneyRivlin, NeoHooke, Points, read
from ._progress import Report
from ._result import LoadPath, Result
from ._solve import methods, solve

__version__: str = _core.version

__all__ = [
    "Model",
    "NeoHooke",
    "MooneyRivlin",
    "Controls",
    "Points",
    "read",
    "from_meshio",
    "solve",
    "methods",
    "Result",
    "LoadPath",
    "Report",
] + _errors.__all__

# A solve left by Ctrl-C ends at its next report; the interpreter waits for
# it before it exits.
_atexit.register(_core.join_left_solves)
