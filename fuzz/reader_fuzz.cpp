// Fuzz target of the reader: any bytes as the text of "input.txt". The
// reader either fills the model or raises a located reader failure
// (END_ERROR, DATA_ERROR, RANGE_ERROR); anything else, a crash, a sanitizer
// report, a leak, a hang or an allocation sized by a count that the text
// cannot hold, is a finding.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

#include "fuzz_checks.hpp"
#include "input.hpp"

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
    if (known_kind != m.material.has_value()) fuzz::violation("material present for an unknown kind or absent for 1, 2");
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
        return 0;
    } catch (const std::exception& e) {
        fuzz::violation(std::string("the reader threw a non-failure exception: ") + e.what());
    }
    check_model(m);
    return 0;
}
