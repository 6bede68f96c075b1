// The catalogue of bad input and unwritable output: one whole run per kind
// of fault, each checked for exit status 1, the report
// "\nraised NAME : message\n" on standard error, a message that locates the
// fault, and which output files exist afterwards (those of the steps before
// the failure, complete; none of the steps after it). The reader's refusal
// of each malformed record is in failures_test.cpp, the number syntax in
// input_test.cpp, the set-up's refusals in setup_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "program_run.hpp"

namespace {

using test::fs::path;

// The writers in the order they run; the verdict is printed after the first.
const char* const writers[] = {"ansys.txt", "autocad.scr", "output.txt"};

const path strip_run = path(VELMORA_TEST_DATA) / "reference" / "strip_example";

std::string expected(const std::string& name) { return test::read_file(strip_run / "expected" / name); }

// Exit status 1 and exactly "\nraised NAME : message\n" on standard error,
// the message one line of printable ASCII that holds each fragment.
void expect_failure(const test::run_result& r, const std::string& name, std::initializer_list<std::string> holds) {
    EXPECT_EQ(r.status, 1);
    const std::string head = "\nraised " + name + " : ";
    ASSERT_EQ(r.err.rfind(head, 0), 0u) << "stderr: " << r.err;
    ASSERT_EQ(r.err.back(), '\n') << r.err;
    const std::string message = r.err.substr(head.size(), r.err.size() - head.size() - 1);
    for (char c : message) EXPECT_TRUE(c >= ' ' && c <= '~') << "not one printable line: " << message;
    for (const std::string& fragment : holds) EXPECT_NE(message.find(fragment), std::string::npos) << message;
}

// Deterministic bytes (a linear congruential generator) from the whole byte
// range except the colon, so that no line can be a header.
std::string garbage(std::size_t size, std::uint32_t seed) {
    std::string bytes;
    while (bytes.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        if (static_cast<char>(seed >> 24) != ':') bytes += static_cast<char>(seed >> 24);
    }
    return bytes;
}

// Binary garbage, and the strip saved as UTF-16 (a zero byte after every
// character, so no line begins with a colon): the reader passes over every
// line as a comment, the last one without a line end, and reaches the end
// of the file looking for the first header, on the file's last line.
TEST(BadInputCatalogue, BinaryOrUtf16FileHasNoHeader) {
    std::string utf16 = "\xFF\xFE";
    for (char c : test::strip().text()) utf16 += std::string{c, '\0'};
    for (const std::string& input : {garbage(4096, 7) + "no line end", utf16}) {
        test::model_run run(input);
        int last = 1;
        for (char c : input) last += c == '\n';
        expect_failure(run.result, "END_ERROR",
                       {"input.txt:" + std::to_string(last) + ": ", "header of the control section"});
        EXPECT_EQ(run.result.out, "");
        for (const char* name : writers) EXPECT_FALSE(run.dir.has(name)) << name;
    }
}

// Garbage where the first number is expected: the message quotes it with
// its unprintable bytes written as \xNN, on the line of the garbage.
TEST(BadInputCatalogue, BinaryGarbageWhereANumberIsExpected) {
    test::model_run run("Strip\n: control\n" + std::string(1, '\0') + "\x01\xFF\x80" + garbage(512, 3));
    expect_failure(run.result, "DATA_ERROR", {"input.txt:3: ", "(eta", "found \"\\x00\\x01\\xFF\\x80"});
    EXPECT_EQ(run.result.out, "");
}

// A copy of the strip cut after any word or line end ends with END_ERROR on
// the line where the text stops, or on the count of nodes (line 7) or
// elements (line 14) when the rest cannot hold the records it announces;
// nothing is written.
TEST(BadInputCatalogue, CutAnywhereEndsWhereTheTextStops) {
    const std::string whole = test::strip().text();
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const char before = n == 0 ? '\n' : whole[n - 1];
        if (before != '\n' && (before == ' ' || (whole[n] != ' ' && whole[n] != '\n'))) continue;
        const std::string text = whole.substr(0, n);
        int last = before == '\n' && n > 0 ? 0 : 1;
        for (char c : text) last += c == '\n';
        const int count = last >= 7 && last <= 12 ? 7 : last >= 14 && last <= 17 ? 14 : 0;
        const std::string at_count = "input.txt:" + std::to_string(count) + ": the count";
        test::model_run run(text);
        const bool counted = count != 0 && run.result.err.find(at_count) != std::string::npos;
        expect_failure(run.result, "END_ERROR",
                       {counted ? at_count : "input.txt:" + std::to_string(last) + ": the file ends"});
        EXPECT_EQ(run.result.out, "");
        for (const char* name : writers) EXPECT_FALSE(run.dir.has(name)) << name;
    }
}

// The working directory itself cannot be written: it is bound read-only
// over itself in a mount namespace of its own (chmod would not stop root,
// who runs the tests in CI). The first writer cannot create its file.
TEST(UnwritableOutput, ReadOnlyWorkingDirectory) {
    test::scratch_dir dir, streams;  // standard output and error go outside the read-only directory
    dir.write("input.txt", test::read_file(strip_run / "input.txt"));
    const std::string bind = "mount --bind -o ro '" + dir.path().string() + "' '" + dir.path().string() + "'";
    if (std::system(("unshare -m sh -c \"" + bind + "\" >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "no mount namespace here: the read-only directory cannot be made";
    const int raw =
        std::system(("unshare -m sh -c \"" + bind + " && cd '" + dir.path().string() + "' && '" + VELMORA_BINARY +
                     "' > '" + (streams / "out").string() + "' 2> '" + (streams / "err").string() + "'\"")
                        .c_str());
    const test::run_result r{raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, streams.read("out"),
                             streams.read("err")};
    expect_failure(r, "USE_ERROR", {"\"ansys.txt\"", "Read-only"});
    EXPECT_EQ(r.out, "");
}

// A directory in the place of a writer's file, or the drawing a link to
// /dev/full, where it is created but its bytes cannot be written (a failure
// that must not be lost when the file is closed). The files of the writers
// before are complete, none after exists, and the verdict is printed once
// the deck is complete.
TEST(UnwritableOutput, FileTakenByADirectoryOrDiskFull) {
    const struct {
        int writer;
        bool disk_full;
        const char* holds;
    } cases[] = {{0, false, "cannot create \"ansys.txt\""},
                 {1, false, "cannot create \"autocad.scr\""},
                 {2, false, "cannot create \"output.txt\""},
                 {1, true, "\"autocad.scr\" in the working directory: No space left"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.holds);
        if (c.disk_full && !test::fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
        test::scratch_dir dir;
        dir.write("input.txt", test::read_file(strip_run / "input.txt"));
        if (c.disk_full)
            test::fs::create_symlink("/dev/full", dir / writers[c.writer]);
        else
            test::fs::create_directory(dir / writers[c.writer]);
        const test::run_result r = test::run_velmora(dir.path());
        expect_failure(r, "USE_ERROR", {c.holds});
        EXPECT_EQ(r.out, c.writer > 0 ? expected("stdout.txt") : "");
        for (int k = 0; k < c.writer; ++k) EXPECT_EQ(dir.read(writers[k]), expected(writers[k])) << writers[k];
        for (int k = c.writer + 1; k < 3; ++k) EXPECT_FALSE(dir.has(writers[k])) << writers[k];
    }
}

}  // namespace
