// The naming convention of gmsh physical groups that carry supports and
// loads. A physical point or curve is named by a keyword and its values:
//
//   fix D...          every node of the group held (displacement 0) in each
//                     direction D (x, y or z): "fix x", "fix x y z"
//   move D V ...      every node of the group moved by V in direction D:
//                     "move x 0.25", "move x 0.25 y 0"
//   load D F ...      a total force F in direction D on the group: "load y -10"
//
// Words are separated by blanks; keywords and directions may be written in
// either case; a direction appears at most once in a name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mesh_error.hpp"

namespace velmora::mesh {

enum class condition_kind { fix, move, load };

struct condition {
    condition_kind kind = condition_kind::fix;
    struct item {
        int direction = 1;  // 1, 2, 3 for x, y, z
        double value = 0;   // prescribed displacement or total force; 0 for fix
    };
    std::vector<item> items;  // in the order the name gives them
};

// True when the name begins with one of the keywords (in any case), so that
// it is meant as a support or a load.
bool names_condition(std::string_view name);

// The condition a group name stands for. Throws mesh_error naming the
// group (what, for example "physical curve 3") for a name that does not
// follow the convention.
condition parse_group_name(std::string_view name, const std::string& what);

// "x", "y" or "z".
const char* direction_name(int direction);

}  // namespace velmora::mesh
