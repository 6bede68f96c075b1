// The progress printer and its clock.
#include "run/progress.hpp"

#include <algorithm>
#include <chrono>
#include <utility>

namespace velmora {

namespace {

std::string printed(const char* format, auto... values) {
    char buffer[160];
    const int length = std::snprintf(buffer, sizeof buffer, format, values...);
    return length < 0 ? std::string()
                      : std::string(buffer, std::min<std::size_t>(std::size_t(length), sizeof buffer - 1));
}

}  // namespace

double steady_seconds() {
    using seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string progress_line(const nlp::iteration_report& r, double elapsed) {
    std::string line;
    if (r.increment > 0) line = printed("increment %d  load %.3g  ", r.increment, r.load);
    line += printed("iteration %d  energy %.9g  residue %.1E %s %.1E", r.iteration, r.energy, r.residue,
                    r.residue > r.allowable ? ">" : "<=", r.allowable);
    if (r.step > 0) line += printed("  step %.3g", r.step);
    return line + printed("  %.1f s", elapsed);
}

std::string summary_line(int iterations, long long evaluations, double elapsed) {
    return printed("%d iteration%s, %lld objective evaluation%s, %.2f s", iterations, iterations == 1 ? "" : "s",
                   evaluations, evaluations == 1 ? "" : "s", elapsed);
}

progress::progress(std::FILE* to, bool in_place, clock_function clock)
    : to_(to), in_place_(in_place), clock_(std::move(clock)), start_(clock_()), last_shown_(start_) {}

void progress::update(const nlp::iteration_report& r) {
    const double now = clock_();
    if (now - last_shown_ < progress_interval) return;
    last_shown_ = now;
    show(progress_line(r, now - start_));
}

void progress::finish(int iterations) {
    show(summary_line(iterations, evaluations_, clock_() - start_));
    if (in_place_) std::fputc('\n', to_);
    std::fflush(to_);
}

void progress::show(const std::string& line) {
    if (!in_place_) {
        std::fprintf(to_, "%s\n", line.c_str());
    } else {
        // Back to the start of the line; blanks cover what is left of a longer one.
        const std::size_t blanks = shown_length_ > line.size() ? shown_length_ - line.size() : 0;
        std::fprintf(to_, "\r%s%*s", line.c_str(), static_cast<int>(blanks), "");
        shown_length_ = line.size();
    }
    std::fflush(to_);
}

}  // namespace velmora
