#pragma once
// The samples a keypoint's window reads from a level's gradient images: gradients exist at odd
// positions only, and the window keeps inside rows and columns 1 .. size - 3.

#include <algorithm>

namespace vantorra {

// The first odd index at or after `start`.
inline int firstOdd(int start) { return (start % 2 == 0) ? start + 1 : start; }

// Calls visit(r, first, count) for every odd row r within `half` rows of centreRow and every run
// of at most `run` odd columns first, first + 2, ... within `half` columns of centreCol, rows
// top to bottom and runs left to right, all inside 1 .. rows - 3 and 1 .. cols - 3.
template <typename Visit>
void forWindowRuns(int centreRow, int centreCol, int half, int rows, int cols, int run, Visit visit) {
    const int firstColumn = std::max(firstOdd(centreCol - half), 1);
    const int lastColumn = std::min(centreCol + half, cols - 3);
    for (int r = std::max(firstOdd(centreRow - half), 1); r <= std::min(centreRow + half, rows - 3); r += 2)
        for (int first = firstColumn; first <= lastColumn; first += 2 * run)
            visit(r, first, std::min(run, (lastColumn - first) / 2 + 1));
}

}  // namespace vantorra
