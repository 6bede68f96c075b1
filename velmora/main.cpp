// velmora: static large-deformation analysis of a hyperelastic solid meshed
// with constant-strain triangles. Reads "input.txt", writes "ansys.txt",
// "autocad.scr" and "output.txt" and a verdict on standard output.
//
// Every failure ends up here: a line end, "raised ", the failure's name,
// " : " and its message on standard error, and exit status 1.
#include <cfenv>
#include <cstdio>
#include <exception>
#include <new>

#include "steps.hpp"

namespace {

int report(const char* name, const char* message) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nraised %s : %s\n", name, message);
    return 1;
}

}  // namespace

int main() {
    // Every floating-point exception masked: x/0 gives an infinity, an
    // invalid operation a NaN, and the run goes on.
    std::fenv_t environment;
    std::feholdexcept(&environment);
    try {
        velmora::run();
        return 0;
    } catch (const terms::failure& f) {
        return report(f.name().c_str(), f.what());
    } catch (const std::bad_alloc&) {
        return report("STORAGE_ERROR", "out of memory");
    } catch (const std::exception& e) {
        return report("PROGRAM_ERROR", e.what());
    } catch (...) {
        return report("PROGRAM_ERROR", "unknown exception");
    }
}
