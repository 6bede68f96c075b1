// Tests of the element tangent and of its positive semi-definite
// projection. The tangent is checked against central differences of the
// element's nodal forces, against the small-strain plane-strain stiffness
// at rest, and for the symmetry and translation invariance of any second
// derivative of the energy; the projection against a matrix of known
// spectrum and against the eigen decomposition of element tangents.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "mechanics/mechanics.hpp"
#include "model/steps.hpp"
#include "read/input.hpp"
#include "test_models.hpp"
#ifdef VELMORA_HAVE_NEWTON
#include "newton/psd_projection.hpp"
#endif

namespace {

using namespace test::element_tests;
using velmora::fmat1;
using velmora::model;

// A 9 x 9 matrix, row-major.
struct matrix {
    std::array<double, 81> entries{};
    double& operator()(int i, int j) { return entries[std::size_t(i) * 9 + std::size_t(j)]; }
    double operator()(int i, int j) const { return entries[std::size_t(i) * 9 + std::size_t(j)]; }
    double* data() { return entries.data(); }
    bool operator==(const matrix&) const = default;
};

// Central differences of forces of order 1-10 with step 1e-6: truncation
// h^2 f'''/6 ~ 1e-11 and rounding eps |f| / h ~ 1e-9 stay well below it.
constexpr double kStep = 1e-6, kCentralDifferenceTol = 1e-7;
// Relative to the largest entry or eigenvalue: rounding of a few dozen
// operations, or of an eigen decomposition of order 9.
constexpr double kRoundoffTol = 1e-13;

// One triangle with every direction free, read and set up as a run does;
// supports, when given, as "node direction value" lines.
model triangle(const law& l, double thickness, const std::array<vec, 3>& nodes,
               const std::vector<std::string>& supports = {}) {
    std::string t =
        "tangent test\n: control\n0.9 20 0.001 1 100 5\n: material\n" + l.input_line(thickness) + "\n: nodes\n3\nn\n";
    for (int i = 0; i < 3; ++i)
        t += std::to_string(i + 1) + " " + number_text(nodes[i][0]) + " " + number_text(nodes[i][1]) + " " +
             number_text(nodes[i][2]) + "\n";
    t += ": elements\n1\ne\n1 1 2 3\n: supports\n" + std::to_string(supports.size()) + "\nn\n";
    for (const std::string& s : supports) t += s + "\n";
    t += ": loads\n0\nn\n";
    model m;
    velmora::read_model(m, t, "input.txt");
    velmora::start(m);
    return m;
}

// With every direction free, degree of freedom 3 (k - 1) + d is corner k,
// direction d: the numbering of the tangent.
fmat1 free_vector(const std::array<vec, 3>& u) {
    fmat1 v(9);
    for (int i = 0; i < 9; ++i) v.data()[i] = u[std::size_t(i / 3)][std::size_t(i % 3)];
    return v;
}

matrix tangent_of(const model& m, const fmat1& v) {
    matrix k;
    velmora::element_tangent(m, 1, v, k.data());
    return k;
}

double largest(const matrix& k) {
    double a = 0;
    for (double x : k.entries) a = std::max(a, std::abs(x));
    return a;
}

// A triangle in the plane of e1 and e2 (test_models.hpp).
const std::array<vec, 3> tilted{corner, corner + 2 * e1, corner + 1.5 * e2};

// The tilted triangle with legs 2 e1 and 1.5 e2 moved to legs 2 l1 a and
// 1.5 (g a + l2 b) at another corner: in-plane stretches l1, l2, shear g.
struct state {
    const char* name;
    double l1, l2, g;
    vec a, b;

    std::array<vec, 3> displacements() const {
        const vec moved{-1.2, 0.4, 2.5};
        return {moved - tilted[0], moved + 2 * l1 * a - tilted[1], moved + 1.5 * (g * a + l2 * b) - tilted[2]};
    }
};
const state stretched{"stretched", 1.4, 1.1, 0.0, f1, f2};
const state compressed{"compressed", 0.7, 0.8, 0.0, e1, e2};
const state sheared{"sheared", 1.0, 1.0, 0.4, f2, f1};  // also turned over: b x a against e1 x e2

TEST(ElementTangent, IsTheDerivativeOfTheNodalForces) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::array<vec, 3> general;  // a state of no particular form, out of the initial plane
    for (vec& u : general)
        for (double& c : u) c = 0.3 * unit(random);
    for (const law& l : both_laws) {
        const model m = triangle(l, 0.8, tilted);
        for (const auto& [name, u] : {std::pair{stretched.name, stretched.displacements()},
                                      {compressed.name, compressed.displacements()},
                                      {sheared.name, sheared.displacements()},
                                      {"general", general}}) {
            SCOPED_TRACE(testing::Message() << "kind " << l.kind << ", " << name);
            fmat1 v = free_vector(u);
            const matrix k = tangent_of(m, v);
            for (int j = 0; j < 9; ++j) {
                velmora::nodal_force up, down;
                const double kept = v.data()[j];
                v.data()[j] = kept + kStep;
                velmora::element2(m, 1, v, up);
                v.data()[j] = kept - kStep;
                velmora::element2(m, 1, v, down);
                v.data()[j] = kept;
                for (int i = 0; i < 9; ++i) {
                    const double difference = (up(i / 3 + 1)(i % 3 + 1) - down(i / 3 + 1)(i % 3 + 1)) / (2 * kStep);
                    EXPECT_NEAR(k(i, j), difference, kCentralDifferenceTol) << i << " " << j;
                }
            }
        }
    }
}

// Any Hessian of an energy that a translation leaves unchanged is symmetric
// and maps a translation to zero; this one is symmetric to the last bit.
TEST(ElementTangent, IsSymmetricAndMapsTranslationsToZero) {
    for (const law& l : both_laws)
        for (const state& s : {stretched, compressed, sheared}) {
            SCOPED_TRACE(testing::Message() << "kind " << l.kind << ", " << s.name);
            const matrix k = tangent_of(triangle(l, 0.8, tilted), free_vector(s.displacements()));
            const double scale = largest(k);
            ASSERT_GT(scale, 0.1);
            for (int i = 0; i < 9; ++i) {
                for (int j = 0; j < 9; ++j) EXPECT_EQ(k(i, j), k(j, i));
                for (int d = 0; d < 3; ++d) {  // row i times the translation along d
                    EXPECT_NEAR(k(i, d) + k(i, d + 3) + k(i, d + 6), 0.0, kRoundoffTol * scale) << i << " " << d;
                }
            }
        }
}

// At rest the stress is zero, so the tangent is the small-strain stiffness
// t A B^T C B of the unit right triangle in the xy-plane, with plane-strain
// moduli from the laws' linearisation: shear modulus G = mu (neo-Hookean)
// or 2 (c10 + c01) (Mooney-Rivlin), bulk modulus `bulk`, lambda = bulk -
// 2 G / 3. Without stress there is no stiffness across the plane.
TEST(ElementTangent, AtRestIsTheSmallStrainPlaneStrainStiffness) {
    // Shape function gradients of corners (0, 0), (1, 0), (0, 1).
    const double gradient[3][2] = {{-1, -1}, {1, 0}, {0, 1}};
    for (const law& l : both_laws) {
        SCOPED_TRACE(l.kind);
        const double thickness = 0.8, area = 0.5;
        const model m = triangle(l, thickness, {vec{0, 0, 0}, vec{1, 0, 0}, vec{0, 1, 0}});
        const matrix k = tangent_of(m, free_vector({}));
        const double G = l.kind == 1 ? l.a : 2 * (l.a + l.b), lambda = l.bulk - 2 * G / 3;
        const double scale = thickness * area * (lambda + 2 * G) * 2;  // about the largest entry
        const double C[3][3] = {{lambda + 2 * G, lambda, 0}, {lambda, lambda + 2 * G, 0}, {0, 0, G}};
        // B: strains (exx, eyy, gxy) by the in-plane components (corner c, direction d) at 3 c + d.
        double B[3][9] = {};
        for (std::size_t c = 0; c < 3; ++c) {
            B[0][3 * c] = gradient[c][0];
            B[1][3 * c + 1] = gradient[c][1];
            B[2][3 * c] = gradient[c][1];
            B[2][3 * c + 1] = gradient[c][0];
        }
        for (int i = 0; i < 9; ++i)
            for (int j = 0; j < 9; ++j) {
                double expected = 0;
                for (int r = 0; r < 3; ++r)
                    for (int s = 0; s < 3; ++s) expected += B[r][i] * C[r][s] * B[s][j];
                expected *= thickness * area;
                EXPECT_NEAR(k(i, j), expected, kRoundoffTol * scale) << i << " " << j;
            }
    }
}

// A prescribed corner takes its displacement from the model: the same
// tangent, to the bit, as with that corner free and moved alike.
TEST(ElementTangent, PrescribedCornersTakeTheirPrescribedDisplacement) {
    const std::array<vec, 3> u = sheared.displacements();
    std::vector<std::string> supports;
    supports.reserve(3);
    for (int d = 0; d < 3; ++d)
        supports.push_back("2 " + std::to_string(d + 1) + " " + number_text(u[1][std::size_t(d)]));
    const model held = triangle(mooney_rivlin, 0.8, tilted, supports);
    ASSERT_EQ(held.dof_count, 6);
    fmat1 v(6);
    for (int i = 0; i < 3; ++i) {
        v.data()[i] = u[0][std::size_t(i)];
        v.data()[3 + i] = u[2][std::size_t(i)];
    }
    EXPECT_EQ(tangent_of(held, v), tangent_of(triangle(mooney_rivlin, 0.8, tilted), free_vector(u)));
}

#ifdef VELMORA_HAVE_NEWTON

// LAPACK's eigensolver, as the reference decomposition of the checks.
extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
                       double* work, const int* lwork, int* info, std::size_t jobz_length, std::size_t uplo_length);

// Eigenvalues, ascending, and eigenvectors: component c of vector j is vectors(j, c).
void eigen(const matrix& k, std::array<double, 9>& lambda, matrix& vectors) {
    vectors = k;
    double work[600];
    const int n = 9, lwork = 600;
    int info = 0;
    dsyev_("V", "U", &n, vectors.data(), &n, lambda.data(), work, &lwork, &info, 1, 1);
    ASSERT_EQ(info, 0);
}

matrix projected(matrix k) {
    velmora::project_psd(k.data());
    return k;
}

// Q = I - 2 w w^T / w.w is orthogonal; Q diag(lambda) Q^T has the spectrum
// lambda, and its projection is Q diag(max(lambda, 0)) Q^T.
TEST(PsdProjection, ClampsTheNegativeEigenvaluesOfAKnownSpectrum) {
    const double w[9] = {1, -2, 0.5, 3, 1, -1, 2, 0.25, -0.75};
    double ww = 0;
    for (double x : w) ww += x * x;
    const auto spectral = [&](const std::array<double, 9>& lambda) {
        matrix k{};
        for (int i = 0; i < 9; ++i)
            for (int j = 0; j < 9; ++j)
                for (int c = 0; c < 9; ++c) {
                    const double qi = (i == c) - 2 * w[i] * w[c] / ww, qj = (j == c) - 2 * w[j] * w[c] / ww;
                    k(i, j) += qi * lambda[std::size_t(c)] * qj;
                }
        for (int i = 0; i < 9; ++i)  // exactly symmetric, as a tangent is
            for (int j = 0; j < i; ++j) k(i, j) = k(j, i);
        return k;
    };
    const std::array<double, 9> lambda{-3, 7, 0.5, -1e-3, 2, 0, 10, -40, 1};
    const double scale = 40;  // the largest magnitude among lambda
    std::array<double, 9> clamped;
    std::transform(lambda.begin(), lambda.end(), clamped.begin(), [](double x) { return std::max(x, 0.0); });
    const matrix k = projected(spectral(lambda)), expected = spectral(clamped);
    for (int i = 0; i < 81; ++i)
        EXPECT_NEAR(k.entries[std::size_t(i)], expected.entries[std::size_t(i)], kRoundoffTol * scale) << i;
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 9; ++j) EXPECT_EQ(k(i, j), k(j, i));
    // Without a negative eigenvalue, or with an entry that is not finite,
    // nothing changes. (A zero eigenvalue may come out of rounding negative.)
    const matrix positive = spectral({3, 7, 0.5, 1e-3, 2, 0.1, 10, 40, 1});
    EXPECT_EQ(projected(positive), positive);
    matrix broken = spectral(lambda);
    broken.entries[40] = std::nan("");
    const matrix after = projected(broken);
    for (int i = 0; i < 81; ++i) {
        if (i == 40) continue;
        EXPECT_EQ(after.entries[std::size_t(i)], broken.entries[std::size_t(i)]) << i;
    }
    EXPECT_TRUE(std::isnan(after.entries[40]));
}

// Stretched in both directions, the element is stable and under tension,
// which stiffens its rotations and its motions across the plane: its
// tangent is positive semi-definite (zero for the three translations) and
// stays as it is to rounding.
TEST(PsdProjection, LeavesAStretchedElementsTangentAsItIs) {
    for (const law& l : both_laws) {
        SCOPED_TRACE(l.kind);
        const matrix k = tangent_of(triangle(l, 0.8, tilted), free_vector(stretched.displacements()));
        const matrix p = projected(k);
        for (int i = 0; i < 81; ++i)
            EXPECT_NEAR(p.entries[std::size_t(i)], k.entries[std::size_t(i)], kRoundoffTol * largest(k)) << i;
    }
}

// Compressed, the element's rotations and motions across the plane lose
// stiffness: the tangent is indefinite. Its projection keeps each eigenpair
// of a positive eigenvalue, maps the others to zero, and has no eigenvalue
// below rounding of the largest one.
TEST(PsdProjection, KeepsThePositivePartOfACompressedElementsTangent) {
    for (const law& l : both_laws) {
        SCOPED_TRACE(l.kind);
        const matrix k = tangent_of(triangle(l, 0.8, tilted), free_vector(compressed.displacements()));
        std::array<double, 9> lambda, after;
        matrix v, unused;
        eigen(k, lambda, v);
        const double scale = lambda[8];
        ASSERT_LT(lambda[0], -0.01 * scale);  // clearly indefinite
        const matrix p = projected(k);
        for (int j = 0; j < 9; ++j)
            for (int i = 0; i < 9; ++i) {
                double pv = 0;
                for (int c = 0; c < 9; ++c) pv += p(i, c) * v(j, c);
                EXPECT_NEAR(pv, std::max(lambda[std::size_t(j)], 0.0) * v(j, i), kRoundoffTol * scale)
                    << "eigenpair " << j << ", row " << i;
            }
        eigen(p, after, unused);
        EXPECT_GE(after[0], -kRoundoffTol * scale);
    }
}

#endif  // VELMORA_HAVE_NEWTON

}  // namespace
