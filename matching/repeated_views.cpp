#include "matching/repeated_views.h"

#include <algorithm>
#include <cmath>

namespace vantorra {

namespace {

constexpr int kGrid = 8;
// A twentieth of the frame: under the tenth neighbouring views move by.
constexpr int kShiftFraction = 20;
// A repeat differs from its original by no more than this share of the content's own shift
// difference.
constexpr double kShiftShare = 0.5;

double meanShiftDifference(const FloatImage& image, int dr, int dc) {
    double sum = 0.0;
    int64_t count = 0;
    for (int r = 0; r + dr < image.rows; ++r)
        for (int c = 0; c + dc < image.cols; ++c)
            for (int k = 0; k < image.channels; ++k, ++count) sum += std::fabs(image.at(r, c, k) - image.at(r + dr, c + dc, k));
    return count > 0 ? sum / static_cast<double>(count) : 0.0;
}

}  // namespace

Signature signatureOf(const FloatImage& image) {
    Signature signature(static_cast<size_t>(kGrid * kGrid * image.channels), 0.0);
    if (image.empty()) return signature;
    const double scale = 1.0 / static_cast<double>(image.sampleCount());
    for (int r = 0; r < image.rows; ++r) {
        const int row = r * kGrid / image.rows;
        for (int c = 0; c < image.cols; ++c) {
            const size_t block = static_cast<size_t>((row * kGrid + c * kGrid / image.cols) * image.channels);
            for (int k = 0; k < image.channels; ++k) signature[block + static_cast<size_t>(k)] += image.at(r, c, k) * scale;
        }
    }
    return signature;
}

double signatureDifference(const Signature& a, const Signature& b) {
    double sum = 0.0;
    for (size_t k = 0; k < a.size(); ++k) sum += std::fabs(a[k] - b[k]);
    return sum;
}

double shiftDifference(const FloatImage& image) {
    if (image.empty()) return 0.0;
    const int dr = std::max(1, image.rows / kShiftFraction), dc = std::max(1, image.cols / kShiftFraction);
    return std::min(meanShiftDifference(image, dr, 0), meanShiftDifference(image, 0, dc));
}

bool sameView(const FloatImage& a, const FloatImage& b) {
    if (a.empty() || a.rows != b.rows || a.cols != b.cols || a.channels != b.channels) return false;
    double sum = 0.0;
    for (size_t k = 0; k < a.data.size(); ++k) sum += std::fabs(a.data[k] - b.data[k]);
    const double mean = sum / static_cast<double>(a.data.size());
    return mean < kDuplicateDifference && mean <= kShiftShare * shiftDifference(a);
}

int duplicateOf(int i, const std::vector<Photograph>& photographs, const std::vector<bool>& kept,
                const std::vector<Signature>& signatures) {
    const Photograph& photograph = photographs[static_cast<size_t>(i)];
    for (int j = 0; j < i; ++j) {
        const Photograph& other = photographs[static_cast<size_t>(j)];
        if (!kept[j] || other.size.width != photograph.size.width || other.size.height != photograph.size.height ||
            other.thumbnailLevel != photograph.thumbnailLevel ||
            signatureDifference(signatures[j], signatures[i]) >= kDuplicateDifference)
            continue;
        if (sameView(other.thumbnail, photograph.thumbnail)) return j;
    }
    return -1;
}

}  // namespace vantorra
