"""The load-deflection curve of the cantilever (cantilever.py): Newton's
method in 20 equal load increments, following the middle of the free end;
the curve is plotted to cantilever_curve.png.

    python3 cantilever_curve.py [PNG]
"""

import sys

import matplotlib

matplotlib.use("Agg")  # a file, no window
import matplotlib.pyplot as plt  # noqa: E402

import velmora  # noqa: E402
from cantilever import cantilever  # noqa: E402


def curve(increments=20):
    """Load and tip deflection at each increment: the load is the
    resultant of the support reactions, which balances the end load."""
    model, tip = cantilever()
    result = velmora.solve(model, "newton", increments=increments, follow=[tip], progress=sys.stderr.isatty())
    path = result.load_path
    return path.reaction[:, 1], -path.displacement[:, 0, 1], result


def main(png="cantilever_curve.png"):
    load, deflection, result = curve()
    figure, axes = plt.subplots(figsize=(6, 4))
    axes.plot([0, *deflection], [0, *load], "o-")
    axes.set_xlabel("deflection of the free end")
    axes.set_ylabel("end load")
    axes.set_title("Cantilever 10 x 1, neo-Hookean mu = 1, bulk = 10")
    axes.grid(True)
    figure.tight_layout()
    figure.savefig(png, dpi=100)
    print(f"{result.verdict}: end load {load[-1]:.4g}, deflection {deflection[-1]:.4f}; curve in {png}")


if __name__ == "__main__":
    main(*sys.argv[1:])
