"""Progress: a function receives every iteration's report, and a bar
shows on standard error."""

import velmora
from conftest import strip


def test_each_iteration_is_reported_in_order():
    model = strip(20, 4, 5.0, 1.0, velmora.MooneyRivlin(0.4, 0.1, 10), tolerance=1e-6).load(104, "y", -1e-3)
    for method, options in (("lbfgs", {}), ("newton", {"increments": 3})):
        reports = []
        r = velmora.solve(model, method, progress=reports.append, **options)
        assert [p.iteration for p in reports] == list(range(1, r.iterations + 1))
        last = reports[-1]
        assert (last.energy, last.allowable) == (r.energy, r.allowable_residue)
        assert last.residue <= last.allowable and r.optimal
        if method == "newton":
            assert {p.increment for p in reports} == {1, 2, 3}
            assert [p.load for p in reports if p.increment == 3] == [1.0] * sum(p.increment == 3 for p in reports)
        else:
            assert {(p.increment, p.load) for p in reports} == {(0, 1.0)} and all(p.step > 0 for p in reports)


def test_progress_bar_on_standard_error(capsys):
    model = strip(20, 4, 5.0, 1.0, velmora.NeoHooke(1, 5)).load(104, "y", -1e-3)
    r = velmora.solve(model, "lbfgs", progress=True)
    err = capsys.readouterr().err
    assert "velmora lbfgs" in err and f"{r.iterations}/10000" in err and "residue" in err
