"""The cantilever (cantilever.py) for eight shear moduli, solved on a pool
of processes: each task builds its model, solves it and sends the result
back (results pickle).

    python3 sweep_pool.py [WORKERS]
"""

import multiprocessing
import sys
from concurrent.futures import ProcessPoolExecutor

import numpy as np

from cantilever import solve_for, tip_deflection

MODULI = np.linspace(0.5, 2.0, 8)


def sweep(moduli=MODULI, workers=2):
    """The tip deflection for each modulus. New processes are started, not
    forked, so that no thread of this one is copied half-way."""
    with ProcessPoolExecutor(workers, mp_context=multiprocessing.get_context("spawn")) as pool:
        return [tip_deflection(result) for result in pool.map(solve_for, moduli)]


if __name__ == "__main__":
    for mu, deflection in zip(MODULI, sweep(workers=int(sys.argv[1]) if len(sys.argv) > 1 else 2)):
        print(f"mu {mu:.3f}: tip deflection {deflection:.6f}")
