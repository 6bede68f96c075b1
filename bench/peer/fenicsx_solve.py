#!/usr/bin/python3
"""Solve a velmora model with FEniCSx (dolfinx 0.5, PETSc SNES, MUMPS).

usage: /usr/bin/python3 bench/peer/fenicsx_solve.py INPUT.txt [--tolerance T]
           [--repeat N] [--ordering amd,pord] [--line-search basic|bt|...]
           [--jit-flags FLAGS] [--against OUTPUT.txt] [--exact-stretch]
           [--quiet] [-- PETSC OPTIONS...]

example: cd DIR_OF_A_VELMORA_RUN &&
         /usr/bin/python3 .../bench/peer/fenicsx_solve.py input.txt --repeat 3 \
             --exact-stretch --against output.txt

Debian's dolfinx lives in /usr/bin/python3's packages (python3-dolfinx);
another python3 earlier on PATH will not find it. Run it as one process,
without an MPI launcher.

The same problem as velmora: the mesh of INPUT.txt as P1 triangles (the
nodes' x and y; every z must be held, so the plane-strain stretch across
the plane is 1), the same energy per unit initial volume times the thickness
(velmora/mechanics/element_kernel.hpp)

    neo-Hookean    W = mu/2 i1/s + bulk/2 (i3 - 2 J)
    Mooney-Rivlin  W = (c10 i1 + c01/2 (i1^2 - tr C^2)/s)/s + bulk/2 (i3 - 2 J)

with C = F^T F, C33 = 1, i1 = tr C, i3 = det C = J^2 and s = i3^(1/3), one
quadrature point per triangle (the integrand is constant on a P1 triangle,
so the rule is exact), the prescribed displacements as Dirichlet conditions
on single degrees of freedom, the nodal forces added to the residual at
their degrees of freedom.

Newton: PETSc SNES newtonls with full steps (line search basic; PETSc's
default bt, which backtracks on the norm of the residual, crawls on the
cantilever of bench/peer/compare.sh), each step a MUMPS LDL^T factorisation
(-pc_type cholesky -pc_factor_mat_solver_type mumps, symmetric indefinite
mode). The orderings of --ordering are tried in turn (Debian's MUMPS 5.5 has
AMD, AMF, QAMD and PORD, no METIS or SCOTCH); a -mat_mumps_icntl_7 after
"--" replaces them. The iteration starts from zero displacement with the
prescribed values lifted into the first step, as dolfinx's own Newton
solver does. PETSc options after "--" (-log_view, -ksp_view, ...) apply.

Stopping test, velmora's: the largest absolute out-of-balance nodal force at
a free degree of freedom is at most tolerance x reference, the reference
being the model's reference_residue when positive, else the same largest
force at velmora's start point (prescribed displacements in place, zero
elsewhere). The tolerance is the model's unless --tolerance is given; the
iteration limit is the model's max_iterations. It is a SNES convergence test
on the residual vector, and it also asks that every prescribed displacement
has reached its value.

What is timed: "solve" is the SNES solve call alone (assemblies, MUMPS
analysis and factorisations, line search), from zero each time; with
--repeat N it is done N times per ordering, alternating, each with a new
SNES (and so a new MUMPS analysis), and the least is reported with its
ordering. The displacements judged are those of the last solve. "setup" is everything before it:
reading the model, the mesh, the function space, the forms and their JIT
compilation (cached in ~/.cache/fenics after the first run), the matrix and
vectors, and the one residual at the start point that gives the reference.

Output: one line on standard output, key=value pairs:
    fenicsx model=... elements=... dofs=... iterations=... reason=...
    solve=S (the least) ordering=O solves=O1:S1,O2:S2,... setup=S
    residue=R (at the end) allowable=A
    [error_exact=E error_exact_x=... error_exact_y=... l2=...]
    [error_velmora=E]
and, unless --quiet, a few lines of detail on standard error.

--against OUTPUT.txt  the largest difference from the nodal displacements of
                      a velmora run (its report prints 9 significant digits,
                      so differences below a few 1e-9 are rounding)
--exact-stretch       the largest difference from the closed-form homogeneous
                      stretch of a strip pulled at one end (velmora-mesh
                      --stretch): node (x, y) moves by ((l1 - 1) x, (l2 - 1) y),
                      l2 found by bisection on the lateral stress
"""

import argparse
import os
import resource
import sys
import time

t_begin = time.perf_counter()

import numpy as np  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import velmora_model as vm  # noqa: E402


def parse_arguments():
    argv = sys.argv[1:]
    petsc_options = []
    if "--" in argv:
        k = argv.index("--")
        argv, petsc_options = argv[:k], argv[k + 1:]
    p = argparse.ArgumentParser(description="Solve a velmora model with FEniCSx (SNES Newton, MUMPS).")
    p.add_argument("input", help="velmora model file (input.txt)")
    p.add_argument("--tolerance", type=float, help="relative tolerance instead of the model's")
    p.add_argument("--repeat", type=int, default=1, help="solves from zero, the least time reported (default 1)")
    p.add_argument("--line-search", default="basic",
                   help="SNES line search: basic (full Newton steps, the default), bt, l2, cp")
    p.add_argument("--ordering", default="amd,pord",
                   help="MUMPS orderings (ICNTL(7)) to try, comma-separated: amd, amf, pord, qamd, auto "
                        "(MUMPS's choice); each is solved --repeat times, in turn (default amd,pord)")
    p.add_argument("--jit-flags", help="C compiler flags of the form compilation instead of dolfinx's -O2 -g0")
    p.add_argument("--against", metavar="OUTPUT", help="velmora's output.txt to compare the displacements with")
    p.add_argument("--exact-stretch", action="store_true", help="compare with the closed-form stretch of a strip")
    p.add_argument("--quiet", action="store_true", help="only the result line")
    args = p.parse_args(argv)
    return args, petsc_options


args, petsc_options = parse_arguments()

import petsc4py  # noqa: E402

petsc4py.init([sys.argv[0]] + petsc_options)
from mpi4py import MPI  # noqa: E402
from petsc4py import PETSc  # noqa: E402

import ufl  # noqa: E402
from dolfinx import fem  # noqa: E402
from dolfinx import mesh as dmesh  # noqa: E402
from dolfinx.fem.petsc import (apply_lifting, assemble_matrix, assemble_vector, create_matrix,  # noqa: E402
                               create_vector, set_bc)


if args.quiet:
    import logging

    logging.disable(logging.INFO)  # the JIT compiler's INFO lines (distutils resets the root level)


def note(text):
    if not args.quiet:
        print(text, file=sys.stderr, flush=True)


comm = MPI.COMM_WORLD
if comm.size != 1:
    sys.exit("fenicsx_solve.py runs as one process (no MPI launcher)")

# ---- the model -------------------------------------------------------------
model = vm.read_model(args.input)
nodes, elements = model["nodes"], model["elements"]
tolerance = args.tolerance if args.tolerance is not None else model["tolerance"]
if tolerance <= 0:
    tolerance = 1e-3

held_z = {node for (node, d), v in model["supports"].items() if d == 2 and v == 0.0}
used = np.unique(elements)
if not np.all(nodes[used, 2] == nodes[used[0], 2]) or len(held_z.intersection(used.tolist())) != used.size:
    sys.exit("fenicsx_solve.py: the model must lie in a plane z = const with every z held (plane strain)")
if any(v != 0.0 for (node, d), v in model["supports"].items() if d == 2):
    sys.exit("fenicsx_solve.py: a z displacement is prescribed; only plane models are handled")

# ---- mesh, space, energy ------------------------------------------------------
domain = ufl.Mesh(ufl.VectorElement("Lagrange", ufl.triangle, 1))
msh = dmesh.create_mesh(comm, elements, nodes[:, :2].copy(), domain)
V = fem.VectorFunctionSpace(msh, ("Lagrange", 1))
bs = V.dofmap.index_map_bs
n_blocks = V.dofmap.index_map.size_local
# The P1 dofs and the P1 geometry share the local vertex order of a cell,
# so the two cell lists map each block of dofs to an input node.
node_of_block = np.full(n_blocks, -1, dtype=np.int64)
node_of_block[V.dofmap.list.array] = np.asarray(msh.geometry.input_global_indices)[msh.geometry.dofmap.array]
block_of_node = np.full(len(nodes), -1, dtype=np.int64)
block_of_node[node_of_block] = np.arange(n_blocks)

u = fem.Function(V)
v = ufl.TestFunction(V)
du = ufl.TrialFunction(V)
F = ufl.Identity(2) + ufl.grad(u)
C = F.T * F
J = ufl.det(F)
i3 = J * J
i1 = ufl.tr(C) + 1.0
s = i3 ** (1.0 / 3.0)
constants = model["constants"]
if model["kind"] == 1:
    mu, bulk = constants
    W = 0.5 * mu * i1 / s + 0.5 * bulk * (i3 - 2.0 * J)
else:
    c10, c01, bulk = constants
    trace_c2 = ufl.tr(C * C) + 1.0
    W = (c10 * i1 + 0.5 * c01 * (i1 * i1 - trace_c2) / s) / s + 0.5 * bulk * (i3 - 2.0 * J)
dx = ufl.dx(metadata={"quadrature_degree": 1})
energy = model["thickness"] * W * dx
jit = {"cffi_extra_compile_args": args.jit_flags.split()} if args.jit_flags else {}
residual_form = fem.form(ufl.derivative(energy, u, v), jit_params=jit)
tangent_form = fem.form(ufl.derivative(ufl.derivative(energy, u, v), u, du), jit_params=jit)

# ---- supports and loads --------------------------------------------------------
bcs = []
bc_dofs, bc_values = [], []
for component in range(2):
    items = sorted((node, value) for (node, d), value in model["supports"].items() if d == component)
    items = [(node, value) for node, value in items if block_of_node[node] >= 0]
    if not items:
        continue
    Vc, parent_of_collapsed = V.sub(component).collapse()
    parent_of_collapsed = np.asarray(parent_of_collapsed)
    collapsed_of_parent = np.full(bs * n_blocks, -1, dtype=np.int32)
    collapsed_of_parent[parent_of_collapsed] = np.arange(parent_of_collapsed.size, dtype=np.int32)
    parent = np.array([bs * block_of_node[node] + component for node, _ in items], dtype=np.int32)
    values = np.array([value for _, value in items])
    order = np.argsort(parent)
    parent, values = parent[order], values[order]
    g = fem.Function(Vc)
    g.x.array[collapsed_of_parent[parent]] = values
    bcs.append(fem.dirichletbc(g, [parent, collapsed_of_parent[parent]], V.sub(component)))
    bc_dofs.append(parent)
    bc_values.append(values)
bc_dofs = np.concatenate(bc_dofs) if bc_dofs else np.zeros(0, dtype=np.int32)
bc_values = np.concatenate(bc_values) if bc_values else np.zeros(0)
free = np.ones(bs * n_blocks, dtype=bool)
free[bc_dofs] = False
free_dofs = np.flatnonzero(free)

load_dofs, load_values = [], []
for (node, d), value in model["loads"].items():
    if d < 2 and value != 0.0:
        if block_of_node[node] < 0:
            sys.exit(f"fenicsx_solve.py: node {node + 1} carries a load but belongs to no element")
        load_dofs.append(bs * block_of_node[node] + d)
        load_values.append(value)
load_dofs = np.array(load_dofs, dtype=np.int64)
load_values = np.array(load_values)


class Problem:
    """Residual and tangent for SNES, and velmora's stopping test."""

    def __init__(self):
        self.A = create_matrix(tangent_form)
        self.A.setOption(PETSc.Mat.Option.SYMMETRIC, True)
        self.b = create_vector(residual_form)
        self.allowable = np.inf
        self.history = []

    def residual(self, snes, x, b):
        x.copy(u.vector)
        with b.localForm() as b_local:
            b_local.set(0.0)
        assemble_vector(b, residual_form)
        b.array[load_dofs] -= load_values  # nodal forces: out-of-balance = internal - external
        apply_lifting(b, [tangent_form], bcs=[bcs], x0=[x], scale=-1.0)
        set_bc(b, bcs, x, -1.0)

    def tangent(self, snes, x, A, P):
        A.zeroEntries()
        assemble_matrix(A, tangent_form, bcs=bcs)
        A.assemble()

    def free_residue(self, b):
        return float(np.max(np.abs(b.array[free_dofs]))) if free_dofs.size else 0.0

    def converged(self, snes, it, norms):
        b = snes.getFunction()[0]
        x = snes.getSolution()
        residue = self.free_residue(b)
        offset = float(np.max(np.abs(x.array[bc_dofs] - bc_values))) if bc_dofs.size else 0.0
        self.history.append((it, residue, offset))
        if not np.isfinite(residue):
            return PETSc.SNES.ConvergedReason.DIVERGED_FNORM_NAN
        if residue <= self.allowable and offset <= 1e-14 * max(1.0, float(np.max(np.abs(bc_values), initial=0.0))):
            return PETSc.SNES.ConvergedReason.CONVERGED_FNORM_ABS
        return PETSc.SNES.ConvergedReason.ITERATING

    def reference_residue(self):
        """The largest out-of-balance force at a free dof at velmora's start point."""
        x = u.vector.copy()
        x.set(0.0)
        x.array[bc_dofs] = bc_values
        b = self.b.duplicate()
        with b.localForm() as b_local:
            b_local.set(0.0)
        x.copy(u.vector)
        assemble_vector(b, residual_form)
        b.array[load_dofs] -= load_values
        return self.free_residue(b)


problem = Problem()
if model["reference_residue"] > 0:
    reference = model["reference_residue"]
else:
    reference = problem.reference_residue()
problem.allowable = tolerance * reference
setup = time.perf_counter() - t_begin


options = PETSc.Options()
if not options.hasName("snes_linesearch_type"):
    options["snes_linesearch_type"] = args.line_search
line_search = options.getString("snes_linesearch_type")
ICNTL7 = {"amd": 0, "amf": 2, "pord": 4, "qamd": 6, "auto": 7}
orderings = args.ordering.split(",")
if any(name not in ICNTL7 for name in orderings):
    sys.exit(f"fenicsx_solve.py: --ordering takes {', '.join(ICNTL7)}")
if options.hasName("mat_mumps_icntl_7"):  # given after "--": that one only
    orderings = [f"icntl7={options.getInt('mat_mumps_icntl_7')}"]


def new_snes():
    snes = PETSc.SNES().create(comm)
    snes.setType("newtonls")
    snes.setFunction(problem.residual, problem.b)
    snes.setJacobian(problem.tangent, problem.A)
    snes.setConvergenceTest(problem.converged)
    snes.setTolerances(max_it=model["max_iterations"])
    ksp = snes.getKSP()
    ksp.setType("preonly")
    pc = ksp.getPC()
    pc.setType("cholesky")
    pc.setFactorSolverType("mumps")
    snes.setFromOptions()  # PETSc options after "--" may change any of it
    return snes


MUMPS_ORDERING = {0: "AMD", 1: "user", 2: "AMF", 3: "SCOTCH", 4: "PORD", 5: "METIS", 6: "QAMD"}
solves = []  # (seconds, ordering)
used_orderings = {}  # ordering asked -> (ordering used, entries of the factor)
for repeat in range(max(1, args.repeat)):
    for ordering in orderings:
        if ordering in ICNTL7:
            options["mat_mumps_icntl_7"] = ICNTL7[ordering]
        problem.history = []
        u.x.array[:] = 0.0
        x = u.vector.copy()
        snes = new_snes()
        t0 = time.perf_counter()
        snes.solve(None, x)
        solves.append((time.perf_counter() - t0, ordering))
        x.copy(u.vector)
        iterations = snes.getIterationNumber()
        reason = snes.getConvergedReason()
        if ordering not in used_orderings:
            try:
                factor = snes.getKSP().getPC().getFactorMatrix()
                used_orderings[ordering] = (MUMPS_ORDERING.get(factor.getMumpsInfog(7), "?"),
                                            factor.getMumpsInfog(29))
            except Exception:  # noqa: BLE001 - only for the note
                used_orderings[ordering] = ("?", "?")
        snes.destroy()
        x.destroy()
        note(f"  solve {len(solves)} ({ordering}): {solves[-1][0]:.3f} s, {iterations} iterations, reason {reason}")
        if reason <= 0:
            break
    if reason <= 0:
        break
best_time, best_ordering = min(solves)

reasons = {v_: k for k, v_ in vars(PETSc.SNES.ConvergedReason).items() if k.isupper()}
last_residue = problem.history[-1][1] if problem.history else float("nan")
shown = problem.history if len(problem.history) <= 12 else problem.history[:6] + [None] + problem.history[-5:]
for item in shown:
    if item is None:
        note("  ...")
        continue
    it, residue, offset = item
    note(f"  iteration {it}: residue {residue:.3e} (allowable {problem.allowable:.3e}), "
         f"prescribed values off by {offset:.1e}")
note(f"  reference residue {reference:.6e}, tolerance {tolerance:g}; MUMPS orderings "
     + ", ".join(f"{k}: {v[0]} with {v[1]} factor entries" for k, v in used_orderings.items())
     + f"; line search {line_search}; peak memory "
     f"{resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024:.0f} MB; "
     f"OPENBLAS_NUM_THREADS={os.environ.get('OPENBLAS_NUM_THREADS', 'unset')} "
     f"OMP_NUM_THREADS={os.environ.get('OMP_NUM_THREADS', 'unset')}")

# ---- the answer against references -----------------------------------------
displacement = np.full((len(nodes), 2), np.nan)
displacement[node_of_block] = u.x.array.reshape(-1, bs)[:, :2]
fields = [
    "fenicsx", f"model={args.input}", f"elements={len(elements)}", f"dofs={free_dofs.size}",
    f"iterations={iterations}", f"reason={reasons.get(reason, reason)}",
    f"solve={best_time:.3f}", f"ordering={best_ordering}",
    "solves=" + ",".join(f"{o}:{t:.3f}" for t, o in solves), f"setup={setup:.2f}",
    f"residue={last_residue:.3e}", f"allowable={problem.allowable:.3e}",
]
if args.exact_stretch:
    exact, l1, l2 = vm.exact_stretch(model)
    e, ex, ey = vm.largest_error(displacement, exact, used)
    fields += [f"error_exact={e:.2e}", f"error_exact_x={ex:.2e}", f"error_exact_y={ey:.2e}", f"l2={l2:.12f}"]
if args.against:
    theirs = vm.read_displacements(args.against, len(nodes))
    e, _, _ = vm.largest_error(displacement, theirs, used)
    fields.append(f"error_velmora={e:.2e}")
print(" ".join(fields), flush=True)
sys.exit(0 if reason > 0 else 1)
