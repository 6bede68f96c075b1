// Fuzz target of the reader: any bytes as the text of "input.txt". The
// reader either fills the model or raises a located reader failure
// (END_ERROR, DATA_ERROR, RANGE_ERROR), and reading the same bytes from a
// file in small pieces gives the same model or the same failure; anything
// else, a crash, a sanitizer report, a leak, a hang or an allocation sized
// by a count that the text cannot hold, is a finding.
#include <stdio.h>  // fmemopen

#include <bit>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string_view>

#include "fuzz_checks.hpp"
#include "read/input.hpp"

namespace {

// A model the reader accepted: every array it creates exists with the
// given counts, and the flags and the tolerance hold what they may.
void check_model(const velmora::model& m) {
    const int nodes = m.node_count > 0 ? m.node_count : 0;
    if (m.x.size() != static_cast<std::size_t>(nodes) || m.y.size() != m.x.size() || m.z.size() != m.x.size())
        fuzz::violation("coordinate arrays do not match the node count");
    if (m.dof_number.size() != static_cast<std::size_t>(nodes) * 3 || m.prescribed.size() != m.dof_number.size() ||
        m.force.size() != m.dof_number.size())
        fuzz::violation("node matrices do not match the node count");
    for (std::size_t k = 0; k < m.dof_number.size(); ++k)
        if (m.dof_number.data()[k] != 0 && m.dof_number.data()[k] != 1)
            fuzz::violation("a prescribed-direction flag other than 0 or 1");
    if (!(m.tolerance > 0)) fuzz::violation("a tolerance not greater than 0 was kept");
    const bool known_kind = m.material_input_kind == 1 || m.material_input_kind == 2;
    if (known_kind != m.material.has_value())
        fuzz::violation("material present for an unknown kind or absent for 1, 2");
}

bool same(double u, double v) { return std::bit_cast<std::uint64_t>(u) == std::bit_cast<std::uint64_t>(v); }
bool same(int u, int v) { return u == v; }

template <class T>
bool same_array(const T& a, const T& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (!same(a.data()[k], b.data()[k])) return false;
    return true;
}

// The two models hold the same bits in every field that the reader fills.
bool same_model(const velmora::model& a, const velmora::model& b) {
    if (!same(a.eta, b.eta) || a.search_limit != b.search_limit || !same(a.tolerance, b.tolerance) ||
        !same(a.reference_residue, b.reference_residue) || a.max_iterations != b.max_iterations ||
        a.memory != b.memory || !same(a.thickness, b.thickness) || a.material_input_kind != b.material_input_kind ||
        a.material.has_value() != b.material.has_value() || a.node_count != b.node_count)
        return false;
    if (a.material) {
        const velmora::mat_rec &u = *a.material, &v = *b.material;
        if (u.law() != v.law() || !same(u.bulk(), v.bulk())) return false;
        if (u.law() == velmora::material_law::neo_hookean ? !same(u.mu(), v.mu())
                                                          : !same(u.c10(), v.c10()) || !same(u.c01(), v.c01()))
            return false;
    }
    if (!same_array(a.x, b.x) || !same_array(a.y, b.y) || !same_array(a.z, b.z) ||
        !same_array(a.dof_number, b.dof_number) || !same_array(a.prescribed, b.prescribed) ||
        !same_array(a.force, b.force) || a.elements.size() != b.elements.size())
        return false;
    for (int e = 1; e <= a.element_count(); ++e)
        for (int k = 1; k <= 3; ++k)
            if (a.elements(e).node(k) != b.elements(e).node(k)) return false;
    return true;
}

// The same bytes read from a file a few bytes at a time, as "input.txt" is
// read: the same model, or the same failure with the same message. The
// piece size and whether the file's size is known come from the text.
void check_read_in_pieces(std::string_view text, const velmora::model& whole, const terms::failure* refusal) {
    if (text.empty()) return;  // fmemopen wants at least one byte
    FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    if (file == nullptr) fuzz::violation("fmemopen failed");
    const std::size_t piece = 1 + text.size() % 13;
    const std::optional<std::uintmax_t> size =
        text.size() % 2 == 0 ? std::optional<std::uintmax_t>(text.size()) : std::nullopt;
    velmora::model m;
    std::string streamed = "accepted";
    try {
        velmora::read_model(m, file, size, "input.txt", piece);
    } catch (const terms::failure& f) {
        streamed = f.name() + " : " + f.what();
    }
    std::fclose(file);
    const std::string expected = refusal ? refusal->name() + " : " + refusal->what() : "accepted";
    if (streamed != expected)
        fuzz::violation("read in pieces of " + std::to_string(piece) + ": " + streamed + "; whole text: " + expected);
    if (!refusal && !same_model(m, whole)) fuzz::violation("read in pieces, the model differs from the whole text's");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    velmora::model m;
    try {
        velmora::read_model(m, text, "input.txt");
    } catch (const terms::failure& f) {
        fuzz::check_failure(f, {"END_ERROR", "DATA_ERROR", "RANGE_ERROR"}, "the reader");
        fuzz::check_located(f, text);
        check_read_in_pieces(text, m, &f);
        return 0;
    } catch (const std::exception& e) {
        fuzz::violation(std::string("the reader threw a non-failure exception: ") + e.what());
    }
    check_model(m);
    check_read_in_pieces(text, m, nullptr);
    return 0;
}
