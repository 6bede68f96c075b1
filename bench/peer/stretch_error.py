#!/usr/bin/python3
"""Largest error of a velmora run of a stretched strip against the closed form.

usage: /usr/bin/python3 bench/peer/stretch_error.py INPUT.txt OUTPUT.txt

The strip of `velmora-mesh --stretch` (held in x at one end, one node of it
also in y, the other end moved in x) deforms homogeneously: node (x, y)
moves by ((l1 - 1) x, (l2 - 1) y) from the node held in both directions, l2
the lateral stretch that frees the sides (bisection on the lateral stress of
the model's material, velmora_model.lateral_stretch). Prints the largest
absolute displacement error over the nodes, then the errors in x and in y
and l2. output.txt prints 9 significant digits, so the figures include up to
half a unit of the last digit.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_model as vm  # noqa: E402

if len(sys.argv) != 3:
    sys.exit(__doc__.split("\n\n")[1])
model = vm.read_model(sys.argv[1])
exact, l1, l2 = vm.exact_stretch(model)
u = vm.read_displacements(sys.argv[2], len(model["nodes"]))
e, ex, ey = vm.largest_error(u, exact)
print(f"{e:.2e} x {ex:.2e} y {ey:.2e} l2 {l2:.12f}")
