"""meshio in and out: a model from a ``meshio.Mesh``, a result as one."""

from __future__ import annotations

from typing import TYPE_CHECKING, Any

import numpy as np

from ._model import Controls, Material, Model

if TYPE_CHECKING:
    import meshio

    from ._result import Result

# Cells that name points for supports and loads; every other kind but
# "triangle" is refused.
_SET_CELLS = {"vertex": 0, "line": 1}


def _point_sets(mesh: Any) -> dict[str, np.ndarray]:
    """Every named group of points: point sets, cell sets, and gmsh's
    physical groups (by their tags) where the reader made no cell sets."""
    sets: dict[str, set[int]] = {}
    for name, points in (mesh.point_sets or {}).items():
        p = np.asarray(points)
        sets.setdefault(name, set()).update((np.flatnonzero(p) if p.dtype == bool else p.ravel()).tolist())
    for name, blocks in (mesh.cell_sets or {}).items():
        if name.startswith("gmsh:"):
            continue
        for block, members in zip(mesh.cells, blocks):
            if members is not None and len(members):
                sets.setdefault(name, set()).update(np.asarray(block.data)[np.asarray(members)].ravel().tolist())
    physical = (mesh.cell_data or {}).get("gmsh:physical")
    if physical is not None:
        for name, (tag, dim) in (mesh.field_data or {}).items():
            if name in sets:
                continue
            for block, tags in zip(mesh.cells, physical):
                if block.dim == dim:
                    chosen = np.asarray(tags) == tag
                    if chosen.any():
                        sets.setdefault(name, set()).update(np.asarray(block.data)[chosen].ravel().tolist())
    return {name: np.array(sorted(points), dtype=np.int64) for name, points in sets.items()}


def from_meshio(
    mesh: meshio.Mesh,
    *,
    material: Material,
    thickness: float = 1.0,
    controls: Controls | None = None,
    hold_z: bool = True,
) -> Model:
    """A model from a ``meshio.Mesh`` (for example ``meshio.read("plate.msh")``).

    The body is every "triangle" cell block; "vertex" and "line" cells only
    name points. Points that no triangle uses are left out, and the others
    keep their order, so point k of the model is the k-th used point of the
    mesh (the mesh's own numbering where every point is used). Point sets,
    cell sets and gmsh's physical groups become the model's ``point_sets``
    by name, for ``fix`` and ``load``: ``model.fix("left", "xy")``. With
    ``hold_z`` (the default), a mesh in a plane z = constant is held in z
    at every point. Cells of other kinds (quadrilaterals, 6-node triangles,
    volumes) are ValueError.
    """
    blocks = [b for b in mesh.cells if b.type == "triangle"]
    others = sorted({b.type for b in mesh.cells if b.type != "triangle" and b.type not in _SET_CELLS})
    if others:
        raise ValueError(f"velmora takes 3-node triangles; the mesh also has {', '.join(others)} cells")
    if not blocks:
        raise ValueError("the mesh has no triangle cells")
    triangles = np.concatenate([np.asarray(b.data, dtype=np.int64) for b in blocks])
    points = np.asarray(mesh.points, dtype=float)
    used = np.unique(triangles)
    number = np.full(points.shape[0], -1, dtype=np.int64)
    number[used] = np.arange(used.size)
    sets = {}
    for name, members in _point_sets(mesh).items():
        kept = number[members[(members >= 0) & (members < points.shape[0])]]
        sets[name] = kept[kept >= 0]
    model = Model(points[used], number[triangles], material=material, thickness=thickness, controls=controls)
    model.point_sets.update(sets)
    z = model.points[:, 2]
    if hold_z and z.size and np.all(z == z[0]):
        model.fix(np.arange(z.size), "z")
    return model


def result_mesh(result: Result) -> meshio.Mesh:
    import meshio

    s = result.stresses
    return meshio.Mesh(
        points=result.model.points,
        cells=[("triangle", result.model.triangles)],
        point_data={"displacement": result.displacement, "reaction": result.reactions},
        cell_data={"sigma1": [s[:, 0]], "sigma2": [s[:, 1]], "sigma3": [s[:, 2]]},
    )
