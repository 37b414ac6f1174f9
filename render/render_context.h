#pragma once
// What one render reads, gathered by the driver and handed to the renderer and its compositors
// whole. Nothing in it is changed by rendering: the renderer keeps its own copies of what it
// decides (the re-centred cameras, the output size) and returns them.

#include <array>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/image_size.h"
#include "core/photograph.h"
#include "core/progress_reporter.h"
#include "options/stitch_options.h"
#include "core/thread_pool.h"
#include "numerics/camera.h"
#include "render/footprint.h"

namespace vantorra {

// Per image number, one gain per colour channel; empty when gain compensation is off.
using Gains = std::vector<std::array<float, 3>>;

// The photographs of a run: where to read each one and the reduced copies the feature stage kept
// (a feature image may be missing or empty when the budget did not allow keeping it).
struct PhotoSources {
    std::string directory;  // prefix in front of every name
    std::span<const Photograph> photographs;  // by image number

    std::string path(int image) const;
    // The full-resolution size of `image`, 0 x 0 when unknown.
    ImageSize size(int image) const;
    // The kept feature image of `image`, or nullptr.
    const FloatImage* featureImage(int image) const;
    int featureLevel(int image) const;
    // Whether `image` has a registered camera in `cameras` and a known, non-empty size.
    bool drawable(int image, std::span<const Camera> cameras) const;
};

// The panorama to draw: cameras by image number, the images that form it, their photographs.
struct RenderScene {
    std::span<const Camera> cameras;
    std::span<const int32_t> component;  // image numbers, ascending
    PhotoSources sources;
};

struct PreparedSource;
struct BlockBuffers;
class Projection;
class BlockSeams;

// Everything a block compositor reads, the output projection and the render's seams among it.
// Progress is reported through `progress` only from the thread that runs the render. `sources`
// holds, per position of the component, the photograph prepared for this render (empty until the
// renderer has prepared them). Log lines go to `log`:
// a block composed on another thread writes them to its own stream, which the render's thread
// passes on in block order.
struct RenderContext {
    const RenderOptions& options;
    RenderScene scene;
    const Gains& gains;
    ProgressReporter& progress;
    const Projection& projection;
    const BlockSeams& seams;
    std::span<const PreparedSource> sources = {};
    ThreadPool* pool = nullptr;  // for rows within a block; none: one thread
    std::ostream* log = nullptr;  // the render's log; every context that composes has one
    // Work images kept from block to block; none: a compositor makes its own.
    BlockBuffers* buffers = nullptr;
};

}  // namespace vantorra
