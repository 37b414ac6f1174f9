#pragma once
// The image loop the simple compositors share: for every photograph in the block, its prepared
// source (with gains when there are any) is logged and each active region handed to `sample`.

#include <ostream>
#include <vector>

#include "core/progress_reporter.h"
#include "render/footprint.h"
#include "render/prepared_source.h"
#include "render/render_context.h"

namespace vantorra {

// sample(view, region, grid, pixelProjection) for every active region of every footprint in the
// block, in component order; progress per photograph. A photograph that cannot be read leaves its
// part of the panorama to the others.
template <typename Sample>
void forEachImage(const RenderContext& context, std::vector<ImageFootprint>& footprints, Sample sample) {
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
            *context.log << "  Image " << k << " skipped: " << source.error << std::endl;
            continue;
        }
        *context.log << "  Image " << k << std::endl;
        const SourceView view = source.view();
        for (const RenderRegion& region : footprint.regions)
            if (region.active) sample(view, region, footprint.grid, source.projection);
    }
}

}  // namespace vantorra
