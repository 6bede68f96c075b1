// The failure of import and export that the user can act on: the message
// says what was found and what to do.
#pragma once

#include <stdexcept>
#include <string>

namespace velmora::mesh {

class mesh_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws a mesh_error whose message is the parts (strings) one after another.
template <class... Parts>
[[noreturn]] void fail(const Parts&... parts) {
    std::string message;
    (message.append(parts), ...);
    throw mesh_error(message);
}

}  // namespace velmora::mesh
