// The sparse step solve against the dense elimination, and its independence of the order of the
// parameters: the same system with its cameras listed in another order has the same solution,
// reordered alike.

#include "adjust/damped_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>

namespace vantorra {
namespace {

// A chain of `blocks` cameras of four parameters each, every camera coupled to the next and, with
// `ring`, the last to the first: symmetric and positive definite once damped.
Matrix chainSystem(int blocks, bool ring, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    const int p = 4 * blocks;
    Matrix a(p, p);
    auto couple = [&](int i, int j) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                const float v = d(rng);
                a.at(4 * i + r, 4 * j + c) += v;
                a.at(4 * j + c, 4 * i + r) += v;
            }
    };
    for (int k = 0; k + 1 < blocks; ++k) couple(k, k + 1);
    if (ring) couple(blocks - 1, 0);
    for (int k = 0; k < p; ++k) a.at(k, k) += 20.0f;
    return a;
}

TEST(DampedSolverTest, SolvesLikeTheDenseEliminationInAnyOrderOfTheCameras) {
    const struct {
        int blocks;
        bool ring;
        float alpha;
    } cases[] = {{2, false, 1.0f}, {12, false, 0.2f}, {30, true, 0.0f}, {30, true, 5.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.blocks << " cameras" << (c.ring ? " in a ring" : "") << ", alpha " << c.alpha);
        const Matrix a = chainSystem(c.blocks, c.ring, 5);
        const int p = a.rows;
        std::vector<float> prior(static_cast<size_t>(p));
        Matrix g(p, 1);
        for (int k = 0; k < p; ++k) {
            prior[static_cast<size_t>(k)] = 1.0f + static_cast<float>(k % 3);
            g.at(k) = std::sin(static_cast<float>(k));
        }
        Matrix dense = a, rhs = g;
        for (int k = 0; k < p; ++k) dense.at(k, k) += c.alpha * c.alpha * prior[static_cast<size_t>(k)];
        const Matrix expected = solve(dense, rhs);
        const Matrix delta = DampedSolver(a, prior).solve(g, c.alpha);
        for (int k = 0; k < p; ++k) EXPECT_NEAR(delta.at(k), expected.at(k), 1e-4f) << k;

        // The cameras in a shuffled order: the same solution, shuffled alike.
        std::vector<int> order(static_cast<size_t>(c.blocks));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(9));
        Matrix pa(p, p), pg(p, 1);
        std::vector<float> pprior(static_cast<size_t>(p));
        auto moved = [&](int k) { return 4 * order[static_cast<size_t>(k / 4)] + k % 4; };
        for (int r = 0; r < p; ++r) {
            pg.at(r) = g.at(moved(r));
            pprior[static_cast<size_t>(r)] = prior[static_cast<size_t>(moved(r))];
            for (int q = 0; q < p; ++q) pa.at(r, q) = a.at(moved(r), moved(q));
        }
        const Matrix shuffled = DampedSolver(pa, pprior).solve(pg, c.alpha);
        for (int k = 0; k < p; ++k) EXPECT_NEAR(shuffled.at(k), delta.at(moved(k)), 1e-5f) << k;
    }
}

TEST(DampedSolverTest, AMatrixThatCannotBeFactorisedGivesAStepOfNaN) {
    Matrix a(3, 3);  // all zero, no damping: singular
    const Matrix delta = DampedSolver(a, {1.0f, 1.0f, 1.0f}).solve(Matrix(3, 1), 0.0f);
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(std::isnan(delta.at(k)));
    // The same matrix with damping is solved.
    EXPECT_FALSE(std::isnan(DampedSolver(a, {1.0f, 1.0f, 1.0f}).solve(Matrix(3, 1), 1.0f).at(0)));
}

}  // namespace
}  // namespace vantorra
