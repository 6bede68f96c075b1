"""Ctrl-C, or an exception of a progress function, stops a long solve at
once; the interpreter and the model go on as before."""

import os
import signal
import threading
import time

import pytest

import velmora
from conftest import strip


def long_model():
    """A strip that the quasi-Newton methods take minutes over, and Newton's
    method seconds in a hundred increments."""
    model = strip(200, 60, 10.0, 3.0, velmora.NeoHooke(1, 5), tolerance=1e-14, max_iterations=10**6)
    return model.fix(model.points[:, 0] == 10, "x", 2.0)


@pytest.mark.parametrize("method, options", [("lbfgs", {}), ("newton", {"increments": 100})])
def test_ctrl_c_stops_a_long_solve(method, options):
    model = long_model()
    sent = []

    def press_ctrl_c():
        sent.append(time.monotonic())
        os.kill(os.getpid(), signal.SIGINT)

    threading.Timer(0.5, press_ctrl_c).start()
    with pytest.raises(KeyboardInterrupt):
        velmora.solve(model, method, **options)
    latency = time.monotonic() - sent[0]
    assert latency < 0.5, latency  # 50 ms between looks at the signals, on a busy machine
    small = strip(4, 2, 2.0, 1.0, velmora.NeoHooke(1, 5)).load(14, "x", 0.1)
    assert velmora.solve(small).optimal and velmora.solve(model, method, max_iterations=3, **options).iterations == 3
    # The solve that was left ends at its next report.
    began = time.monotonic()
    velmora._core.join_left_solves()
    assert time.monotonic() - began < 5


def test_exception_of_a_progress_function_stops_the_solve():
    class Enough(Exception):
        pass

    def progress(report):
        if report.iteration == 5:
            raise Enough(report)

    with pytest.raises(Enough) as raised:
        velmora.solve(long_model(), "lbfgs", progress=progress)
    assert raised.value.args[0].iteration == 5
