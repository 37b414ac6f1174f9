#include "matching/position_refinement.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "numerics/pair_projection.h"
#include "io/photo_reader.h"
#include "io/jpeg.h"
#include "numerics/mat3.h"
#include "numerics/wide_vectors.h"
#include "io/photo_image.h"

namespace vantorra {

namespace {

constexpr int kSide = 2 * kPatchRadius + 1;
constexpr int kSamples = kSide * kSide;

// The bilinear samples at (row + orow[k], col + ocol[k]), every position known to be inside
// (the four neighbours of each within the raster).
VANTORRA_WIDE_VECTORS
void sampleInside(const AlignmentRaster& r, float row, float col, const float* __restrict orow,
                  const float* __restrict ocol, float* __restrict values) {
    const float* __restrict grey = r.grey.data();
    const int cols = r.cols;
    for (int k = 0; k < kSamples; ++k) {
        const float y = row + orow[k], x = col + ocol[k];
        const int r0 = static_cast<int>(y), c0 = static_cast<int>(x);
        const float fr = y - static_cast<float>(r0), fc = x - static_cast<float>(c0);
        const int top = r0 * cols + c0, bottom = top + cols;
        values[k] = (1.0f - fr) * ((1.0f - fc) * grey[top] + fc * grey[top + 1]) +
                    fr * ((1.0f - fc) * grey[bottom] + fc * grey[bottom + 1]);
    }
}

// Template of one match: zero-mean samples on the integer grid around the rounded position,
// their gradients carried into the target's pixels, and the grid offsets in the target.
struct Template {
    std::array<float, kSamples> value;
    std::array<float, kSamples> sr, sc;  // steepest-descent directions in the target
    std::array<float, kSamples> orow, ocol;  // offset of each sample in the target
    float variance = 0.0f;                // sum of squared zero-mean values
    float h00 = 0.0f, h01 = 0.0f, h11 = 0.0f;  // sum of S S^T
    float p00 = 0.0f, p01 = 0.0f, p11 = 0.0f;  // the same of the normalised directions
    float rowLow = 0.0f, rowHigh = 0.0f, colLow = 0.0f, colHigh = 0.0f;  // extremes of orow, ocol
};

// The target is compared after its mean and spread are matched to the template's, so a shift
// that only adds a constant or scales the patch about its mean changes no residual: what a patch
// says about its position is in its steepest-descent directions less their parts along the
// constant and along the template itself. Their information (t.p00, p01, p11) gives the
// precision: a brightness ramp, which a shift only offsets, has none and is refused instead of
// being placed anywhere along it. The search steps with the plain directions; from a predicted
// start, weighted from the plain information towards this one as it closes in (alignPatch).
void positionInformation(Template& t) {
    float meanR = 0.0f, meanC = 0.0f, alongR = 0.0f, alongC = 0.0f;
    for (int k = 0; k < kSamples; ++k) {
        meanR += t.sr[k];
        meanC += t.sc[k];
        alongR += t.sr[k] * t.value[k];
        alongC += t.sc[k] * t.value[k];
    }
    meanR /= static_cast<float>(kSamples);
    meanC /= static_cast<float>(kSamples);
    alongR /= t.variance;
    alongC /= t.variance;
    t.p00 = t.p01 = t.p11 = 0.0f;
    for (int k = 0; k < kSamples; ++k) {  // value is zero-mean: the two parts are orthogonal
        const float r = t.sr[k] - meanR - alongR * t.value[k], c = t.sc[k] - meanC - alongC * t.value[k];
        t.p00 += r * r;
        t.p01 += r * c;
        t.p11 += c * c;
    }
}

bool buildTemplate(const AlignmentRaster& from, float row, float col, const float a[4],
                   Template& t) {
    const float margin = static_cast<float>(kPatchRadius + 1);
    if (!(row >= margin && col >= margin && row < static_cast<float>(from.rows) - margin - 1.0f &&
          col < static_cast<float>(from.cols) - margin - 1.0f))
        return false;
    const int cr = static_cast<int>(std::lround(row)), cc = static_cast<int>(std::lround(col));
    const float det = a[0] * a[3] - a[1] * a[2];
    if (!(std::abs(det) > 0.0f)) return false;
    const float p = a[3] / det, q = -a[1] / det, r = -a[2] / det, s = a[0] / det;  // A^-1
    const float dr0 = row - static_cast<float>(cr), dc0 = col - static_cast<float>(cc);
    float mean = 0.0f;
    int k = 0;
    for (int dr = -kPatchRadius; dr <= kPatchRadius; ++dr)
        for (int dc = -kPatchRadius; dc <= kPatchRadius; ++dc, ++k) {
            const int y = cr + dr, x = cc + dc;
            t.value[k] = from.at(y, x);
            mean += t.value[k];
            const float gr = 0.5f * (from.at(y + 1, x) - from.at(y - 1, x));
            const float gc = 0.5f * (from.at(y, x + 1) - from.at(y, x - 1));
            t.sr[k] = p * gr + r * gc;
            t.sc[k] = q * gr + s * gc;
            const float oy = static_cast<float>(dr) - dr0, ox = static_cast<float>(dc) - dc0;
            t.orow[k] = a[0] * oy + a[1] * ox;
            t.ocol[k] = a[2] * oy + a[3] * ox;
        }
    mean /= static_cast<float>(kSamples);
    t.rowLow = *std::min_element(t.orow.begin(), t.orow.end());
    t.rowHigh = *std::max_element(t.orow.begin(), t.orow.end());
    t.colLow = *std::min_element(t.ocol.begin(), t.ocol.end());
    t.colHigh = *std::max_element(t.ocol.begin(), t.ocol.end());
    t.variance = 0.0f;
    t.h00 = t.h01 = t.h11 = 0.0f;
    for (k = 0; k < kSamples; ++k) {
        t.value[k] -= mean;
        t.variance += t.value[k] * t.value[k];
    }
    if (!(t.variance > 0.0f)) return false;
    positionInformation(t);
    for (k = 0; k < kSamples; ++k) {
        t.h00 += t.sr[k] * t.sr[k];
        t.h01 += t.sr[k] * t.sc[k];
        t.h11 += t.sc[k] * t.sc[k];
    }
    return t.h00 * t.h11 - t.h01 * t.h01 > 0.0f && t.p00 * t.p11 - t.p01 * t.p01 > 0.0f;
}

// Residuals of the template against the target patch at (row, col), the target normalised to
// the template's mean and spread; false when the patch leaves the target or is flat.
bool residuals(const Template& t, const AlignmentRaster& to, float row, float col,
               std::array<float, kSamples>& e) {
    // Rounding keeps the order of sums, so every sample position lies inside exactly when the
    // extreme ones do; each is then sampled without a test (a NaN position fails here too).
    if (!(row + t.rowLow >= 0.0f && col + t.colLow >= 0.0f && row + t.rowHigh < static_cast<float>(to.rows - 1) &&
          col + t.colHigh < static_cast<float>(to.cols - 1)))
        return false;
    sampleInside(to, row, col, t.orow.data(), t.ocol.data(), e.data());
    float mean = 0.0f;
    for (int k = 0; k < kSamples; ++k) mean += e[k];
    mean /= static_cast<float>(kSamples);
    float variance = 0.0f;
    for (int k = 0; k < kSamples; ++k) variance += (e[k] - mean) * (e[k] - mean);
    if (!(variance > 0.0f)) return false;
    const float gain = std::sqrt(t.variance / variance);
    for (int k = 0; k < kSamples; ++k) e[k] = t.value[k] - gain * (e[k] - mean);
    return true;
}

bool registered(const Camera& c) { return c.R.rows == 3 && c.R.cols == 3 && c.f > 0.0f; }

}  // namespace

void localAffine(const Mat3& h, float x, float y, float factor, float a[4]) {
    const float u = h(0, 0) * x + h(0, 1) * y + h(0, 2);
    const float v = h(1, 0) * x + h(1, 1) * y + h(1, 2);
    const float w = h(2, 0) * x + h(2, 1) * y + h(2, 2);
    const float w2 = w * w;
    a[0] = factor * (h(0, 0) * w - u * h(2, 0)) / w2;
    a[1] = factor * (h(0, 1) * w - u * h(2, 1)) / w2;
    a[2] = factor * (h(1, 0) * w - v * h(2, 0)) / w2;
    a[3] = factor * (h(1, 1) * w - v * h(2, 1)) / w2;
}

AlignmentRaster greyRaster(const FloatImage& image, float scale, uint32_t channels) {
    AlignmentRaster r;
    if (image.empty() || image.channels <= 0) return r;
    r.rows = image.rows;
    r.cols = image.cols;
    r.scale = scale;
    r.grey.resize(static_cast<size_t>(r.rows) * r.cols);
    const int ch = image.channels;
    int used = 0;
    for (int k = 0; k < ch; ++k) used += (channels >> k) & 1u;
    if (used == 0) channels = ~0u, used = ch;  // nothing chosen: every channel
    const float* s = image.data.data();
    for (float& g : r.grey) {
        float sum = 0.0f;
        for (int k = 0; k < ch; ++k)
            if ((channels >> k) & 1u) sum += s[k];
        g = sum / static_cast<float>(used);
        s += ch;
    }
    return r;
}

AlignmentRaster reducedRaster(const AlignmentRaster& r, int factor) {
    AlignmentRaster out;
    if (factor < 1 || r.rows <= factor || r.cols <= factor) return out;
    out.rows = r.rows / factor;
    out.cols = r.cols / factor;
    out.scale = r.scale / static_cast<float>(factor);
    out.grey.resize(static_cast<size_t>(out.rows) * out.cols);
    // Block pixel (k, l) is centred where r's centred position is factor times its own.
    const float f = static_cast<float>(factor);
    const float row0 = 0.5f * static_cast<float>(r.rows - 1) - f * 0.5f * static_cast<float>(out.rows - 1) - 0.5f * (f - 1.0f);
    const float col0 = 0.5f * static_cast<float>(r.cols - 1) - f * 0.5f * static_cast<float>(out.cols - 1) - 0.5f * (f - 1.0f);
    const int row0i = static_cast<int>(std::floor(row0)), col0i = static_cast<int>(std::floor(col0));
    const float fr = row0 - static_cast<float>(row0i), fc = col0 - static_cast<float>(col0i);
    const auto at = [&](int y, int x) { return r.at(std::clamp(y, 0, r.rows - 1), std::clamp(x, 0, r.cols - 1)); };
    for (int k = 0; k < out.rows; ++k)
        for (int l = 0; l < out.cols; ++l) {
            float sum = 0.0f;
            for (int a = 0; a < factor; ++a)
                for (int b = 0; b < factor; ++b) {
                    const int y = row0i + k * factor + a, x = col0i + l * factor + b;
                    sum += (1.0f - fr) * ((1.0f - fc) * at(y, x) + fc * at(y, x + 1)) +
                           fr * ((1.0f - fc) * at(y + 1, x) + fc * at(y + 1, x + 1));
                }
            out.grey[static_cast<size_t>(k) * out.cols + l] = sum / (f * f);
        }
    return out;
}

AlignmentRaster decodeGreyRaster(const std::string& path, int32_t level, std::string* error, uint32_t channels) {
    if (level < 0 || level > 15) return AlignmentRaster{};
    // The feature image's own reduction, so that positions refined here are those of its pixels.
    PhotoHeader header;
    FloatImage image;
    if (!readPhotoHeader(path, header, error) ||
        !readPhotoReduced(path, image, header.height, header.width, level, error))
        return AlignmentRaster{};
    return greyRaster(image, 1.0f, channels);
}

Alignment alignPatch(const AlignmentRaster& from, float row, float col, const AlignmentRaster& to,
                     float startRow, float startCol, const float affine[4],
                     const RefinementLimits& limits, SearchStart start) {
    Alignment out;
    Template t;
    if (!buildTemplate(from, row, col, affine, t)) return out;
    float r = startRow, c = startCol;
    std::array<float, kSamples> e;
    for (int step = 0; step < kMaxAlignmentSteps; ++step) {
        if (!residuals(t, to, r, c, e)) return out;
        float br = 0.0f, bc = 0.0f;
        for (int k = 0; k < kSamples; ++k) {
            br += t.sr[k] * e[k];
            bc += t.sc[k] * e[k];
        }
        // From a prediction, the first step takes the plain information, which stays stable a
        // pixel or two from the answer; each further step halves its excess over the information
        // the normalised residual has, so the last steps are Gauss-Newton steps of that residual.
        // A soft patch, whose plain information is many times its own, would otherwise move a
        // fraction of the way each step and stop short, near where the cameras put it. (Feature
        // positions keep the plain steps: taken there too, they made textured sets worse.)
        const float w = start == SearchStart::Predicted ? std::ldexp(1.0f, -step) : 1.0f;
        const float m00 = t.p00 + w * (t.h00 - t.p00), m01 = t.p01 + w * (t.h01 - t.p01);
        const float m11 = t.p11 + w * (t.h11 - t.p11);
        const float det = m00 * m11 - m01 * m01;
        const float dr = (m11 * br - m01 * bc) / det, dc = (m00 * bc - m01 * br) / det;
        r += dr;
        c += dc;
        if (std::hypot(dr, dc) < kConvergedStep) break;
    }
    if (!residuals(t, to, r, c, e)) return out;
    float squares = 0.0f;
    for (int k = 0; k < kSamples; ++k) squares += e[k] * e[k];
    // Gauss-Newton covariance of the translation: residual variance times P^-1; its larger
    // eigenvalue bounds the error in every direction.
    const float noise = squares / static_cast<float>(kSamples - 4);
    const float pdet = t.p00 * t.p11 - t.p01 * t.p01;
    const float q00 = t.p11 / pdet, q01 = -t.p01 / pdet, q11 = t.p00 / pdet;  // P^-1
    const float trace = q00 + q11, gap = std::sqrt((q00 - q11) * (q00 - q11) + 4.0f * q01 * q01);
    out.precision = std::sqrt(noise * 0.5f * (trace + gap));
    out.row = r;
    out.col = c;
    out.moved = std::hypot(r - startRow, c - startCol);
    out.accepted = out.precision < limits.sigma * to.scale && out.moved <= limits.maxMove * to.scale;
    return out;
}

namespace {

// Refines the positions of pair (i, j) in place.
PairRefinement refinePair(MatchPoints& p, int32_t count, int32_t i, int32_t j, const Mat3& h,
                          const AlignmentRaster& from, const AlignmentRaster& to,
                          const RefinementLimits& limit) {
    const float fromRow0 = 0.5f * static_cast<float>(from.rows - 1);
    const float fromCol0 = 0.5f * static_cast<float>(from.cols - 1);
    const float toRow0 = 0.5f * static_cast<float>(to.rows - 1);
    const float toCol0 = 0.5f * static_cast<float>(to.cols - 1);
    PairRefinement pair{i, j, 0, 0, 0.0f};
    double moved = 0.0;
    for (int k = 0; k < count; ++k) {
        const float x = p.first.at(0, k), y = p.first.at(1, k);
        float a[4];
        localAffine(h, x, y, to.scale / from.scale, a);
        const Alignment al = alignPatch(from, x * from.scale + fromRow0, y * from.scale + fromCol0, to,
                                        p.second.at(0, k) * to.scale + toRow0,
                                        p.second.at(1, k) * to.scale + toCol0, a, limit);
        if (!al.accepted) {
            ++pair.refused;
            continue;
        }
        p.second.at(0, k) = (al.row - toRow0) / to.scale;
        p.second.at(1, k) = (al.col - toCol0) / to.scale;
        moved += al.moved / to.scale;
        ++pair.refined;
    }
    pair.meanMove = pair.refined > 0 ? static_cast<float>(moved / pair.refined) : 0.0f;
    return pair;
}

}  // namespace

std::vector<PairRefinement> refinePositions(MatchTable& matches, const std::vector<Camera>& cameras,
                                            const std::vector<int32_t>& component,
                                            const std::vector<AlignmentRaster>& rasters,
                                            const std::vector<RefinementLimits>& limits,
                                            ThreadPool* pool) {
    const int32_t n = matches.size();
    std::vector<PairRefinement> out;
    for (const int32_t i : component)
        for (const int32_t j : component) {
            const int32_t count = matches.count(i, j);
            if (i == j || count <= 0 || !registered(cameras[i]) || !registered(cameras[j])) continue;
            const RefinementLimits& limit = limits[static_cast<size_t>(i * n + j)];
            if (rasters[i].empty() || rasters[j].empty() || !(limit.sigma > 0.0f)) continue;
            out.push_back(PairRefinement{i, j, 0, 0, 0.0f});
        }
    // Each pair moves only its own positions, so the pairs may be refined on any thread.
    auto refine = [&](size_t k, int) {
        const int32_t i = out[k].first, j = out[k].second;
        const Mat3 h = pairHomography({Mat3::fromMatrix(cameras[i].R), cameras[i].f},
                                      {Mat3::fromMatrix(cameras[j].R), cameras[j].f});
        out[k] = refinePair(matches.points(i, j), matches.count(i, j), i, j, h, rasters[i], rasters[j],
                            limits[static_cast<size_t>(i * n + j)]);
    };
    if (pool != nullptr) pool->parallelFor(out.size(), refine);
    else
        for (size_t k = 0; k < out.size(); ++k) refine(k, 0);
    return out;
}

}  // namespace vantorra
