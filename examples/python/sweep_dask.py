"""The sweep of sweep_pool.py on a dask.distributed cluster: without an
argument on a local cluster of two worker processes, or on the cluster
whose scheduler is at ADDRESS (each worker needs velmora installed; the
model's module is sent to them).

    python3 sweep_dask.py [ADDRESS]
"""

import os
import sys

from dask.distributed import Client, LocalCluster

from cantilever import solve_for, tip_deflection
from sweep_pool import MODULI


def sweep(client, moduli=MODULI):
    """The tip deflection for each modulus, solved on the client's cluster."""
    futures = client.map(solve_for, list(moduli), pure=False)
    return [tip_deflection(result) for result in client.gather(futures)]


def local_cluster():
    return LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        client = Client(sys.argv[1])
        client.upload_file(os.path.join(os.path.dirname(os.path.abspath(__file__)), "cantilever.py"))
    else:
        client = Client(local_cluster())
    with client:
        for mu, deflection in zip(MODULI, sweep(client)):
            print(f"mu {mu:.3f}: tip deflection {deflection:.6f}")
