"""meshio in and out: a gmsh mesh with physical groups and a mesh with
point sets become models, and results become meshes that meshio's writers
take and its readers give back."""

import meshio
import numpy as np
import pytest

import velmora
from conftest import Stretch

# A unit square of two triangles in gmsh's format 2.2, with the physical
# curves "left" and "right", the physical surface "body" and a node (5)
# that no triangle uses.
SQUARE_MSH = """$MeshFormat
2.2 0 8
$EndMeshFormat
$PhysicalNames
3
1 1 "left"
1 2 "right"
2 3 "body"
$EndPhysicalNames
$Nodes
5
1 0 0 0
2 1 0 0
3 1 1 0
4 0 1 0
5 0.5 0.5 3
$EndNodes
$Elements
4
1 1 2 1 1 4 1
2 1 2 2 2 2 3
3 2 2 3 1 1 2 3
4 2 2 3 1 1 3 4
$EndElements
"""


def test_gmsh_groups_become_point_sets_and_the_stretch_is_exact(tmp_path):
    (tmp_path / "square.msh").write_text(SQUARE_MSH)
    mesh = meshio.read(tmp_path / "square.msh")
    material = velmora.NeoHooke(mu=1, bulk=5)
    model = velmora.from_meshio(mesh, material=material, controls=velmora.Controls(tolerance=1e-12))
    assert model.points.shape == (4, 3) and model.fixed[:, 2].all()  # node 5 left out; plane, held in z
    assert {k: v.tolist() for k, v in model.point_sets.items()} == {"left": [0, 3], "right": [1, 2],
                                                                      "body": [0, 1, 2, 3]}
    model.fix("left", "x").fix(0, "y").load("right", "x", 0.25)
    result = velmora.solve(model)
    l1, l2 = Stretch(material).under_force(0.5)
    np.testing.assert_allclose(result.deformed[:, :2], model.points[:, :2] * [l1, l2], rtol=0, atol=1e-12)


def test_point_sets_cells_that_only_name_points_and_refusals():
    points = np.array([[0, 0, 1], [1, 0, 1], [1, 1, 1.5], [0, 1, 1]])
    mesh = meshio.Mesh(points, [("triangle", [[0, 1, 2]]), ("line", [[1, 2]]), ("vertex", [[0]])],
                       point_sets={"corner": np.array([2])}, cell_sets={"edge": [[], [0], []]})
    model = velmora.from_meshio(mesh, material=velmora.NeoHooke(1, 5))
    assert model.points.shape == (3, 3) and not model.fixed.any()  # point 3 left out; not plane
    assert {k: v.tolist() for k, v in model.point_sets.items()} == {"corner": [2], "edge": [1, 2]}
    with pytest.raises(ValueError, match="velmora takes 3-node triangles; the mesh also has quad cells"):
        velmora.from_meshio(meshio.Mesh(points, [("quad", [[0, 1, 2, 3]])]), material=velmora.NeoHooke(1, 5))


@pytest.mark.parametrize("suffix", [".vtu", ".xdmf"])
def test_result_through_meshio_writers(suffix, tmp_path):
    model = velmora.read(__import__("conftest").SOURCE / "examples/strip/input.txt")
    result = velmora.solve(model, "lbfgs")
    result.to_meshio().write(tmp_path / f"result{suffix}")
    back = meshio.read(tmp_path / f"result{suffix}")
    np.testing.assert_array_equal(back.points, model.points)
    np.testing.assert_array_equal(back.cells_dict["triangle"], model.triangles)
    np.testing.assert_array_equal(back.point_data["displacement"], result.displacement)
    np.testing.assert_array_equal(back.point_data["reaction"], result.reactions)
    for k in range(3):
        np.testing.assert_array_equal(back.cell_data[f"sigma{k + 1}"][0], result.stresses[:, k])
