// The naming convention of physical groups: what each accepted name means,
// and a clear refusal of every name that means nothing.
#include <gtest/gtest.h>

#include "group_name.hpp"

namespace {

using velmora::mesh::condition;
using velmora::mesh::condition_kind;
using velmora::mesh::mesh_error;
using velmora::mesh::parse_group_name;

struct item {
    int direction;
    double value;
};

void expect_items(const condition& c, std::initializer_list<item> expected) {
    ASSERT_EQ(c.items.size(), expected.size());
    std::size_t i = 0;
    for (const item& e : expected) {
        EXPECT_EQ(c.items[i].direction, e.direction) << "item " << i;
        EXPECT_EQ(c.items[i].value, e.value) << "item " << i;
        ++i;
    }
}

std::string refusal(const std::string& name) {
    try {
        parse_group_name(name, "physical curve 7");
    } catch (const mesh_error& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(group_name, fix_holds_each_named_direction_at_zero) {
    const condition c = parse_group_name("fix x y", "g");
    EXPECT_EQ(c.kind, condition_kind::fix);
    expect_items(c, {{1, 0.0}, {2, 0.0}});
    expect_items(parse_group_name("fix z", "g"), {{3, 0.0}});
}

TEST(group_name, move_and_load_pair_each_direction_with_its_value) {
    const condition move = parse_group_name("move x 0.25 y -1e-3", "g");
    EXPECT_EQ(move.kind, condition_kind::move);
    expect_items(move, {{1, 0.25}, {2, -0.001}});
    const condition load = parse_group_name("load y -10", "g");
    EXPECT_EQ(load.kind, condition_kind::load);
    expect_items(load, {{2, -10.0}});
    expect_items(parse_group_name("load z +2.5", "g"), {{3, 2.5}});
}

// gmsh keeps names as typed; capitals, tabs and extra blanks mean the same.
TEST(group_name, case_and_blanks_do_not_matter) {
    const condition c = parse_group_name("  FIX\tX   z ", "g");
    EXPECT_EQ(c.kind, condition_kind::fix);
    expect_items(c, {{1, 0.0}, {3, 0.0}});
    expect_items(parse_group_name("Load Y 3", "g"), {{2, 3.0}});
}

TEST(group_name, an_unknown_keyword_is_refused_with_the_convention) {
    const std::string why = refusal("clamp x");
    EXPECT_NE(why.find("unknown group name"), std::string::npos) << why;
    EXPECT_NE(why.find("physical curve 7 \"clamp x\""), std::string::npos) << why;
    EXPECT_NE(why.find("fix x y"), std::string::npos) << why;  // says what would be understood
    EXPECT_NE(refusal("").find("has no name"), std::string::npos);
    EXPECT_NE(refusal("plate").find("unknown group name"), std::string::npos);
}

TEST(group_name, incomplete_or_malformed_conditions_are_refused) {
    EXPECT_NE(refusal("fix").find("at least one direction"), std::string::npos);
    EXPECT_NE(refusal("fix w").find("expected a direction"), std::string::npos);
    EXPECT_NE(refusal("fix x x").find("given twice"), std::string::npos);
    EXPECT_NE(refusal("move x").find("needs a value"), std::string::npos);
    EXPECT_NE(refusal("move x 0.25 y").find("needs a value"), std::string::npos);
    EXPECT_NE(refusal("load y abc").find("finite number"), std::string::npos);
    EXPECT_NE(refusal("load y inf").find("finite number"), std::string::npos);
    EXPECT_NE(refusal("load y nan").find("finite number"), std::string::npos);
    EXPECT_NE(refusal("load y 1.5.2").find("finite number"), std::string::npos);
    EXPECT_NE(refusal("fix x 0").find("expected a direction"), std::string::npos);  // fix takes no values
}

TEST(group_name, only_the_three_keywords_name_a_condition) {
    EXPECT_TRUE(velmora::mesh::names_condition("fix x"));
    EXPECT_TRUE(velmora::mesh::names_condition(" Move x 1"));
    EXPECT_TRUE(velmora::mesh::names_condition("LOAD"));
    EXPECT_FALSE(velmora::mesh::names_condition("plate"));
    EXPECT_FALSE(velmora::mesh::names_condition("fixture"));
    EXPECT_FALSE(velmora::mesh::names_condition(""));
}

}  // namespace
