// The blur's inner sum gives, on whatever vectors this processor has, exactly the floats of
// adding each tap's product in order, one output at a time.

#include "numerics/weighted_sum.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vantorra {
namespace {

TEST(WeightedSum, EqualsTheProductsAddedInTapOrder) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-300.0f, 300.0f);
    for (const int taps : {1, 3, 31, 61, 300}) {  // 300 takes the path for long kernels
        for (const size_t n : {size_t{0}, size_t{5}, size_t{32}, size_t{77}, size_t{1000}}) {
            std::vector<float> kernel(static_cast<size_t>(taps));
            for (float& k : kernel) k = value(rng) / 300.0f;
            std::vector<std::vector<float>> rows(static_cast<size_t>(taps), std::vector<float>(n + 1));
            for (auto& row : rows)
                for (float& v : row) v = value(rng);
            std::vector<float> expected(n), out(n + 1, -1.0f);
            for (size_t i = 0; i < n; ++i) {
                float sum = 0.0f;
                for (int t = 0; t < taps; ++t) sum += kernel[static_cast<size_t>(taps - 1 - t)] * rows[static_cast<size_t>(t)][i];
                expected[i] = sum;
            }
            weightedSum(out.data(), n, kernel.data(), taps, [&](int t) { return rows[static_cast<size_t>(t)].data(); });
            for (size_t i = 0; i < n; ++i) ASSERT_EQ(out[i], expected[i]) << taps << " taps, " << n << " outputs, at " << i;
            EXPECT_EQ(out[n], -1.0f) << "wrote past the end";
        }
    }
}

}  // namespace
}  // namespace vantorra
