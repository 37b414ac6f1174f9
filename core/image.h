#pragma once
// The two image containers. Layout: row-major from the top row down, the samples of one pixel
// adjacent; sample (r, c, k) is at index (r * cols + c) * channels + k. An empty container has
// all sizes 0. Copies are deep. FloatImage samples are on the 0-255 scale.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vantorra {

// An allocator whose value-less construction leaves a float as it is: resizing a FloatImage that
// is about to be overwritten then costs no pass of zeros, and its pages are first touched by the
// threads that write them. Every explicit fill (allocate, assign) still writes its value.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using FloatSamples = std::vector<float, UninitialisedAllocator<float>>;

class FloatImage;

class Image {
public:
    void clear();
    void allocate(int rows, int cols, int channels);  // zero-filled
    // Copies source rows r0..r1, columns c0..c1 (inclusive) with its top-left at (row, col),
    // truncating each sample toward zero. The caller clamps the source to 0-255 first.
    void pasteFrom(int row, int col, const FloatImage& source, int r0, int c0, int r1, int c1);

    uint8_t& at(int r, int c, int k) { return data[(static_cast<size_t>(r) * cols + c) * channels + k]; }
    uint8_t at(int r, int c, int k) const { return data[(static_cast<size_t>(r) * cols + c) * channels + k]; }
    bool empty() const { return data.empty(); }

    int rows = 0;
    int cols = 0;
    int channels = 0;
    std::vector<uint8_t> data;
};

// 16-bit samples, for a panorama of 16 bits a sample on its way to the file.
class WideImage {
public:
    void allocate(int rows, int cols, int channels);  // zero-filled
    // As Image::pasteFrom, each sample of the 0-255 scale the nearest of 0-65535 (v x 257).
    void pasteFrom(int row, int col, const FloatImage& source, int r0, int c0, int r1, int c1);
    bool empty() const { return data.empty(); }

    int rows = 0;
    int cols = 0;
    int channels = 0;
    std::vector<uint16_t> data;
};

class FloatImage {
public:
    // Requests of this many samples or more are refused as allocation failures.
    static constexpr int64_t kMaxSamples = int64_t{1} << 30;

    FloatImage() = default;
    FloatImage(int rows, int cols, int channels);

    // Zero-filled, in the storage the image already has when it is large enough; false (and
    // left empty) when the request reaches kMaxSamples or is negative.
    bool allocate(int rows, int cols, int channels);
    // The same without setting the samples (storage that must grow is replaced, not copied),
    // for an image every sample of which is written next.
    bool reshape(int rows, int cols, int channels);
    void release();
    void clampTo255();

    float& at(int r, int c, int k) { return data[(static_cast<size_t>(r) * cols + c) * channels + k]; }
    float at(int r, int c, int k) const { return data[(static_cast<size_t>(r) * cols + c) * channels + k]; }
    bool empty() const { return data.empty(); }
    size_t sampleCount() const { return data.size(); }

    int rows = 0;
    int cols = 0;
    int channels = 0;
    FloatSamples data;
};

FloatImage transpose(const FloatImage& source);
FloatImage difference(const FloatImage& a, const FloatImage& b);  // a - b; empty when sizes differ
FloatImage halfSize(const FloatImage& source);  // 2x2 box average; an odd last row/column is dropped
std::vector<float> gaussianKernel(float sigma, int radius);  // 2 * radius + 1 normalised taps
// Rows extended by radius copies of their end pixels; output c = sum over t of
// kernel[2 * radius - t] * extended(c + t), accumulated in float from 0. A kernel shorter than
// 2 * radius + 1 taps gives an empty image (as does separableFilter).
FloatImage convolveRows(const FloatImage& source, const std::vector<float>& kernel, int radius);
FloatImage separableFilter(const FloatImage& source, const std::vector<float>& kernel, int radius);

}  // namespace vantorra
