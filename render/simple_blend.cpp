#include "render/simple_blend.h"

#include <iostream>
#include <string>

#include "render/block_buffers.h"
#include "render/samplers.h"
#include "render/prepared_source.h"

namespace vantorra {
namespace {

// The image loop both compositors share: for every image in the block, acquire its source (with
// gains when there are any), log it and hand each active region to `sample`.
template <typename Sample>
void forEachImage(const RenderContext& context, std::vector<ImageFootprint>& footprints,
                  Sample sample) {
    const RenderScene& scene = context.scene;
    const int n = static_cast<int>(scene.component.size());
    for (int i = 0; i < n && i < static_cast<int>(footprints.size()); ++i) {
        const int k = scene.component[static_cast<size_t>(i)];
        context.progress.report(ProgressReporter::Rendering, i, n - 1);
        const ImageFootprint& footprint = footprints[static_cast<size_t>(i)];
        if (!footprint.inBlock) continue;
        static const PreparedSource kMissing;
        const PreparedSource& source =
            static_cast<size_t>(i) < context.sources.size() ? context.sources[static_cast<size_t>(i)] : kMissing;
        if (source.empty()) {
            // A photograph that cannot be read leaves its part of the panorama to the others.
            *context.log << "  Image " << k << " skipped: " << source.error << std::endl;
            continue;
        }
        *context.log << "  Image " << k << std::endl;
        const SourceView view = source.view();
        for (const RenderRegion& region : footprint.regions)
            if (region.active) sample(view, region, footprint.grid, source.projection);
    }
}

}  // namespace

void blendNone(FloatImage& block, const RenderContext& context,
               std::vector<ImageFootprint>& footprints, int blockRows, int blockCols) {
    block.allocate(blockRows, blockCols, 3);
    forEachImage(context, footprints,
                 [&](const SourceView& source, const RenderRegion& region, const PanoramaGrid& grid,
                     const PixelProjection& P) { sampleNearest(block, source, region, grid, P); });
}

void blendLinear(FloatImage& block, const RenderContext& context,
                 std::vector<ImageFootprint>& footprints, int blockRows, int blockCols) {
    block.allocate(blockRows, blockCols, 3);
    BlockBuffers own;
    FloatImage& weightSum = (context.buffers != nullptr ? *context.buffers : own).weightSum;
    weightSum.allocate(blockRows, blockCols, 1);
    forEachImage(context, footprints,
                 [&](const SourceView& source, const RenderRegion& region, const PanoramaGrid& grid,
                     const PixelProjection& P) {
                     sampleNearestWeighted(block, weightSum, source, region, grid, P);
                 });
    context.progress.report(ProgressReporter::Blending, 1, 2);
    const size_t pixels = static_cast<size_t>(blockRows) * static_cast<size_t>(blockCols);
    for (size_t p = 0; p < pixels; ++p) {
        const float w = weightSum.data[p];
        if (w > 0.0f)
            for (size_t k = 0; k < 3; ++k) block.data[p * 3 + k] /= w;
    }
    context.progress.report(ProgressReporter::Blending, 2, 2);
}

}  // namespace vantorra
