// velmora._core: the solver's steps for the Python package, arrays in and
// out. Thin on purpose: the package (python/velmora/) checks the arguments,
// names things and documents them; this module copies the arrays into a
// model record once, runs a solve on a thread of its own while the caller
// waits without the GIL, hands the results back as views of the
// solution's arrays, and turns each failure into the package's exception
// of that name.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "arrays.hpp"
#include "model_file.hpp"
#include "read/input.hpp"
#include "solve_job.hpp"

namespace py = pybind11;

namespace velmora::python {

namespace {

using real_array = py::array_t<double, py::array::c_style>;
using index_array = py::array_t<std::int64_t, py::array::c_style>;
using flag_array = py::array_t<std::uint8_t, py::array::c_style>;
using control_tuple = std::tuple<double, int, double, double, int, int>;

// How often a waiting caller looks at its signals (Ctrl-C) when the solve
// gives no report.
constexpr auto signal_interval = std::chrono::milliseconds(50);

// The package's exception for a failure of that name (velmora._errors).
void raise_failure(const std::string& name, const std::string& message) {
    const py::object error = py::module_::import("velmora._errors").attr("failure")(name, message);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
}

template <class T>
std::span<const T> span_of(const py::array_t<T, py::array::c_style>& a) {
    return {a.data(), static_cast<std::size_t>(a.size())};
}

// A NumPy array that owns v.
template <class T>
py::array adopt(std::vector<T>&& v, std::vector<py::ssize_t> shape) {
    auto* owned = new std::vector<T>(std::move(v));
    const py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(std::move(shape), owned->data(), owner);
}

// A rows x columns view of v that keeps owner alive.
py::array view(const std::vector<double>& v, py::ssize_t columns, const py::handle owner) {
    const py::ssize_t rows = columns == 0 ? 0 : static_cast<py::ssize_t>(v.size()) / columns;
    return real_array({rows, columns}, v.data(), owner);
}

model model_from(const real_array& points, const index_array& triangles, const flag_array& fixed,
                 const real_array& prescribed, const real_array& forces, double thickness, int kind,
                 const std::array<double, 3>& constants, const control_tuple& c) {
    const model_view v{
        span_of(points),
        span_of(triangles),
        span_of(fixed),
        span_of(prescribed),
        span_of(forces),
        {thickness, kind, constants},
        {std::get<0>(c), std::get<1>(c), std::get<2>(c), std::get<3>(c), std::get<4>(c), std::get<5>(c)}};
    const py::gil_scoped_release unlocked;
    return model_of(v);
}

// The model record that the reader filled, kept with the arrays it gave so
// that the first solve of an unchanged model takes it instead of building
// its own: no second copy of a large model, and its pages are touched
// once. Taken once; thread-safe.
class read_record {
public:
    explicit read_record(model m) : m_(std::make_unique<model>(std::move(m))) {}
    std::unique_ptr<model> take() {
        const std::lock_guard<std::mutex> hold(lock_);
        return std::move(m_);
    }

private:
    std::mutex lock_;
    std::unique_ptr<model> m_;
};

// Solves that their callers left (Ctrl-C, or an exception of a progress
// function) run on until their next report, then end; they are joined at
// the next solve or when the interpreter exits. Never destroyed, so that
// no joinable thread is ever destroyed.
struct left_solve {
    std::thread thread;
    std::shared_ptr<solve_job> job;
};
std::mutex left_lock;
std::vector<left_solve>& left_solves() {
    static auto* runs = new std::vector<left_solve>;
    return *runs;
}

void leave(std::thread thread, std::shared_ptr<solve_job> job) {
    job->stop = true;
    const std::lock_guard<std::mutex> hold(left_lock);
    left_solves().push_back({std::move(thread), std::move(job)});
}

// Joins the left solves that have ended, or with all every one of them.
void join_left(bool all) {
    std::vector<left_solve> ended;
    {
        const std::lock_guard<std::mutex> hold(left_lock);
        auto& runs = left_solves();
        for (auto run = runs.begin(); run != runs.end();) {
            bool done = all;
            if (!done) {
                const std::lock_guard<std::mutex> job_hold(run->job->lock);
                done = run->job->done;
            }
            if (done) {
                ended.push_back(std::move(*run));
                run = runs.erase(run);
            } else {
                ++run;
            }
        }
    }
    for (left_solve& run : ended) run.thread.join();
}

// Runs the job on a thread of its own while this one waits without the
// GIL, hands each queued report to on_report and looks at the signals
// every signal_interval. A Python exception (KeyboardInterrupt, or one from
// on_report) leaves the solve to end on its own and propagates at once.
void wait_for(const std::shared_ptr<solve_job>& job, const py::object& on_report) {
    std::thread worker([job] { run_job(*job); });
    for (;;) {
        std::deque<nlp::iteration_report> reports;
        bool done = false;
        {
            const py::gil_scoped_release unlocked;
            std::unique_lock<std::mutex> hold(job->lock);
            job->changed.wait_for(hold, signal_interval, [&job] { return job->done || !job->reports.empty(); });
            reports.swap(job->reports);
            done = job->done;
        }
        try {
            for (const nlp::iteration_report& r : reports)
                on_report(r.iteration, r.energy, r.residue, r.allowable, r.step, r.increment, r.load);
            if (!done && PyErr_CheckSignals() != 0) throw py::error_already_set();
        } catch (...) {
            leave(std::move(worker), job);
            throw;
        }
        if (done) break;
    }
    const py::gil_scoped_release unlocked;
    worker.join();
}

std::unique_ptr<solution> solve(const real_array& points, const index_array& triangles, const flag_array& fixed,
                                const real_array& prescribed, const real_array& forces, double thickness, int kind,
                                const std::array<double, 3>& constants, const control_tuple& controls,
                                const std::string& method_name, int increments, bool arc_length,
                                const std::vector<int>& follow, const py::object& on_report, read_record* record) {
    const method* how = find_method(method_name);
    if (how == nullptr) throw std::invalid_argument("no method named " + method_name);
    if (how->minimise == nullptr)
        throw failure(method_error, "this velmora was built without --method " + method_name + ": it needs " +
                                        std::string(how->missing));
    join_left(false);
    auto job = std::make_shared<solve_job>();
    job->out = std::make_unique<solution>();
    std::unique_ptr<model> read = record != nullptr ? record->take() : nullptr;
    if (read) {
        job->out->m = std::move(*read);
        set_controls(job->out->m, {std::get<0>(controls), std::get<1>(controls), std::get<2>(controls),
                                   std::get<3>(controls), std::get<4>(controls), std::get<5>(controls)});
    } else {
        job->out->m = model_from(points, triangles, fixed, prescribed, forces, thickness, kind, constants, controls);
    }
    for (const int point : follow) job->out->path.follow.push_back(point + 1);
    job->settings.method = method_name;
    job->settings.increments = increments;
    job->settings.arc_length = arc_length;
    job->how = how;
    job->queue_reports = !on_report.is_none();
    wait_for(job, on_report);
    if (job->failure) std::rethrow_exception(job->failure);
    solution& s = *job->out;
    if (s.load != 1) {
        // "ansys.txt" shows the loads as given, which Newton's method has scaled.
        s.full_force = fmat2(s.m.node_count, 3);
        s.full_prescribed = fmat2(s.m.node_count, 3);
        std::copy(forces.data(), forces.data() + forces.size(), s.full_force->data());
        std::copy(prescribed.data(), prescribed.data() + prescribed.size(), s.full_prescribed->data());
    }
    return std::move(job->out);
}

py::dict load_path_of(const solution& s) {
    const std::vector<load_path_row>& rows = s.path.rows;
    const std::size_t count = rows.size(), followed = s.path.follow.size();
    std::vector<std::int64_t> increment(count), iterations(count);
    std::vector<double> load(count), energy(count), residue(count), reaction(3 * count),
        displacement(3 * followed * count);
    for (std::size_t r = 0; r < count; ++r) {
        const load_path_row& row = rows[r];
        increment[r] = row.increment;
        iterations[r] = row.iterations;
        load[r] = row.load;
        energy[r] = row.energy;
        residue[r] = row.residue;
        for (std::size_t d = 0; d < 3; ++d) reaction[3 * r + d] = row.reaction[d];
        for (std::size_t k = 0; k < 3 * followed; ++k) displacement[3 * followed * r + k] = row.followed[k];
    }
    std::vector<std::int64_t> follow;
    for (const int node : s.path.follow) follow.push_back(node - 1);
    std::vector<std::int64_t> limit_increment;
    std::vector<double> limit_load;
    for (const nlp::limit_point& p : s.path.limits) {
        limit_increment.push_back(p.increment);
        limit_load.push_back(p.load);
    }
    const auto limits = static_cast<py::ssize_t>(limit_load.size());
    const auto rows_of = static_cast<py::ssize_t>(count);
    py::dict d;
    d["follow"] = adopt(std::move(follow), {static_cast<py::ssize_t>(followed)});
    d["increment"] = adopt(std::move(increment), {rows_of});
    d["load"] = adopt(std::move(load), {rows_of});
    d["iterations"] = adopt(std::move(iterations), {rows_of});
    d["energy"] = adopt(std::move(energy), {rows_of});
    d["residue"] = adopt(std::move(residue), {rows_of});
    d["reaction"] = adopt(std::move(reaction), {rows_of, 3});
    d["displacement"] = adopt(std::move(displacement), {rows_of, static_cast<py::ssize_t>(followed), 3});
    d["limit_increment"] = adopt(std::move(limit_increment), {limits});
    d["limit_load"] = adopt(std::move(limit_load), {limits});
    return d;
}

py::dict read_arrays(const std::string& path) {
    model_arrays a;
    model m;
    {
        const py::gil_scoped_release unlocked;
        read_model_file(m, path);
        a = arrays_of(m);
    }
    const auto n = static_cast<py::ssize_t>(a.points.size() / 3);
    py::dict d;
    d["points"] = adopt(std::move(a.points), {n, 3});
    d["triangles"] = adopt(std::move(a.triangles), {static_cast<py::ssize_t>(a.triangles.size() / 3), 3});
    d["fixed"] = adopt(std::move(a.fixed), {n, 3});
    d["prescribed"] = adopt(std::move(a.prescribed), {n, 3});
    d["forces"] = adopt(std::move(a.forces), {n, 3});
    d["thickness"] = a.material.thickness;
    d["kind"] = a.material.kind;
    d["constants"] = a.material.constants;
    const controls& c = a.control;
    d["controls"] = control_tuple(c.eta, c.search_limit, c.tolerance, c.reference_residue, c.max_iterations, c.memory);
    d["record"] = std::make_unique<read_record>(std::move(m));
    return d;
}

}  // namespace

}  // namespace velmora::python

PYBIND11_MODULE(_core, m) {
    using namespace velmora::python;
    using velmora::python::solution;
    m.doc() = "The C++ steps of velmora for the Python package; use the package velmora, not this module.";

    // pybind11 takes a translator as a function of an exception_ptr by value.
    py::register_exception_translator([](std::exception_ptr p) {  // NOLINT(performance-unnecessary-value-param)
        try {
            if (p) std::rethrow_exception(p);
        } catch (const terms::failure& f) {
            raise_failure(f.name(), f.what());
        } catch (const std::bad_alloc&) {
            raise_failure(velmora::storage_error, "out of memory");
        }
    });

    py::class_<solution>(m, "Solution")
        .def_property_readonly("iterations", [](const solution& s) { return s.result.iterations; })
        .def_property_readonly("energy", [](const solution& s) { return s.result.energy; })
        .def_property_readonly("optimal", [](const solution& s) { return s.result.optimal; })
        .def_property_readonly("load", [](const solution& s) { return s.load; })
        .def_property_readonly("evaluations", [](const solution& s) { return s.evaluations; })
        .def_property_readonly("residue", [](const solution& s) { return s.residue; })
        .def_property_readonly("allowable_residue", [](const solution& s) { return s.m.allowable_residue; })
        .def_property_readonly("turned_over", [](const solution& s) { return s.folded.count; })
        .def_property_readonly("first_turned_over", [](const solution& s) { return s.folded.first; })
        .def_property_readonly("warnings", [](const solution& s) { return s.warnings; })
        .def("displacement", [](const py::object& self) { return view(self.cast<solution&>().displacement, 3, self); })
        .def("reactions",
             [](const py::object& self) {
                 auto& s = self.cast<solution&>();
                 const std::vector<double>* found = nullptr;
                 {
                     const py::gil_scoped_release unlocked;
                     found = &s.reactions();
                 }
                 return view(*found, 3, self);
             })
        .def("stresses",
             [](const py::object& self) {
                 auto& s = self.cast<solution&>();
                 const std::vector<double>* found = nullptr;
                 {
                     const py::gil_scoped_release unlocked;
                     found = &s.stresses();
                 }
                 return view(*found, 3, self);
             })
        .def("load_path", &load_path_of)
        .def("write", &solution::write, py::arg("directory"), py::call_guard<py::gil_scoped_release>());

    // Opaque to Python: the package only hands it back to solve.
    const py::class_<read_record> record_type(m, "ReadRecord");
    record_type.doc() = "The model record of a read model, for its first solve.";
    m.def("solve", &solve, py::arg("points"), py::arg("triangles"), py::arg("fixed"), py::arg("prescribed"),
          py::arg("forces"), py::arg("thickness"), py::arg("kind"), py::arg("constants"), py::arg("controls"),
          py::arg("method"), py::arg("increments"), py::arg("arc_length"), py::arg("follow"), py::arg("on_report"),
          py::arg("record").none(true) = nullptr);
    m.def("restore", [](const real_array& points, const index_array& triangles, const flag_array& fixed,
                        const real_array& prescribed, const real_array& forces, double thickness, int kind,
                        const std::array<double, 3>& constants, const control_tuple& controls,
                        const real_array& displacement, int iterations, double energy, bool optimal, double load) {
        auto s = std::make_unique<solution>();
        s->m = model_from(points, triangles, fixed, prescribed, forces, thickness, kind, constants, controls);
        const py::gil_scoped_release unlocked;
        restore(*s, span_of(displacement), {iterations, energy, optimal}, load);
        return s;
    });
    m.def("read", &read_arrays);
    m.def("write_model", [](const std::string& name, const std::string& directory, const real_array& points,
                            const index_array& triangles, const flag_array& fixed, const real_array& prescribed,
                            const real_array& forces, double thickness, int kind,
                            const std::array<double, 3>& constants, const control_tuple& controls) {
        const velmora::model model =
            model_from(points, triangles, fixed, prescribed, forces, thickness, kind, constants, controls);
        const py::gil_scoped_release unlocked;
        write_model_file(model, name, directory);
    });
    m.def("methods", [] {
        std::vector<std::tuple<std::string, std::string, std::string>> table;
        for (const velmora::method& how : velmora::methods())
            table.emplace_back(how.name, how.description, how.minimise == nullptr ? how.missing : "");
        return table;
    });
    m.def("join_left_solves", [] {
        const py::gil_scoped_release unlocked;
        join_left(true);
    });
    m.attr("version") = VELMORA_VERSION;
}
