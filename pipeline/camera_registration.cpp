#include "pipeline/camera_registration.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <utility>

#include "adjust/camera_verification.h"
#include "adjust/focal_search.h"
#include "adjust/lens_estimation.h"
#include "io/photo_image.h"
#include "pipeline/registration.h"
#include "render/renderer.h"

namespace vantorra {

namespace {

// The first camera keeps the identity rotation; its focal length comes from its EXIF block, or
// else the larger side of its feature image (or the default), since nothing better is known
// before adjustment.
int32_t seedFirstCamera(RegistrationRun& run, const MatchTable& matches, const std::vector<PhotoExif>& exif) {
    const CameraPair pair = chooseFirstPair(matches, run.component);
    const int32_t first = pair.registered;
    const Photograph& photograph = run.photographs[static_cast<size_t>(first)];
    Camera& camera = run.cameras[static_cast<size_t>(first)];
    camera.R = Matrix(3, 3);
    camera.R.setIdentity();
    camera.f = seedFocal(photograph.size, photograph.featureLevel, exif[static_cast<size_t>(first)], run.options.bundle);
    // Without an EXIF focal length the size rule is a guess; the first pair's matches say
    // whether another length fits them clearly better (a telephoto lens).
    if (!(exif[static_cast<size_t>(first)].focalPixels > 0.0f) && pair.next >= 0) {
        const ImageSize reduced = featureImageSize(photograph);
        const FocalFit fit = searchFocal(matches.points(first, pair.next), matches.count(first, pair.next), camera.f,
                                         static_cast<float>(std::max(reduced.height, reduced.width)));
        if (clearlyBetter(fit, camera.f)) {
            run.log << " Focal length from the first pair's matches: " << fit.focal << " (median error " << fit.rms
                    << " px, " << fit.seedRms << " px at the size rule's " << camera.f << ")" << std::endl;
            camera.f = fit.focal;
        }
    }
    run.log << "f0 = " << camera.f << std::endl;
    return first;
}

// A low-resolution preview of the cameras registered so far, without orientation.
void writeSnapshot(RegistrationRun& run, int registeredCount) {
    RenderOptions preview = run.options.render;
    preview.width = 500;
    preview.blendingMethod = "none";
    preview.autoCrop = false;
    RenderScene scene;
    scene.cameras = run.cameras;
    scene.component = run.component;
    scene.sources = {run.directory, run.photographs};
    Image image;
    Renderer(preview, run.options.systemMemory - run.featureImageMemory).render(image, scene, Gains{}, run.progress, run.log);
    char name[32];
    std::snprintf(name, sizeof name, "tmp%d.jpg", registeredCount);
    std::string error;
    if (!image.empty() && !writeJpeg(name, image, 75, &error)) run.log << " Snapshot not written: " << error << std::endl;
}

void logLensEstimate(std::ostream& log, const LensEstimate& e) {
    log << " Corner bend = " << e.bend << " px, match scale = " << e.sigma << " px, without distortion "
        << e.plainSigma << " px" << (e.kept ? "" : " - no distortion") << std::endl;
}

}  // namespace

void prepareCameras(RegistrationRun& run, MatchTable& matches) {
    const std::vector<ImageSize> reduced = featureImageSizes(run.photographs);
    run.cameras.assign(run.photographs.size(), Camera{});
    centreMatches(matches, reduced);
    for (size_t i = 0; i < run.photographs.size(); ++i)
        run.cameras[i].imageTransform = featureToPhotoTransform(reduced[i], run.photographs[i].featureLevel);
}

void logExif(std::ostream& log, const std::vector<PhotoExif>& exif) {
    for (size_t i = 0; i < exif.size(); ++i) {
        if (exif[i].focalPixels > 0.0f)
            log << " Image " << i << ": EXIF focal length " << exif[i].focal35mm << " mm (35-mm equivalent), "
                << exif[i].focalPixels << " px" << std::endl;
        if (!exif[i].ignored.empty()) log << " Image " << i << ": EXIF ignored: " << exif[i].ignored << std::endl;
    }
}

void registerCameras(RegistrationRun& run, const MatchTable& matches, const BundleAdjuster& adjuster,
                     const std::vector<PhotoExif>& exif) {
    const BundleAdjustOptions& bundle = run.options.bundle;
    std::vector<bool> registered(run.photographs.size(), false);
    run.log << "[ Bundle Adjustment ]" << std::endl;
    run.log << " Camera 0 " << std::endl;
    registered[static_cast<size_t>(seedFirstCamera(run, matches, exif))] = true;

    const int m = static_cast<int>(run.component.size());
    for (int k = 1; k < m; ++k) {
        run.progress.report(ProgressReporter::BundleAdjustment, k, m - 1);
        run.log << " Camera " << k << std::endl;
        const CameraPair pair = chooseNextPair(matches, run.component, registered);
        if (pair.next < 0) break;  // cannot happen inside a connected component
        run.log << " Best next image = " << pair.next << ", Best registered image = " << pair.registered << std::endl;
        Camera& next = run.cameras[static_cast<size_t>(pair.next)];
        next.R = run.cameras[static_cast<size_t>(pair.registered)].R;
        // Its own EXIF focal length when it has one; else its partner's, the best guess there is.
        const PhotoExif& own = exif[static_cast<size_t>(pair.next)];
        const Photograph& photograph = run.photographs[static_cast<size_t>(pair.next)];
        next.f = own.focalPixels > 0.0f ? seedFocal(photograph.size, photograph.featureLevel, own, bundle)
                                        : run.cameras[static_cast<size_t>(pair.registered)].f;
        adjuster.BundleAdjust(matches, {pair.registered, pair.next}, run.cameras, bundle.registerRobustMode,
                              bundle.registerSigma, bundle.registerSigmaRelative);
        run.log << " f = " << run.cameras[static_cast<size_t>(pair.next)].f << std::endl;
        registered[static_cast<size_t>(pair.next)] = true;
        if (run.options.render.debugSnapshots) writeSnapshot(run, k + 1);
    }
}

namespace {

void logCameraCheck(std::ostream& log, const CameraCheck& c) {
    log << "  Pair " << c.first << "-" << c.second << " under the cameras: nInliers = " << c.inliers
        << " of " << c.raw << ", nOverlap = " << c.overlap << ", minNInliers = " << c.needed
        << (c.accepted() ? " - ACCEPT" : " - REJECT") << std::endl;
}

}  // namespace

void verifyWithCameras(RegistrationRun& run, MatchTable& matches, MatchTable& unaccepted,
                       const BundleAdjuster& adjuster) {
    if (unaccepted.size() != matches.size()) return;
    run.log << "[ Verification Under The Cameras ]" << std::endl;
    centreMatches(unaccepted, featureImageSizes(run.photographs));
    const CameraVerification v = verifyUnderCameras(matches, unaccepted, run.cameras, run.component,
                                                    featureImageSizes(run.photographs), run.options.ransac);
    for (const int32_t i : v.placed)
        run.log << "  Image " << i << " (" << run.photographs[static_cast<size_t>(i)].name
                << ") placed by its raw matches" << std::endl;
    int32_t accepted = 0;
    for (const CameraCheck& c : v.pairs)
        if (c.accepted()) logCameraCheck(run.log, c), ++accepted;
    run.log << "  " << v.pairs.size() << " pairs checked under the cameras, " << accepted << " accepted" << std::endl;
    for (const CameraCheck& c : v.together)
        run.log << "  Image " << c.first << ": its pairs together keep " << c.inliers << " of " << c.overlap
                << " features in the overlaps, more than " << c.needed << std::endl;
    for (const CameraVerification::Unplaced& u : v.unplaced) {
        const CameraCheck& c = u.closest;
        run.log << "  Image " << u.image << " (" << run.photographs[static_cast<size_t>(u.image)].name
                << ") stays out: in the place its raw matches give, its closest pair " << c.first << "-"
                << c.second << " keeps " << c.inliers << " features where more than " << c.needed
                << " are needed" << std::endl;
    }
    if (!v.changed()) return;
    run.component = v.component;
    adjustGlobally(run, matches, adjuster);
}

void adjustGlobally(RegistrationRun& run, const MatchTable& matches, const BundleAdjuster& adjuster) {
    const BundleAdjustOptions& bundle = run.options.bundle;
    run.log << "[ Global Bundle Adjustment ]" << std::endl;
    run.progress.report(ProgressReporter::FinalBundleAdjustment, 1, 3);
    adjuster.BundleAdjust(matches, run.component, run.cameras, bundle.registerRobustMode, bundle.registerSigma,
                          bundle.registerSigmaRelative);
    run.progress.report(ProgressReporter::FinalBundleAdjustment, 2, 3);
}

bool estimateDistortion(RegistrationRun& run, const MatchTable& matches, const std::vector<int32_t>& lenses) {
    const BundleAdjustOptions& bundle = run.options.bundle;
    if (bundle.lensCoefficients <= 0) return false;
    run.log << "[ Lens Distortion ]" << std::endl;
    const LensEstimate estimate = estimateLenses(matches, run.cameras, run.component, lenses,
                                                 featureImageSizes(run.photographs), bundle, bundle.finalRobustMode,
                                                 bundle.finalSigma, bundle.finalSigmaRelative, run.log, &run.pool);
    logLensEstimate(run.log, estimate);
    return estimate.kept;
}

void adjustFinally(RegistrationRun& run, const MatchTable& matches, const BundleAdjuster& adjuster,
                   const std::vector<int32_t>* lenses) {
    const BundleAdjustOptions& bundle = run.options.bundle;
    run.log << "[ Final Bundle Adjustment ]" << std::endl;
    adjuster.BundleAdjust(matches, run.component, run.cameras, bundle.finalRobustMode, bundle.finalSigma,
                          bundle.finalSigmaRelative, lenses);
    if (lenses != nullptr) {
        std::vector<Camera> plain = run.cameras;
        for (const int32_t i : run.component) plain[static_cast<size_t>(i)].lens = LensDistortion{};
        adjuster.BundleAdjust(matches, run.component, plain, bundle.finalRobustMode, bundle.finalSigma,
                              bundle.finalSigmaRelative);
        const LensEstimate estimate =
            compareLenses(matches, run.cameras, plain, run.component, featureImageSizes(run.photographs));
        logLensEstimate(run.log, estimate);
        if (!estimate.kept) run.cameras = std::move(plain);
    }
    run.progress.report(ProgressReporter::FinalBundleAdjustment, 3, 3);
}

}  // namespace vantorra
