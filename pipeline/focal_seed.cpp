#include "pipeline/focal_seed.h"

#include <algorithm>
#include <ostream>

#include "adjust/lens_estimation.h"
#include "core/null_stream.h"
#include "core/progress_reporter.h"

namespace vantorra {

void registerFromBetterSeed(RegistrationRun& run, const MatchTable& matches, const BundleAdjuster& adjuster,
                            const std::vector<PhotoExif>& exif) {
    const bool seededByExif =
        std::any_of(exif.begin(), exif.end(), [](const PhotoExif& e) { return e.focalPixels > 0.0f; });
    const std::vector<Camera> prepared = seededByExif ? run.cameras : std::vector<Camera>{};
    registerCameras(run, matches, adjuster, exif);
    adjustGlobally(run, matches, adjuster);
    if (!seededByExif) return;

    // The other seed, quietly: its log and progress would repeat the steps just shown. A cancel
    // still stops it at its first report.
    std::vector<Camera> sizeRule = prepared;
    NullStream quiet;
    ProgressReporter silent;
    silent.cancel = run.progress.cancel;
    RegistrationRun other{run.directory, run.photographs, sizeRule, run.component, run.options,
                          silent, quiet, run.pool, run.featureImageMemory};
    std::vector<PhotoExif> withoutFocal = exif;
    for (PhotoExif& e : withoutFocal) e.focalPixels = 0.0f;
    const BundleAdjuster quietAdjuster(run.options.bundle, quiet, &run.pool);
    registerCameras(other, matches, quietAdjuster, withoutFocal);
    adjustGlobally(other, matches, quietAdjuster);

    const LensEstimate fit =
        compareLenses(matches, run.cameras, sizeRule, run.component, featureImageSizes(run.photographs));
    if (!(fit.plainSigma < fit.sigma)) return;
    run.log << " EXIF focal lengths ignored: seeded by the image size the cameras fit the matches better ("
            << fit.plainSigma << " px against " << fit.sigma << " px)" << std::endl;
    run.cameras = std::move(sizeRule);
}

}  // namespace vantorra
