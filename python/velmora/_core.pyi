# Type hints of the C++ module velmora._core (python/core/module.cpp).
from typing import Any, Callable, Optional

import numpy as np

version: str

_Controls = tuple[float, int, float, float, int, int]
_Constants = tuple[float, float, float]

class ReadRecord: ...

class Solution:
    iterations: int
    energy: float
    optimal: bool
    load: float
    evaluations: int
    residue: float
    allowable_residue: float
    turned_over: int
    first_turned_over: int
    warnings: list[str]
    def displacement(self) -> np.ndarray: ...
    def reactions(self) -> np.ndarray: ...
    def stresses(self) -> np.ndarray: ...
    def load_path(self) -> dict[str, np.ndarray]: ...
    def write(self, directory: str) -> None: ...

def solve(
    points: np.ndarray,
    triangles: np.ndarray,
    fixed: np.ndarray,
    prescribed: np.ndarray,
    forces: np.ndarray,
    thickness: float,
    kind: int,
    constants: _Constants,
    controls: _Controls,
    method: str,
    increments: int,
    arc_length: bool,
    follow: list[int],
    on_report: Optional[Callable[..., Any]],
    record: Optional[ReadRecord] = None,
) -> Solution: ...
def restore(
    points: np.ndarray,
    triangles: np.ndarray,
    fixed: np.ndarray,
    prescribed: np.ndarray,
    forces: np.ndarray,
    thickness: float,
    kind: int,
    constants: _Constants,
    controls: _Controls,
    displacement: np.ndarray,
    iterations: int,
    energy: float,
    optimal: bool,
    load: float,
) -> Solution: ...
def read(path: str) -> dict[str, Any]: ...
def write_model(
    name: str,
    directory: str,
    points: np.ndarray,
    triangles: np.ndarray,
    fixed: np.ndarray,
    prescribed: np.ndarray,
    forces: np.ndarray,
    thickness: float,
    kind: int,
    constants: _Constants,
    controls: _Controls,
) -> None: ...
def methods() -> list[tuple[str, str, str]]: ...
def join_left_solves() -> None: ...
