"""The exceptions of velmora: one class per failure of the command line.

Every failure that ``velmora`` reports as ``raised NAME : message`` is an
exception of a subclass of :class:`Error`, whose ``name`` is ``NAME`` and
whose text is the message. Arrays that do not describe a model are
``ValueError``, as NumPy's own checks are.
"""

from __future__ import annotations

import warnings

__all__ = [
    "Error",
    "FileNameError",
    "EndError",
    "DataError",
    "RangeError",
    "MaterialError",
    "GeometryError",
    "UseError",
    "LineSearchFailure",
    "StorageError",
    "SolverError",
    "LapackError",
    "MethodError",
    "ProgramError",
    "SolveWarning",
]


class Error(Exception):
    """A failure of velmora: ``name`` is its name on the command line
    (``DATA_ERROR``, ...), ``message`` (and ``str()``) its message."""

    name: str = "ERROR"

    def __init__(self, message: str, name: str | None = None) -> None:
        super().__init__(message)
        if name is not None:
            self.name = name

    @property
    def message(self) -> str:
        """The message, as the command line prints it after the name."""
        return str(self.args[0]) if self.args else ""

    def __reduce__(self):  # pickles with its name, also for a name of no subclass
        return (failure, (self.name, self.message))


class FileNameError(Error):
    """NAME_ERROR: the model file is missing or cannot be read."""

    name = "NAME_ERROR"


class EndError(Error):
    """END_ERROR: the model file ends before a section, inside a record, or
    gives a count of records that the rest of it cannot hold."""

    name = "END_ERROR"


class DataError(Error):
    """DATA_ERROR: text where a number belongs, a number out of range, or a
    node or element number given twice."""

    name = "DATA_ERROR"


class RangeError(Error):
    """RANGE_ERROR: a node, element or direction number outside its range
    (in the file, or a corner that names no node)."""

    name = "RANGE_ERROR"


class MaterialError(Error):
    """MATERIAL_ERROR: the model file gave a material kind other than 1
    (neo-Hookean) and 2 (Mooney-Rivlin)."""

    name = "MATERIAL_ERROR"


class GeometryError(Error):
    """GEOMETRY_ERROR: an element without a finite, non-zero area."""

    name = "GEOMETRY_ERROR"


class UseError(Error):
    """USE_ERROR: a file cannot be created, written or closed."""

    name = "USE_ERROR"


class LineSearchFailure(Error):
    """NLP.HALT: no descent direction at the start (for example no loads and
    only zero prescribed displacements). The command line prints "Line
    Search Failure" on standard output; so does a solve here."""

    name = "NLP.HALT"


class StorageError(Error):
    """STORAGE_ERROR: out of memory, or more degrees of freedom than
    ``bfgs`` holds."""

    name = "STORAGE_ERROR"


class SolverError(Error):
    """SOLVER_ERROR: CHOLMOD reported an error other than out of memory."""

    name = "SOLVER_ERROR"


class LapackError(Error):
    """LAPACK_ERROR: LAPACK reported an error (Newton's method)."""

    name = "LAPACK_ERROR"


class MethodError(Error):
    """METHOD_ERROR: the method is not in this build (Newton's method
    without CHOLMOD); the message says what to install."""

    name = "METHOD_ERROR"


class ProgramError(Error):
    """PROGRAM_ERROR: a fault of velmora itself."""

    name = "PROGRAM_ERROR"


class SolveWarning(UserWarning):
    """What the command line prints as ``warning: ...`` after a solve:
    elements turned over, loads not followed to the end, and why a Newton
    run is not optimal."""


_by_name: dict[str, type[Error]] = {
    cls.name: cls
    for cls in (
        FileNameError,
        EndError,
        DataError,
        RangeError,
        MaterialError,
        GeometryError,
        UseError,
        LineSearchFailure,
        StorageError,
        SolverError,
        LapackError,
        MethodError,
        ProgramError,
    )
}


def failure(name: str, message: str) -> Error:
    """The exception of the failure ``name`` with ``message``."""
    cls = _by_name.get(name)
    return cls(message) if cls is not None else Error(message, name)


def warn(messages: list[str], stacklevel: int) -> None:
    for message in messages:
        warnings.warn(message, SolveWarning, stacklevel=stacklevel + 1)
