// step_times [--newton] [DIR]: runs the steps of a velmora run on
// DIR/input.txt (DIR defaults to the working directory) in the order the
// program does, with a clock read between them, and writes the same files
// into DIR. Standard output gets the program's verdict line, standard error
// the seconds of each step (wall clock, and the process's CPU time, which
// other work on a shared machine does not inflate), the work of the
// minimiser and the peak memory. With --newton the minimiser is Newton's
// method (--method newton), and its work is split into its phases: the
// tangent's pattern and order, the symbolic analysis, the assemblies,
// factorisations, solves and evaluations, and the rest (the method's own
// vector work).
//
// The program itself carries no timers; this driver calls the same step
// functions, so its files must match the program's byte for byte (the
// whole-run script checks that).
#include <sys/resource.h>
#include <time.h>

#include <cfenv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <new>
#include <string>

#include "mechanics/mechanics.hpp"
#include "model/steps.hpp"
#include "nlp.hpp"

#ifdef VELMORA_HAVE_NEWTON
#include "newton/dense_kernels.hpp"
#include "newton/newton_method.hpp"
#endif

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

constexpr int verdict_width = 5;  // as the program prints the iteration count
constexpr double mega = 1e6;

double seconds_since(clock_type::time_point t0) {
    return std::chrono::duration<double>(clock_type::now() - t0).count();
}

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A wall clock and a CPU clock started together.
struct stopwatch {
    clock_type::time_point wall = clock_type::now();
    double cpu = cpu_seconds();
    double wall_seconds() const { return seconds_since(wall); }
    double cpu_seconds_since() const { return cpu_seconds() - cpu; }
};

// The objective, counting its calls and the CPU time spent in them.
struct timed_objective {
    velmora::objective energy;
    int* calls;
    double* seconds;
    double operator()(int n, const velmora::fmat1& x, velmora::fmat1& g) const {
        const double t0 = cpu_seconds();
        const double value = energy(n, x, g);
        *seconds += cpu_seconds() - t0;
        ++*calls;
        return value;
    }
};

double file_mb(const char* name) {
    std::error_code ignored;
    const auto bytes = fs::file_size(name, ignored);
    return bytes == static_cast<std::uintmax_t>(-1) ? 0.0 : static_cast<double>(bytes) / mega;
}

// One line of the table: wall and CPU seconds of the step, and for a step
// that reads or writes a file its size and rate (by CPU time).
void step_line(const char* step, const stopwatch& watch, const char* file) {
    const double wall = watch.wall_seconds();
    const double cpu = watch.cpu_seconds_since();
    std::fprintf(stderr, "%-8s %8.3f s wall %8.3f s cpu", step, wall, cpu);
    if (file != nullptr) {
        const double mb = file_mb(file);
        std::fprintf(stderr, "   %7.2f MB %-11s %6.1f MB/s", mb, file, cpu > 0 ? mb / cpu : 0.0);
    }
    std::fputc('\n', stderr);
}

void print_verdict(int iterations, bool optimal) {
    std::printf("\nMinor = %*d%s\n", verdict_width, iterations, optimal ? "     Optimal" : "     NOT Optimal");
    std::fflush(stdout);
}

// Newton's method, its phases on standard error.
void minimise_by_newton(velmora::model& m) {
#ifdef VELMORA_HAVE_NEWTON
    const stopwatch watch;
    const velmora::newton_summary s = velmora::newton_equilibrium(m, 0);
    m.iterations = s.iterations;
    m.energy = s.energy;
    print_verdict(m.iterations, s.optimal);
    step_line("newton", watch, nullptr);
    const velmora::newton_costs& c = s.costs;
    std::fprintf(stderr, "         %d iterations, %d increments, load %g\n", s.iterations, s.increments, s.load);
    std::fprintf(stderr, "         pattern and order %8.3f s (the order by METIS %.3f s)\n", c.pattern, c.order);
    std::fprintf(stderr, "         symbolic analysis %8.3f s\n", c.analysis);
    std::fprintf(stderr, "         %3d assemblies     %8.3f s\n", c.assemblies, c.assembly);
    std::fprintf(stderr, "         %3d factorisations %8.3f s (the first %.3f s)\n", c.factorisations, c.factorisation,
                 c.first_factorisation);
    std::fprintf(stderr, "         %3d solves         %8.3f s\n", c.solves, c.solve);
    std::fprintf(stderr, "         %3lld evaluations    %8.3f s\n", c.evaluations, c.evaluation);
    std::fprintf(stderr, "         the rest          %8.3f s\n",
                 watch.wall_seconds() - c.pattern - c.analysis - c.assembly - c.factorisation - c.solve - c.evaluation);
#else
    (void)m;
    std::fprintf(stderr, "step_times: built without Newton's method\n");
    std::exit(2);
#endif
}

int run(bool newton) {
    velmora::model m;
    const stopwatch whole;

    stopwatch watch;
    velmora::input(m);
    step_line("input", watch, "input.txt");

    watch = stopwatch();
    velmora::start(m);
    step_line("start", watch, nullptr);

    watch = stopwatch();
    velmora::ansys(m);
    step_line("ansys", watch, "ansys.txt");

    if (newton) {
        minimise_by_newton(m);
    } else {
        int calls = 0;
        double objective_seconds = 0;
        watch = stopwatch();
        const nlp::package<timed_objective> qn{timed_objective{velmora::objective{&m}, &calls, &objective_seconds}};
        const nlp::result result = qn.lbfgs(m.memory, m.dof_count, m.max_iterations, m.search_limit,
                                            m.allowable_residue, m.eta, m.displacement, m.gradient);
        const double lbfgs_cpu = watch.cpu_seconds_since();
        m.iterations = result.iterations;
        m.energy = result.energy;
        print_verdict(m.iterations, result.optimal);
        step_line("lbfgs", watch, nullptr);
        const double per_element =
            calls > 0 && m.element_count() > 0 ? objective_seconds / calls / m.element_count() * 1e9 : 0.0;
        std::fprintf(stderr,
                     "         %d iterations, %d objective evaluations: %.3f s cpu in the objective (%.1f ns per "
                     "element and evaluation), %.3f s cpu in the rest of the minimiser\n",
                     result.iterations, calls, objective_seconds, per_element, lbfgs_cpu - objective_seconds);
    }

    watch = stopwatch();
    velmora::autocad(m);
    step_line("autocad", watch, "autocad.scr");

    watch = stopwatch();
    velmora::output(m);
    step_line("output", watch, "output.txt");

    step_line("total", whole, nullptr);

    const velmora::turned_over folded = velmora::count_turned_over(m, m.displacement);
    if (folded.count > 0)
        std::fprintf(stderr, "note: %d elements turned over (first: %d); the model is not a gentle one\n", folded.count,
                     folded.first);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peak_bytes = static_cast<double>(usage.ru_maxrss) * 1024;  // ru_maxrss is in KiB
    std::fprintf(stderr,
                 "%-8s %8.1f MB peak resident, %.0f bytes per element (%d elements, %d nodes, %d free degrees "
                 "of freedom)\n",
                 "memory", peak_bytes / mega, m.element_count() > 0 ? peak_bytes / m.element_count() : 0.0,
                 m.element_count(), m.node_count, m.dof_count);
    return 0;
}

int report(const char* name, const char* message) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nraised %s : %s\n", name, message);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef VELMORA_HAVE_NEWTON
    velmora::stop_blas_workers();  // as velmora does
#endif
    const bool newton = argc > 1 && std::string(argv[1]) == "--newton";
    const int first = newton ? 2 : 1;
    if (argc > first + 1 || (argc == first + 1 && argv[first][0] == '-')) {
        std::fprintf(stderr,
                     "usage: step_times [--newton] [DIR]   (runs velmora's steps on DIR/input.txt with timers)\n");
        return 2;
    }
    std::error_code error;
    if (argc == first + 1) fs::current_path(argv[first], error);
    if (error) {
        std::fprintf(stderr, "step_times: cannot enter %s: %s\n", argv[first], error.message().c_str());
        return 2;
    }
    std::fenv_t environment;
    std::feholdexcept(&environment);
    try {
        return run(newton);
    } catch (const terms::failure& f) {
        return report(f.name().c_str(), f.what());
    } catch (const std::bad_alloc&) {
        return report("STORAGE_ERROR", "out of memory");
    } catch (const std::exception& e) {
        return report("PROGRAM_ERROR", e.what());
    }
}
