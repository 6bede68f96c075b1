"""Solves in threads: two at once give exactly what they give one after
the other, and neither holds the GIL while it works."""

import ctypes
import threading
import time

import numpy as np

import velmora
from conftest import strip


def models():
    neo = strip(60, 20, 3.0, 1.0, velmora.NeoHooke(1, 5), tolerance=1e-10)
    neo.fix(neo.points[:, 0] == 3, "x", 0.6)
    mr = strip(40, 10, 4.0, 1.0, velmora.MooneyRivlin(0.4, 0.1, 10), tolerance=1e-6, max_iterations=50000)
    mr.load(mr.points[:, 0] == 4, "y", -2e-4)
    return [(neo, "newton", {"increments": 3, "follow": [5]}), (mr, "lbfgs", {}), (neo, "mbfgs", {})]


def same(a, b):
    return (a.iterations == b.iterations and a.energy == b.energy and a.optimal == b.optimal
            and all(np.array_equal(getattr(a, n), getattr(b, n)) for n in ("displacement", "stresses", "reactions"))
            and np.array_equal(a.load_path.displacement, b.load_path.displacement))


def test_solves_in_threads_equal_solves_in_turn():
    jobs = models()
    in_turn = [velmora.solve(m, method, **options) for m, method, options in jobs]
    at_once = [None] * len(jobs)
    start = threading.Barrier(len(jobs))

    def run(k):
        m, method, options = jobs[k]
        start.wait()
        at_once[k] = velmora.solve(m, method, **options)

    threads = [threading.Thread(target=run, args=(k,)) for k in range(len(jobs))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(same(a, b) for a, b in zip(in_turn, at_once))


def test_the_gil_is_free_while_solving():
    model, method, options = models()[1]
    counted = []
    done = threading.Event()

    def count():
        n = 0
        while not done.is_set():
            n += 1
        counted.append(n)

    counter = threading.Thread(target=count)
    counter.start()
    began = time.monotonic()
    velmora.solve(model, method, **options)
    took = time.monotonic() - began
    done.set()
    counter.join()
    # A Python loop runs millions of rounds a second, and some hundred
    # thousand on a machine busy with other work; held out by the solve it
    # would run none, or one per switch interval of 5 ms.
    assert took > 0.2 and counted[0] > 10_000 * took, (counted, took)


def test_newton_leaves_the_blas_threads_of_numpy_as_they_were():
    """Newton's method runs OpenBLAS on one thread for the program's bits;
    NumPy, which shares the library, has its thread count back after."""
    openblas = ctypes.CDLL("libopenblas.so.0")
    openblas.openblas_set_num_threads(3)
    during = []
    model = models()[0][0]
    # The first report reaches this thread while 19 increments are still to
    # go; the last ones may come after the solve.
    velmora.solve(model, "newton", increments=20,
                  progress=lambda r: during.append(openblas.openblas_get_num_threads()))
    assert during[0] == 1 and openblas.openblas_get_num_threads() == 3
