#!/usr/bin/python3
"""Largest error of a velmora run of a stretched strip against the closed form.

usage: /usr/bin/python3 bench/peer/stretch_error.py INPUT.txt OUTPUT.txt

The strip of `velmora-mesh --stretch` (held in x at one end, one node of it
also in y, the other end moved in x) deforms homogeneously: node (x, y)
moves by ((l1 - 1) x, (l2 - 1) y) from the node held in both directions, l2
the lateral stretch that frees the sides (bisection on the lateral stress of
the model's material, velmora_model.lateral_stretch).

Prints one line: the largest absolute displacement error over the nodes as
read, then the same beyond the rounding of the report, then the errors in x
and in y as read, and l2:
    1.83e-08 beyond_rounding 1.78e-08 x 1.00e-08 y 1.83e-08 l2 0.839003050489
output.txt prints 9 significant digits: a value in [1, 10) is rounded by up
to 5e-9, one in [0.1, 1) by up to 5e-10. The error as read is therefore
uncertain by that much; the error beyond the rounding is a lower bound of the
error of the unrounded result (so above a limit it proves the limit missed).
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
beyond = vm.largest_error(u, exact, rounding=vm.print_rounding(u))[0]
print(f"{e:.2e} beyond_rounding {beyond:.2e} x {ex:.2e} y {ey:.2e} l2 {l2:.12f}")
