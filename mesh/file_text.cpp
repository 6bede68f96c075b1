#include "file_text.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace velmora::mesh {

namespace {

std::string reason(int error) { return error != 0 ? std::strerror(error) : "input/output error"; }

}  // namespace

std::optional<std::string> read_text(const std::string& file, std::string& why) {
    errno = 0;
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr) {
        why = reason(errno);
        return std::nullopt;
    }
    // Room for the whole file at once when its size is known (a directory
    // or a pipe has none: the text then grows as it is read).
    std::string text;
    std::error_code no_size;
    const std::uintmax_t size = std::filesystem::file_size(file, no_size);
    if (!no_size) text.reserve(static_cast<std::size_t>(size));
    char block[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, n);
    const bool failed = std::ferror(f) != 0;
    const int error = errno;
    std::fclose(f);
    if (failed) {
        why = reason(error);
        return std::nullopt;
    }
    return text;
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
