#pragma once
// Per ordered image pair (i, j): the match count and the matched positions. Column k of `first`
// is (row, col) of match k in image i, column k of `second` its partner in image j. The positions
// are in pixels of the respective feature images: from the top-left pixel after matching, from
// the image centre once the driver has re-centred them. count(i, i) is always 0.

#include <cstdint>
#include <vector>

#include "numerics/matrix.h"

namespace vantorra {

struct MatchPoints {
    Matrix first;   // 2 x count, positions in image i
    Matrix second;  // 2 x count, positions in image j
};

class MatchTable {
public:
    MatchTable() = default;
    explicit MatchTable(int n) { reset(n); }

    // n x n zero counts and empty matrices.
    void reset(int n) {
        size_ = n;
        counts_.assign(static_cast<size_t>(n) * n, 0);
        points_.assign(static_cast<size_t>(n) * n, MatchPoints{});
    }
    int size() const { return size_; }
    int32_t& count(int i, int j) { return counts_[index(i, j)]; }
    int32_t count(int i, int j) const { return counts_[index(i, j)]; }
    MatchPoints& points(int i, int j) { return points_[index(i, j)]; }
    const MatchPoints& points(int i, int j) const { return points_[index(i, j)]; }

private:
    size_t index(int i, int j) const { return static_cast<size_t>(i) * size_ + j; }
    int size_ = 0;
    std::vector<int32_t> counts_;
    std::vector<MatchPoints> points_;
};

}  // namespace vantorra
