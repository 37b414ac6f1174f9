#pragma once
// The steps of registration the driver runs in order: the cameras of the largest component added
// one at a time, adjusted globally, their lenses estimated, and adjusted finally with the robust
// error once the matches are refined.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "adjust/bundle_adjuster.h"
#include "core/photograph.h"
#include "core/progress_reporter.h"
#include "core/thread_pool.h"
#include "io/photo_exif.h"
#include "matching/match_table.h"
#include "numerics/camera.h"
#include "options/stitch_options.h"

namespace vantorra {

// What the steps read and change: the run's photographs, the cameras (one per photograph) and
// the images that form the panorama.
struct RegistrationRun {
    const std::string& directory;
    const std::vector<Photograph>& photographs;
    std::vector<Camera>& cameras;
    std::vector<int32_t>& component;
    const StitchOptions& options;
    ProgressReporter& progress;
    std::ostream& log;
    ThreadPool& pool;
    int64_t featureImageMemory = 0;  // what the feature stage kept of the budget
};

// Re-centres the matches on the feature images and gives every camera its image transform.
void prepareCameras(RegistrationRun& run, MatchTable& matches);
// One line per photograph whose EXIF block gave a focal length or had to be partly ignored.
void logExif(std::ostream& log, const std::vector<PhotoExif>& exif);
// Adds the cameras one at a time, each adjusted together with its best registered partner.
void registerCameras(RegistrationRun& run, const MatchTable& matches, const BundleAdjuster& adjuster,
                     const std::vector<PhotoExif>& exif);
// The pairs verification did not accept, and the images no pair held, checked again under the
// solved cameras (camera_verification.h); when that joins anything the cameras are adjusted
// globally again. Logs what joined and, by name, why an image stays out. `unaccepted` is centred
// here and emptied.
void verifyWithCameras(RegistrationRun& run, MatchTable& matches, MatchTable& unaccepted,
                       const BundleAdjuster& adjuster);
// The global adjustment of every camera.
void adjustGlobally(RegistrationRun& run, const MatchTable& matches, const BundleAdjuster& adjuster);
// Once every camera is near its place the bend the matches share shows as lens distortion.
// Returns whether the lenses are adjusted from here on.
bool estimateDistortion(RegistrationRun& run, const MatchTable& matches, const std::vector<int32_t>& lenses);
// The final adjustment with the robust error. With lenses, the clean matches have the last word:
// a bend they cannot see is dropped and the cameras adjusted once more without it.
void adjustFinally(RegistrationRun& run, const MatchTable& matches, const BundleAdjuster& adjuster,
                   const std::vector<int32_t>* lenses);

}  // namespace vantorra
