#include "pipeline/registration.h"

#include <algorithm>
#include <cmath>

namespace vantorra {

Matrix featureToPhotoTransform(const ImageSize& reduced, int32_t level) {
    Matrix centre(3, 3);
    centre.setIdentity();
    centre.at(0, 2) = (static_cast<float>(reduced.height) - 1.0f) / 2.0f;
    centre.at(1, 2) = (static_cast<float>(reduced.width) - 1.0f) / 2.0f;

    return multiply(reductionMatrix(level), centre);
}

namespace {

// Adds the centring offsets (1 - rows) / 2 and (1 - cols) / 2 to every column of a 2 x n list.
void centrePositions(Matrix& positions, const ImageSize& reduced) {
    const float dx = (1.0f - static_cast<float>(reduced.height)) / 2.0f;
    const float dy = (1.0f - static_cast<float>(reduced.width)) / 2.0f;
    for (int k = 0; k < positions.cols; ++k) {
        positions.at(0, k) += dx;
        positions.at(1, k) += dy;
    }
}

}  // namespace

void centreMatches(MatchTable& matches, const std::vector<ImageSize>& reduced) {
    const int n = matches.size();
    for (int j = 0; j < n; ++j)
        for (int k = 0; k < n; ++k) {
            if (matches.count(j, k) <= 0) continue;
            centrePositions(matches.points(j, k).first, reduced[j]);
            centrePositions(matches.points(j, k).second, reduced[k]);
        }
}

CameraPair chooseFirstPair(const MatchTable& matches, const std::vector<int32_t>& component) {
    CameraPair best;
    best.registered = component.empty() ? -1 : component.front();
    for (const int32_t a : component)
        for (const int32_t b : component)
            if (matches.count(a, b) > best.count) best = {a, b, matches.count(a, b)};
    return best;
}

CameraPair chooseNextPair(const MatchTable& matches, const std::vector<int32_t>& component,
                          const std::vector<bool>& registered) {
    CameraPair best;
    for (const int32_t r : component) {
        if (!registered[r]) continue;
        for (const int32_t u : component) {
            if (registered[u]) continue;
            const int32_t count = std::max(matches.count(r, u), matches.count(u, r));
            if (count > best.count) best = {r, u, count};
        }
    }
    return best;
}

}  // namespace vantorra
