"""Progress of a solve: the report of each iteration, and a progress bar."""

from __future__ import annotations

import sys
import time
from typing import Callable, NamedTuple, Optional, Union


class Report(NamedTuple):
    """What a method reports after each iteration."""

    iteration: int  #: iterations (line searches, or Newton iterations) so far
    energy: float  #: total potential energy at the current point
    residue: float  #: largest out-of-balance force at a free direction
    allowable: float  #: the allowable residue of the stopping test
    step: float  #: accepted line-search step (0 where the method does not track it)
    increment: int  #: load increment (newton), else 0
    load: float  #: load fraction aimed at (newton), else 1


Progress = Union[bool, None, Callable[[Report], object]]


class _Bar:
    """A bar over the iteration limit, with the energy, the residue against
    the allowable one and (Newton) the load; tqdm's where it is installed,
    else one line on standard error rewritten at most five times a second."""

    interval = 0.2

    def __init__(self, method: str, limit: int) -> None:
        self.last: Optional[Report] = None
        self.shown = 0.0
        try:
            from tqdm import tqdm
        except ImportError:
            self.bar = None
        else:
            self.bar = tqdm(total=limit, desc=f"velmora {method}", unit="it", mininterval=self.interval,
                            dynamic_ncols=True, leave=True)
        self.start = time.monotonic()

    @staticmethod
    def _fields(r: Report) -> str:
        text = f"energy {r.energy:.6g}  residue {r.residue:.1e} {'>' if r.residue > r.allowable else '<='} " \
               f"{r.allowable:.1e}"
        return text + (f"  load {r.load:.4g}" if r.increment else "")

    def __call__(self, r: Report) -> None:
        self.last = r
        now = time.monotonic()
        if now - self.shown < self.interval:
            return
        self.shown = now
        self._show(r)

    def _show(self, r: Report) -> None:
        if self.bar is not None:
            self.bar.set_postfix_str(self._fields(r), refresh=False)
            self.bar.update(r.iteration - self.bar.n)
        else:
            elapsed = time.monotonic() - self.start
            sys.stderr.write(f"\riteration {r.iteration}  {self._fields(r)}  {elapsed:.1f} s")
            sys.stderr.flush()

    def close(self) -> None:
        if self.last is not None:
            self._show(self.last)
        if self.bar is not None:
            self.bar.close()
        elif self.last is not None:
            sys.stderr.write("\n")


def receiver(progress: Progress, method: str, limit: int):
    """The function that takes each report, and what closes it at the end."""
    if progress is None or progress is False:
        return None, None
    if progress is True:
        bar = _Bar(method, limit)
        return (lambda *fields: bar(Report(*fields))), bar.close
    if callable(progress):
        return (lambda *fields: progress(Report(*fields))), None
    raise TypeError(f"progress must be True, False or a function of a velmora.Report, not {progress!r}")
