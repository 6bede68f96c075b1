// Fuzz target of the whole run on small models: any bytes as "input.txt",
// then the run sequence of the program (set-up, deck, minimisation,
// drawing, report) in a scratch directory, with the iteration limit and
// the line-search trials capped after input so that one input takes
// milliseconds. Each failure must come from a step that may raise it, with
// a one-line message; afterwards the files of the steps that completed
// must be complete, printable ASCII lines, and the files of the steps not
// reached must not exist. Where the build has Newton's method, a model that
// reached the minimiser is then also solved by it, from the same start:
// its failures must be the method's own, its summary in range, and its
// final state must turn no element over.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include "fuzz_checks.hpp"
#include "mechanics/mechanics.hpp"
#include "model/steps.hpp"
#include "nlp.hpp"
#include "read/input.hpp"

#ifdef VELMORA_HAVE_NEWTON
#include <new>
#include <optional>

#include "newton/newton_method.hpp"
#endif

namespace {

namespace fs = std::filesystem;

// Caps on the model's own limits: enough for several iterations with
// interpolated trials, few enough that a model of a few hundred elements
// runs in a millisecond or so.
constexpr int iteration_cap = 10;
constexpr int search_cap = 5;

// The steps in run order; a failure leaves the stage at the step that raised it.
enum class stage { reading, setting_up, writing_deck, minimising, drawing, reporting, done };

const char* const deck = "ansys.txt";
const char* const drawing = "autocad.scr";
const char* const report = "output.txt";

fs::path scratch;  // working directory of the runs
fs::path home;     // the fuzzer's own working directory

std::string contents(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ends_with(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Lines of printable ASCII, each ended by a line feed.
void check_text_file(const char* name, const std::string& text) {
    if (text.empty() || text.back() != '\n') fuzz::violation(std::string(name) + " does not end with a line end");
    for (const char c : text)
        if (c != '\n' && (c < ' ' || c > '~'))
            fuzz::violation(std::string(name) + " holds a character that is not printable ASCII");
}

void check_present(const char* name, std::string_view tail) {
    std::error_code ignored;
    if (!fs::exists(name, ignored)) fuzz::violation(std::string(name) + " is missing after its writer completed");
    const std::string text = contents(name);
    check_text_file(name, text);
    if (!ends_with(text, tail))
        fuzz::violation(std::string(name) + " is incomplete: it does not end with its last line");
}

void check_absent(const char* name) {
    std::error_code ignored;
    if (fs::exists(name, ignored)) fuzz::violation(std::string(name) + " exists although its writer was not called");
}

// Lines of text that begin with head.
long long lines_starting(const std::string& text, std::string_view head) {
    long long count = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, head.size(), head) == 0) ++count;
        const std::size_t end = text.find('\n', at);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return count;
}

// A complete deck defines every node ("N, ") and every element ("EN, ").
void check_deck_records(const velmora::model& m) {
    const std::string text = contents(deck);
    if (lines_starting(text, "N, ") != std::max(m.node_count, 0))
        fuzz::violation("the deck does not define every node once");
    if (lines_starting(text, "EN, ") != m.element_count())
        fuzz::violation("the deck does not define every element once");
}

void check_files(const velmora::model& m, stage reached) {
    if (reached < stage::writing_deck) {
        check_absent(deck);
    } else if (reached == stage::writing_deck) {
        // The deck stops where the material was needed.
        check_present(deck, "\n! ACTIVATE DATA TABLE\n");
    } else {
        check_present(deck, "\nFINISH\n");
        check_deck_records(m);
    }
    if (reached <= stage::drawing)
        check_absent(drawing);
    else
        check_present(drawing, "\nzoom ext ext\n");
    if (reached < stage::done)
        check_absent(report);
    else
        check_present(report, "\n");
}

void check_failure(const terms::failure& f, stage reached, std::string_view text) {
    switch (reached) {
    case stage::reading:
        fuzz::check_failure(f, {"END_ERROR", "DATA_ERROR", "RANGE_ERROR"}, "the reader");
        fuzz::check_located(f, text);
        return;
    case stage::setting_up:
        fuzz::check_failure(f, {"RANGE_ERROR", "GEOMETRY_ERROR", "MATERIAL_ERROR"}, "the set-up");
        return;
    case stage::writing_deck:
        fuzz::check_failure(f, {"MATERIAL_ERROR"}, "the deck writer");
        return;
    case stage::minimising:
        fuzz::check_failure(f, {"NLP.HALT"}, "the minimiser");
        return;
    case stage::drawing:
        fuzz::check_failure(f, {}, "the drawing writer");
        return;
    case stage::reporting:
        fuzz::check_failure(f, {}, "the report writer");
        return;
    case stage::done:
        return;
    }
}

// Reads the model with the caps applied after input.
void read_capped(velmora::model& m, std::string_view text) {
    velmora::read_model(m, text, "input.txt");
    m.max_iterations = std::min(m.max_iterations, iteration_cap);
    m.search_limit = std::min(m.search_limit, search_cap);
}

// The run sequence of the program.
void run(velmora::model& m, std::string_view text, stage& reached) {
    reached = stage::reading;
    read_capped(m, text);
    reached = stage::setting_up;
    velmora::start(m);
    reached = stage::writing_deck;
    velmora::ansys(m);
    reached = stage::minimising;
    const nlp::package<velmora::objective> qn{velmora::objective{&m}};
    const nlp::result result = qn.lbfgs(m.memory, m.dof_count, m.max_iterations, m.search_limit, m.allowable_residue,
                                        m.eta, m.displacement, m.gradient);
    m.iterations = result.iterations;
    m.energy = result.energy;
    const velmora::turned_over folded = velmora::count_turned_over(m, m.displacement);
    if (folded.count < 0 || folded.count > m.element_count() || (folded.count > 0) != (folded.first > 0))
        fuzz::violation("count of turned-over elements out of range");
    reached = stage::drawing;
    velmora::autocad(m);
    reached = stage::reporting;
    velmora::output(m);
    reached = stage::done;
}

#ifdef VELMORA_HAVE_NEWTON
// Models up to this many elements are also solved by Newton's method.
constexpr int newton_cap = 2000;

// The model of text, read and set up again (which succeeded once), solved
// by Newton's method.
void run_newton(std::string_view text) {
    velmora::model m;
    read_capped(m, text);
    if (m.element_count() > newton_cap) return;
    velmora::start(m);
    try {
        const velmora::newton_summary s = velmora::newton_equilibrium(m, 0);
        if (!(s.load >= 0 && s.load <= 1)) fuzz::violation("Newton's load fraction outside [0, 1]");
        // A max_iterations below 0 allows none, as 0 does.
        if (s.iterations < 0 || s.iterations > std::max(0, m.max_iterations))
            fuzz::violation("Newton's iterations outside [0, max_iterations]");
        if (s.optimal && s.load != 1) fuzz::violation("Newton optimal short of the full load");
        if (velmora::count_turned_over(m, m.displacement).count != 0)
            fuzz::violation("Newton's final state turns an element over");
    } catch (const terms::failure& f) {
        fuzz::check_failure(f, {"NLP.HALT", "SOLVER_ERROR"}, "Newton's method");
    } catch (const std::bad_alloc&) {
        // Out of memory is reported as STORAGE_ERROR by the program.
    }
}
#endif

void remove_scratch() {
    std::error_code ignored;
    fs::current_path(home, ignored);
    fs::remove_all(scratch, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    home = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "velmora-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) fuzz::violation("cannot create a scratch directory");
    scratch = pattern;
    std::atexit(remove_scratch);
    // The minimiser's "Line Search Failure" goes to standard output; the
    // fuzzer's own messages go to standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) fuzz::violation("cannot silence standard output");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The scratch directory is the working directory only while the run
    // goes on, so that the fuzzer's corpus and artifacts stay where it was
    // started.
    fs::current_path(scratch);
    for (const char* name : {deck, drawing, report}) std::remove(name);

    velmora::model m;
    stage reached = stage::reading;
    try {
        run(m, text, reached);
    } catch (const terms::failure& f) {
        check_failure(f, reached, text);
    } catch (const std::exception& e) {
        fuzz::violation(std::string("the run threw a non-failure exception: ") + e.what());
    }
    check_files(m, reached);
#ifdef VELMORA_HAVE_NEWTON
    if (reached >= stage::minimising) run_newton(text);
#endif
    fs::current_path(home);
    return 0;
}
