// Arc-length continuation on whole models, in process: the shallow arch of
// velmora-mesh arch (mesh/arch.hpp) pressed at its crown through its limit point, against
// the same arch whose crown is moved instead, and the monotone cantilever,
// against load increments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "grid_models.hpp"
#include "newton/newton_method.hpp"
#include "nlp.hpp"

namespace {

using velmora::load_path;
using velmora::model;

// The arch pressed by 0.03 at its crown: about 4/3 of its limit load.
velmora::mesh::arch pressed_arch() {
    velmora::mesh::arch a;
    a.force = 0.03;
    return a;
}

// The arch traced by arc-length continuation, the crown followed.
struct traced_arch {
    velmora::mesh::arch a = pressed_arch();
    model m = test::model_of(test::text_of(a));
    load_path path;
    velmora::newton_summary s;
    traced_arch() {
        path.follow = {int(velmora::mesh::crown(a))};
        s = velmora::arc_length_equilibrium(m, 0, {}, &path);
    }
};

// Each row is an equilibrium under its load factor: its residue within
// the allowable one, and the supports' reactions (there is no moving
// support) balancing the force lambda P down at the crown, to the residue
// left at the free directions. The path passes its limit point, goes down
// below a tenth of the force and comes back to the full force, the crown
// going down all the way; the tangents beyond the limit point are
// indefinite and factorised as L D L'.
TEST(NewtonArc, ArchSnapsThroughToTheFullLoad) {
    const traced_arch t;
    EXPECT_TRUE(t.s.optimal);
    EXPECT_EQ(t.s.load, 1);
    ASSERT_FALSE(t.path.rows.empty());
    double crown_before = 0, lowest_after_peak = 1;
    for (const velmora::load_path_row& row : t.path.rows) {
        SCOPED_TRACE(testing::Message() << "increment " << row.increment);
        EXPECT_LE(row.residue, t.m.allowable_residue);
        EXPECT_NEAR(row.reaction[1], row.load * *t.a.force, 1e-9 * *t.a.force);
        EXPECT_LT(row.followed[1], crown_before);
        crown_before = row.followed[1];
        if (!t.s.limits.empty() && row.increment > t.s.limits[0].increment)
            lowest_after_peak = std::min(lowest_after_peak, row.load);
    }
    EXPECT_EQ(t.path.rows.back().load, 1);
    ASSERT_EQ(t.s.limits.size(), 1u);
    EXPECT_EQ(t.path.limits.size(), 1u);
    EXPECT_LT(lowest_after_peak, 0.1);
    EXPECT_GT(t.s.tangents.indefinite, 0);
    EXPECT_EQ(t.s.tangents.refused, 0);
}

// The downward force at the crown of the arch whose crown is moved by
// crown_y, in equal increments.
double crown_force(const velmora::mesh::arch& pressed, double crown_y) {
    velmora::mesh::arch driven = pressed;
    driven.force.reset();
    driven.drop = -crown_y;
    driven.tolerance = 1e-13;
    model m = test::model_of(test::text_of(driven));
    load_path at_crown;
    const velmora::newton_summary s = velmora::newton_equilibrium(m, 8, {}, &at_crown);
    EXPECT_TRUE(s.optimal) << crown_y;
    return -at_crown.rows.back().reaction[1];
}

// The same arch with its crown moved down by the crown displacement of
// each row, in equal increments (no limit point when the crown is driven):
// the reaction there is the force lambda P of the row, up to the limit
// point, through it and down the descending branch. The largest of these
// reactions near the limit point (each an equilibrium of the path) bounds
// the limit load from below; the one pinned is that largest.
TEST(NewtonArc, ArchCurveIsTheCurveOfTheCrownDrivenArch) {
    const traced_arch t;
    ASSERT_TRUE(t.s.optimal);
    ASSERT_EQ(t.s.limits.size(), 1u);
    double largest = 0;
    for (const velmora::load_path_row& row : t.path.rows) {
        SCOPED_TRACE(testing::Message() << "increment " << row.increment << ", load " << row.load);
        const double carried = crown_force(t.a, row.followed[1]) / *t.a.force;
        EXPECT_NEAR(carried, row.load, 1e-8);
        if (row.increment <= t.s.limits[0].increment + 1) largest = std::max(largest, carried);
    }
    EXPECT_NEAR(t.s.limits[0].load, largest, 1e-8);
    // The largest force of the crown-driven arch, by a golden-section search
    // of its crown displacement between the rows either side of the limit
    // point: the limit load lies within 0.1 % below it.
    const std::size_t at = std::size_t(t.s.limits[0].increment - 1);
    ASSERT_LT(at + 1, t.path.rows.size());
    ASSERT_GT(at, 0u);
    double low = t.path.rows[at + 1].followed[1], high = t.path.rows[at - 1].followed[1];
    const double golden = (std::sqrt(5.0) - 1) / 2;
    double a = high - golden * (high - low), b = low + golden * (high - low);
    double fa = crown_force(t.a, a), fb = crown_force(t.a, b);
    while (high - low > 1e-7) {
        if (fa > fb) {
            high = b, b = a, fb = fa;
            a = high - golden * (high - low), fa = crown_force(t.a, a);
        } else {
            low = a, a = b, fa = fb;
            b = low + golden * (high - low), fb = crown_force(t.a, b);
        }
    }
    const double peak = crown_force(t.a, (low + high) / 2) / *t.a.force;
    EXPECT_LE(t.s.limits[0].load, peak * (1 + 1e-9));
    EXPECT_GE(t.s.limits[0].load, peak * (1 - 1e-3));
}

// The cantilever of 10 x 2 cells under an end load, monotone: the path by
// arc-length continuation ends where load increments end, to 1e-8 of the
// largest displacement.
TEST(NewtonArc, CantileverEndsWhereLoadIncrementsEnd) {
    test::mesh::strip g = test::mesh::unit_cells(10, 2);
    g.length = 5, g.height = 1, g.bulk = 10;
    g.load_y = -0.02;
    g.tolerance = 1e-12, g.max_iterations = 200;
    model by_path = test::model_of(g), by_loads = test::model_of(g);
    const velmora::newton_summary a = velmora::arc_length_equilibrium(by_path, 0);
    const velmora::newton_summary b = velmora::newton_equilibrium(by_loads, 0);
    ASSERT_TRUE(a.optimal);
    ASSERT_TRUE(b.optimal);
    EXPECT_TRUE(a.limits.empty());
    EXPECT_GT(a.increments, 1);
    const double scale = nlp::norm(by_loads.dof_count, by_loads.displacement);
    EXPECT_GT(scale, 0.5);
    for (int k = 1; k <= by_loads.dof_count; ++k)
        EXPECT_NEAR(by_path.displacement(k), by_loads.displacement(k), 1e-8 * scale) << k;
}

}  // namespace
