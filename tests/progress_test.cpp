// The progress printer: the shape of its lines, the rate limit of at most
// one update each progress_interval, measured with a clock the test
// advances (no test here waits for time to pass), the line rewritten in
// place on a terminal, and the printer fed by a long L-BFGS run.
#include "run/progress.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "nlp.hpp"

namespace {

using terms::fmat1;

// What was written to a temporary file.
std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    return text;
}

struct scratch_file {
    std::FILE* f = std::tmpfile();
    ~scratch_file() { std::fclose(f); }
    scratch_file() = default;
    scratch_file(const scratch_file&) = delete;
    scratch_file& operator=(const scratch_file&) = delete;
};

TEST(ProgressLine, FieldsOfEachKindOfMethod) {
    // A quasi-Newton method: no increment; the step when it gives one.
    EXPECT_EQ(velmora::progress_line(
                  {.iteration = 37, .energy = -23.5785427, .residue = 1.234e-3, .allowable = 5e-4, .step = 0.5}, 1.34),
              "iteration 37  energy -23.5785427  residue 1.2E-03 > 5.0E-04  step 0.5  1.3 s");
    EXPECT_EQ(
        velmora::progress_line(
            {.iteration = 50000, .energy = -1057501.4812, .residue = 3e-5, .allowable = 3.3e-5, .step = 0}, 312.06),
        "iteration 50000  energy -1057501.48  residue 3.0E-05 <= 3.3E-05  312.1 s");
    // Newton's method: the increment and the load reached come first.
    const nlp::iteration_report newton{
        .iteration = 4, .energy = 2, .residue = 0.25, .allowable = 0.5, .step = 1, .increment = 3, .load = 0.6};
    EXPECT_EQ(velmora::progress_line(newton, 0),
              "increment 3  load 0.6  iteration 4  energy 2  residue 2.5E-01 <= 5.0E-01  step 1  0.0 s");
}

// The summary of a run: its counts, in the singular for one, and seconds.
TEST(ProgressLine, SummaryCountsIterationsEvaluationsAndSeconds) {
    EXPECT_EQ(velmora::summary_line(1, 1, 0.004), "1 iteration, 1 objective evaluation, 0.00 s");
    EXPECT_EQ(velmora::summary_line(18, 59, 1.5), "18 iterations, 59 objective evaluations, 1.50 s");
}

// A tick of 1/64 s is exact in binary: the first update at least 0.2 s
// after the start comes at tick 13 (0.203 s; tick 12 is 0.1875 s), and
// every 13th tick after that, so 1300 iterations, one a tick, show 100.
TEST(Progress, AtMostOneUpdateEachInterval) {
    double now = 0;
    const scratch_file out;
    velmora::progress p(out.f, false, [&now] { return now; });
    constexpr double tick = 1.0 / 64;
    for (int k = 1; k <= 1300; ++k) {
        now = k * tick;
        p.evaluated();
        p.evaluated();
        p.update({.iteration = k, .energy = -double(k), .residue = 1, .allowable = 0.5, .step = 1});
    }
    now = 21;
    p.finish(1300);

    const std::vector<std::string> lines = [&] {
        std::vector<std::string> v;
        const std::string text = contents(out.f);
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            v.push_back(text.substr(at, end - at));
        return v;
    }();
    ASSERT_EQ(lines.size(), 101u);
    for (int u = 1; u <= 100; ++u) {
        char elapsed[16];
        std::snprintf(elapsed, sizeof elapsed, "%.1f", 13 * u * tick);
        EXPECT_EQ(lines[u - 1], "iteration " + std::to_string(13 * u) + "  energy -" + std::to_string(13 * u) +
                                    "  residue 1.0E+00 > 5.0E-01  step 1  " + elapsed + " s");
    }
    EXPECT_EQ(lines.back(), "1300 iterations, 2600 objective evaluations, 21.00 s");
    EXPECT_EQ(p.evaluations(), 2600);
}

// On a terminal: each update returns to the start of the line, blanks
// cover the rest of a longer line before it, and only the summary ends
// the line.
TEST(Progress, TerminalLineIsRewrittenInPlace) {
    double now = 0;
    const scratch_file out;
    velmora::progress p(out.f, true, [&now] { return now; });
    now = 0.25;
    p.update({.iteration = 1000, .energy = -12345.678, .residue = 0.5, .allowable = 0.25, .step = 0.125});
    now = 0.3;  // too soon: not shown
    p.update({.iteration = 1001, .energy = -12345.679, .residue = 0.5, .allowable = 0.25, .step = 0.125});
    now = 0.5;
    p.update({.iteration = 1002, .energy = -1, .residue = 0.5, .allowable = 0.25, .step = 0});
    p.finish(1002);
    const std::string first = "iteration 1000  energy -12345.678  residue 5.0E-01 > 2.5E-01  step 0.125  0.2 s";
    const std::string second = "iteration 1002  energy -1  residue 5.0E-01 > 2.5E-01  0.5 s";
    const std::string last = "1002 iterations, 0 objective evaluations, 0.50 s";
    EXPECT_EQ(contents(out.f), "\r" + first + "\r" + second + std::string(first.size() - second.size(), ' ') + "\r" +
                                   last + std::string(second.size() - last.size(), ' ') + "\n");
}

// sum of i^2 (x_i - 1)^2 for i = 1..1000: condition number 10^6, and
// L-BFGS with two pairs needs many iterations. The clock advances 1/64 s per
// evaluation, so the run lasts evaluations / 64 s; updates come at least
// 0.2 s apart, and none is missed for long: a gap over 0.2 s plus one
// iteration's evaluations would mean an update not shown.
TEST(Progress, LongRunShowsFiveUpdatesASecondAtMost) {
    constexpr int n = 1000;
    double now = 0;
    const scratch_file out;
    velmora::progress p(out.f, false, [&now] { return now; });
    int most_per_iteration = 0, evaluations = 0, previous = 0;
    const auto f = [&](int size, const fmat1& x, fmat1& g) {
        now += 1.0 / 64;
        p.evaluated();
        ++evaluations;
        double sum = 0;
        for (int i = 1; i <= size; ++i) sum += double(i) * i * (x(i) - 1) * (x(i) - 1), g(i) = 2.0 * i * i * (x(i) - 1);
        return sum;
    };
    std::vector<double> shown;
    const auto observe = [&](const nlp::iteration_report& r) {
        most_per_iteration = std::max(most_per_iteration, evaluations - previous);
        previous = evaluations;
        const long before = std::ftell(out.f);
        p.update(r);
        if (std::ftell(out.f) != before) shown.push_back(now);
    };
    fmat1 x(n), g(n);
    for (int i = 1; i <= n; ++i) x(i) = 0;
    const nlp::result r = nlp::lbfgs(f, 2, n, 100000, 20, 1e-8, 0.9, x, g, observe);
    p.finish(r.iterations);
    ASSERT_TRUE(r.optimal);
    ASSERT_GT(r.iterations, 1000) << r.iterations;
    ASSERT_GT(shown.size(), 5u);
    for (std::size_t k = 1; k < shown.size(); ++k) {
        EXPECT_GE(shown[k] - shown[k - 1], velmora::progress_interval);
        EXPECT_LT(shown[k] - shown[k - 1], velmora::progress_interval + most_per_iteration / 64.0);
    }
    EXPECT_LE(double(shown.size()), now / velmora::progress_interval);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s\n", now);
    const std::string text = contents(out.f);
    EXPECT_TRUE(text.ends_with(std::to_string(r.iterations) + " iterations, " + std::to_string(evaluations) +
                               " objective evaluations, " + seconds))
        << text;
}

}  // namespace
