#include "file_text.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "input.hpp"  // read_whole_file

namespace velmora::mesh {

namespace {

std::string reason(int error) { return error != 0 ? std::strerror(error) : "input/output error"; }

}  // namespace

std::optional<std::string> read_text(const std::string& file, std::string& why) {
    file_contents r = read_whole_file(file.c_str());
    if (!r.opened || r.read_failed) {
        why = reason(r.error);
        return std::nullopt;
    }
    return std::move(r.text);
}

std::string write_text(const std::string& file, const std::string& text) {
    const bool to_stdout = file == "-";
    errno = 0;
    std::FILE* f = to_stdout ? stdout : std::fopen(file.c_str(), "wb");
    if (f == nullptr) return reason(errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int write_error = errno;
    const bool closed = (to_stdout ? std::fflush(f) : std::fclose(f)) == 0;
    if (!written) return reason(write_error);
    if (!closed) return reason(errno);
    return {};
}

}  // namespace velmora::mesh
