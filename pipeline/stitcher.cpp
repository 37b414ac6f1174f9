#include "pipeline/stitcher.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <utility>

#include "adjust/bundle_adjuster.h"
#include "adjust/lens_estimation.h"
#include "adjust/registration_refinement.h"
#include "pipeline/lens_groups.h"
#include "pipeline/panorama_orientation.h"
#include "io/parameter_file.h"
#include "io/photo_exif.h"
#include "pipeline/registration.h"
#include "pipeline/render_progress_share.h"
#include "core/stitch_cancelled.h"
#include "core/thread_pool.h"
#include "features/arena_pools.h"
#include "matching/feature_matcher.h"
#include "matching/neighbour_matching.h"
#include "render/gain_compensation.h"
#include "render/renderer.h"
#include "io/jpeg_image.h"

namespace vantorra {

namespace {

// Re-centres the matches on the feature images and gives every camera its image transform.
void prepareCameras(Stitcher& s, MatchTable& matches) {
    const size_t n = s.imageNames.size();
    const std::vector<ImageSize> reduced = reducedSizes(s.imageSizes, s.featureLevels);
    s.cameras.assign(n, Camera{});
    centreMatches(matches, reduced);
    for (size_t i = 0; i < n; ++i)
        s.cameras[i].imageTransform = featureToPhotoTransform(reduced[i], s.featureLevels[i]);
}

// The first camera keeps the identity rotation; its focal length comes from its EXIF block, or
// else the larger side of its feature image (or the default), since nothing better is known
// before adjustment.
int32_t seedFirstCamera(Stitcher& s, const MatchTable& matches, const std::vector<PhotoExif>& exif) {
    const int32_t first = chooseFirstPair(matches, s.component).registered;
    Camera& camera = s.cameras[first];
    camera.R = Matrix(3, 3);
    camera.R.setIdentity();
    camera.f = seedFocal(s.imageSizes[first], s.featureLevels[first], exif[static_cast<size_t>(first)], s.options.bundle);
    std::cout << "f0 = " << camera.f << std::endl;
    return first;
}

// One line per photograph whose EXIF block gave a focal length or had to be partly ignored.
void logExif(const std::vector<PhotoExif>& exif) {
    for (size_t i = 0; i < exif.size(); ++i) {
        if (exif[i].focalPixels > 0.0f)
            std::cout << " Image " << i << ": EXIF focal length " << exif[i].focal35mm << " mm (35-mm equivalent), "
                      << exif[i].focalPixels << " px" << std::endl;
        if (!exif[i].ignored.empty()) std::cout << " Image " << i << ": EXIF ignored: " << exif[i].ignored << std::endl;
    }
}

// A low-resolution preview of the cameras registered so far, without orientation.
void writeSnapshot(Stitcher& s, int registeredCount) {
    RenderOptions preview = s.options.render;
    preview.width = 500;
    preview.blendingMethod = BlendingMethod::None;
    preview.autoCrop = false;
    preview.renderMemoryBudget = s.options.systemMemory - s.featureImageMemory;
    Image image;
    Renderer(preview).render(image, s.renderScene(), Gains{}, s.progress);
    char name[32];
    std::snprintf(name, sizeof name, "tmp%d.jpg", registeredCount);
    std::string error;
    if (!image.empty() && !writeJpeg(name, image, 75, &error))
        std::cout << " Snapshot not written: " << error << std::endl;
}

// Adds the cameras one at a time, each adjusted together with its best registered partner.
void registerCameras(Stitcher& s, const MatchTable& matches, BundleAdjuster& adjuster,
                     const std::vector<PhotoExif>& exif) {
    const BundleAdjustOptions& bundle = s.options.bundle;
    std::vector<bool> registered(s.imageNames.size(), false);
    std::cout << "[ Bundle Adjustment ]" << std::endl;
    std::cout << " Camera 0 " << std::endl;
    registered[seedFirstCamera(s, matches, exif)] = true;

    const int m = static_cast<int>(s.component.size());
    for (int k = 1; k < m; ++k) {
        s.progress.report(ProgressReporter::BundleAdjustment, k, m - 1);
        std::cout << " Camera " << k << std::endl;
        const CameraPair pair = chooseNextPair(matches, s.component, registered);
        if (pair.next < 0) break;  // cannot happen inside a connected component
        std::cout << " Best next image = " << pair.next
                  << ", Best registered image = " << pair.registered << std::endl;
        s.cameras[pair.next].R = s.cameras[pair.registered].R;
        // Its own EXIF focal length when it has one; else its partner's, the best guess there is.
        const PhotoExif& own = exif[static_cast<size_t>(pair.next)];
        s.cameras[pair.next].f = own.focalPixels > 0.0f
                                     ? seedFocal(s.imageSizes[pair.next], s.featureLevels[pair.next], own, s.options.bundle)
                                     : s.cameras[pair.registered].f;
        adjuster.BundleAdjust(matches, {pair.registered, pair.next}, s.cameras, bundle.registerRobustMode,
                              bundle.registerSigma, bundle.registerSigmaRelative);
        std::cout << " f = " << s.cameras[pair.next].f << std::endl;
        registered[pair.next] = true;
        if (s.options.render.debugSnapshots) writeSnapshot(s, k + 1);
    }
}

// The global adjustment of every camera; the final one with the robust error comes after the
// refinement of registration.
void adjustGlobally(Stitcher& s, const MatchTable& matches, BundleAdjuster& adjuster) {
    const BundleAdjustOptions& bundle = s.options.bundle;
    std::cout << "[ Global Bundle Adjustment ]" << std::endl;
    s.progress.report(ProgressReporter::FinalBundleAdjustment, 1, 3);
    adjuster.BundleAdjust(matches, s.component, s.cameras, bundle.registerRobustMode, bundle.registerSigma,
                          bundle.registerSigmaRelative);
    s.progress.report(ProgressReporter::FinalBundleAdjustment, 2, 3);
}

void logLensEstimate(const LensEstimate& e) {
    std::cout << " Corner bend = " << e.bend << " px, match scale = " << e.sigma << " px, without distortion "
              << e.plainSigma << " px" << (e.kept ? "" : " - no distortion") << std::endl;
}

// Once every camera is near its place the bend the matches share shows as lens distortion.
// Returns whether the lenses are adjusted from here on.
bool estimateDistortion(Stitcher& s, const MatchTable& matches, const std::vector<int32_t>& lenses,
                        ThreadPool& pool) {
    const BundleAdjustOptions& bundle = s.options.bundle;
    if (bundle.lensCoefficients <= 0) return false;
    std::cout << "[ Lens Distortion ]" << std::endl;
    const LensEstimate estimate =
        estimateLenses(matches, s.cameras, s.component, lenses, reducedSizes(s.imageSizes, s.featureLevels), bundle,
                       bundle.finalRobustMode, bundle.finalSigma, bundle.finalSigmaRelative, &pool);
    logLensEstimate(estimate);
    return estimate.kept;
}

// With lenses, the clean matches have the last word: a bend they cannot see is dropped and the
// cameras adjusted once more without it.
void adjustFinally(Stitcher& s, const MatchTable& matches, BundleAdjuster& adjuster,
                   const std::vector<int32_t>* lenses) {
    const BundleAdjustOptions& bundle = s.options.bundle;
    std::cout << "[ Final Bundle Adjustment ]" << std::endl;
    adjuster.BundleAdjust(matches, s.component, s.cameras, bundle.finalRobustMode, bundle.finalSigma,
                          bundle.finalSigmaRelative, lenses);
    if (lenses != nullptr) {
        const std::vector<ImageSize> featureSizes = reducedSizes(s.imageSizes, s.featureLevels);
        std::vector<Camera> plain = s.cameras;
        for (const int32_t i : s.component) plain[static_cast<size_t>(i)].lens = LensDistortion{};
        adjuster.BundleAdjust(matches, s.component, plain, bundle.finalRobustMode, bundle.finalSigma,
                              bundle.finalSigmaRelative);
        const LensEstimate estimate = compareLenses(matches, s.cameras, plain, s.component, featureSizes);
        logLensEstimate(estimate);
        if (!estimate.kept) s.cameras = std::move(plain);
    }
    s.progress.report(ProgressReporter::FinalBundleAdjustment, 3, 3);
}

// The feature options of one run: a feature is matched in at most n - 1 other images, and each
// photograph keeps its strongest features up to its share of the memory matching may take.
FeatureOptions runFeatureOptions(const StitchOptions& options, int imageCount) {
    FeatureOptions feature = options.feature;
    if (feature.maxMatchesPerFeature > imageCount - 1) feature.maxMatchesPerFeature = imageCount - 1;
    feature.featureImageBudget =
        static_cast<int64_t>(static_cast<double>(options.systemMemory) * options.featureMemoryFraction);
    const double share = static_cast<double>(options.systemMemory) * options.matchedFeatureFraction /
                         std::max(imageCount, 1) / static_cast<double>(matchedFeatureBytes(feature));
    feature.maxFeaturesPerImage = static_cast<int32_t>(std::clamp(share, 0.0, 2147483647.0));
    return feature;
}

// The fewest features a photograph must be able to keep. Verification tries candidateImages
// partners and accepts one with more than alpha + beta x (matches in the overlap) inliers, so
// even if every feature matched, fewer than candidateImages (alpha + 1) / (1 - beta) could not
// let all of them through.
int32_t fewestFeatures(const RansacOptions& ransac) {
    const float alpha = ransac.autoAlpha ? ransac.alphaMax : ransac.alpha;
    const float kept = std::max(1.0f - ransac.beta, 0.1f);
    return static_cast<int32_t>(std::ceil(static_cast<float>(ransac.candidateImages) * (alpha + 1.0f) / kept));
}

std::string megabytes(double bytes) { return std::to_string(static_cast<int64_t>(std::ceil(bytes / 1048576.0))); }

std::string budgetText(const StitchOptions& options) {
    return megabytes(static_cast<double>(options.systemMemory)) + " MB memory budget";
}

constexpr const char* kFewerAdvice = "; stitch fewer at once or raise the budget";

// The features of all photographs are matched at once: each must be able to keep enough of them.
std::string featureRefusal(const StitchOptions& options, int n) {
    const int32_t each = runFeatureOptions(options, n).maxFeaturesPerImage;
    const int32_t fewest = fewestFeatures(options.ransac);
    if (each >= fewest) return {};
    const auto share = static_cast<int64_t>(static_cast<double>(options.systemMemory) * options.matchedFeatureFraction);
    return std::to_string(n) + " photographs can keep only " + std::to_string(each) + " features each in the " +
           std::to_string(share >> 20) + " MB of the " + budgetText(options) + " that matching may use, fewer than the " +
           std::to_string(fewest) + " verification needs" + kFewerAdvice;
}

// The cameras of one panorama are adjusted together, in memory that grows with the square of
// their number: it must fit in what the feature images leave of the budget.
std::string adjustmentRefusal(const StitchOptions& options, int n) {
    const auto share = static_cast<int64_t>(static_cast<double>(options.systemMemory) *
                                            (1.0 - static_cast<double>(options.featureMemoryFraction)));
    const int64_t needed = adjustmentBytes(n);
    if (needed <= share) return {};
    return std::to_string(n) + " photographs need " + megabytes(static_cast<double>(needed)) +
           " MB to adjust their cameras together, more than the " + std::to_string(share >> 20) + " MB of the " +
           budgetText(options) + " left beside the feature images" + kFewerAdvice;
}

// Why a run of n photographs cannot be stitched within its budget, or empty when it can; known
// from the count alone, so the refusal comes before any photograph is read.
std::string budgetRefusal(const StitchOptions& options, int n) {
    const std::string features = featureRefusal(options, n);
    return features.empty() ? adjustmentRefusal(options, n) : features;
}

// Keeps the per-image results of the matching stage for registration and rendering.
void keepFeatureResults(Stitcher& s, MatchingResult& result) {
    s.imageSizes = std::move(result.imageSizes);
    s.featureLevels = std::move(result.featureLevels);
    s.featureImages = std::move(result.featureImages);
    s.thumbnails = std::move(result.thumbnails);
    s.thumbnailLevels = std::move(result.thumbnailLevels);
    s.featureImageMemory = result.featureImageMemory;
}

// Empties every per-run list and takes the records of the parameter file at `path`, each image
// with an empty feature image and thumbnail at level 0; the component is every record whose focal
// length is not 0. Returns the record count, or -1 with the reason in lastError.
int takeParameterFile(Stitcher& s, const std::string& path, std::vector<CameraRecord>& records) {
    s.clearRunResults();
    s.imageNames.clear();
    s.imagesSelected = true;
    s.needsRegistration = true;
    const int count = loadParameterFile(path, s.options.systemMemory, records, &s.lastError);
    if (count < 0) return -1;
    for (const CameraRecord& record : records) {
        s.imageNames.push_back(record.name);
        s.imageSizes.push_back(record.size);
        s.cameras.push_back(record.camera);
    }
    const size_t n = records.size();
    s.featureImages.assign(n, FloatImage());
    s.thumbnails.assign(n, FloatImage());
    s.featureLevels.assign(n, 0);
    s.thumbnailLevels.assign(n, 0);
    s.component = registeredRecords(records);
    return count;
}

}  // namespace

StitchOutcome Stitcher::stitchRun(std::string directory, std::vector<std::string> names, PanoramaSink& output) {
    // 1. A new run over the chosen photographs.
    clearRunResults();
    lastError.clear();
    imageDirectory = std::move(directory);
    imageNames = std::move(names);
    imagesSelected = true;
    needsRegistration = true;
    const int n = static_cast<int>(imageNames.size());
    if (n < 2) {
        std::cout << " No image matches found" << std::endl;
        return StitchOutcome::NoMatches;
    }
    lastError = budgetRefusal(options, n);
    if (!lastError.empty()) return StitchOutcome::Failed;
    progress.setRenderShare(
        renderProgressShare(options.render, headerSizesForShare(options.render, imageDirectory, imageNames)));

    // 2. Features, matches, verification and the match graph.
    const FeatureMatcher matcher(runFeatureOptions(options, n), options.ransac);
    ThreadPool pool(options.threads);
    MatchingResult matching = matcher.matchingStage(imageDirectory, imageNames, progress, &pool);
    skippedReasons = std::move(matching.skippedReasons);
    if (!matching.ok) {
        lastError = matching.error;
        return StitchOutcome::Failed;
    }
    keepFeatureResults(*this, matching);
    if (matching.components.empty()) {
        std::cout << " No image matches found" << std::endl;
        return StitchOutcome::NoMatches;
    }
    std::cout << " SIFT Image memory = " << featureImageMemory << std::endl;

    // 3. Cameras for the largest component, added one at a time.
    prepareCameras(*this, matching.matches);
    component = matching.components.front();
    const std::vector<PhotoExif> exif = readPhotoExif(imageDirectory, imageNames, imageSizes);
    logExif(exif);
    BundleAdjuster adjuster(options.bundle, &pool);
    registerCameras(*this, matching.matches, adjuster, exif);

    // 4. Every camera and lens adjusted together, the matches re-selected and refined, a final
    // robust adjustment.
    adjustGlobally(*this, matching.matches, adjuster);
    std::vector<float> focal35mm;
    for (const PhotoExif& e : exif) focal35mm.push_back(e.focal35mm);
    const std::vector<int32_t> lensNumbers = lensGroups(imageSizes, focal35mm);
    const std::vector<int32_t>* lenses = estimateDistortion(*this, matching.matches, lensNumbers, pool) ? &lensNumbers : nullptr;
    if (options.bundle.refineRegistration)
        component = refineRegistration(matching.matches, cameras, component,
                                       {featureImages, featureLevels, imageDirectory, imageNames},
                                       options.bundle, options.ransac, lenses, &pool)
                        .component;
    if (component.empty()) {  // re-selection left no pair standing
        std::cout << " No image matches found" << std::endl;
        return StitchOutcome::NoMatches;
    }
    adjustFinally(*this, matching.matches, adjuster, lenses);
    registration = summariseRegistration(matching.matches, cameras, component, imageNames);
    logPairErrors(registration);
    std::cout << " " << summaryLine(registration) << std::endl;

    // 5. Orientation and the panorama.
    std::cout << "[ Render Panorama ]" << std::endl;
    needsRegistration = false;
    if (!renderRun(output)) return StitchOutcome::Failed;
    return StitchOutcome::Stitched;
}

void Stitcher::clearRunResults() {
    cameras.clear();
    imageSizes.clear();
    featureImages.clear();
    featureLevels.clear();
    thumbnails.clear();
    thumbnailLevels.clear();
    component.clear();
    skippedReasons.clear();
    featureImageMemory = 0;
    registration = RegistrationSummary{};
    lastRender = RenderResult{};
}

RenderScene Stitcher::renderScene() const {
    RenderScene scene;
    scene.cameras = cameras;
    scene.component = component;
    scene.sources.directory = imageDirectory;
    scene.sources.names = imageNames;
    scene.sources.sizes = imageSizes;
    scene.sources.featureImages = featureImages;
    scene.sources.featureLevels = featureLevels;
    return scene;
}

bool Stitcher::renderRun(PanoramaSink& output) {
    if (!options.render.renderEnabled) return true;
    // The render's own copy: the budget is what the feature stage left of the system memory.
    RenderOptions run = options.render;
    run.renderMemoryBudget = options.systemMemory - featureImageMemory;
    cameras = orientCameras(std::move(cameras), component, run);
    const RenderScene scene = renderScene();
    Gains gains;
    if (run.gainCompensation) gains = computeGains(run, scene, thumbnails, thumbnailLevels, progress);
    ThreadPool pool(options.threads);
    lastRender = Renderer(run).render(output, scene, gains, progress, &pool);
    cameras = lastRender.cameras;
    if (!lastRender.error.empty()) {
        lastError = lastRender.error;
        return false;
    }
    return true;
}

ParameterFileRun Stitcher::stitchFromParameterFileRun(const std::string& directory, const std::string& parameterFile,
                                                      PanoramaSink& output) {
    lastError.clear();
    std::vector<CameraRecord> loaded;
    const int records = takeParameterFile(*this, parameterFile, loaded);
    imageDirectory = directory;
    if (records > 0 && lastError.empty()) lastError = checkParameterFilePhotographs(imageDirectory, loaded, component);
    if (!lastError.empty()) {  // all or nothing: a bad record or photograph renders nothing
        lastError = "cannot read " + parameterFile + ": " + lastError;
        component.clear();
        return {StitchOutcome::Failed, 0};
    }
    if (records <= 0) return {StitchOutcome::Failed, 0};
    if (component.empty()) return {StitchOutcome::NoMatches, records};  // nothing to render
    needsRegistration = false;
    progress.renderOnly = true;
    progress.setRenderShare(renderProgressShare(options.render, imageSizes));
    const bool rendered = renderRun(output);
    progress.renderOnly = false;
    return {rendered ? StitchOutcome::Stitched : StitchOutcome::Failed, records};
}

// Cancelling: a cancel request unwinds the run from the progress report where it was seen.
namespace {

// Runs `body`; a cancel frees what the feature stage still holds. The sink of an unfinished
// panorama is never finished, so nothing of it is kept.
template <typename Body>
void cancellable(Stitcher& s, bool& renderOnly, Body&& body) {
    const bool renderOnlyBefore = renderOnly;
    try {
        body();
    } catch (const StitchCancelled&) {
        s.cancelled = true;
        renderOnly = renderOnlyBefore;
        poolRelease(kScratchPool);
        poolRelease(kTreePool);
        poolRelease(kFeaturePool);
    }
}

}  // namespace

StitchOutcome Stitcher::stitch(std::string directory, std::vector<std::string> names, PanoramaSink& output) {
    cancelled = false;
    StitchOutcome outcome = StitchOutcome::Cancelled;
    cancellable(*this, progress.renderOnly,
                [&] { outcome = stitchRun(std::move(directory), std::move(names), output); });
    if (cancelled) return StitchOutcome::Cancelled;
    if (outcome == StitchOutcome::Stitched) progress.finish();
    return outcome;
}

ParameterFileRun Stitcher::stitchFromParameterFile(const std::string& directory, const std::string& parameterFile,
                                                   PanoramaSink& output) {
    cancelled = false;
    ParameterFileRun run;
    cancellable(*this, progress.renderOnly, [&] { run = stitchFromParameterFileRun(directory, parameterFile, output); });
    if (cancelled) return {StitchOutcome::Cancelled, 0};
    if (run.outcome == StitchOutcome::Stitched) progress.finish();
    return run;
}

bool Stitcher::render(PanoramaSink& output) {
    cancelled = false;
    bool rendered = false;
    progress.setRenderShare(renderProgressShare(options.render, imageSizes));
    cancellable(*this, progress.renderOnly, [&] { rendered = renderRun(output); });
    if (rendered && !cancelled) progress.finish();
    return rendered && !cancelled;
}

// The image versions: a run that got as far as rendering (or was cancelled) leaves no stale or
// partial panorama behind; one that stopped earlier leaves the image alone.
StitchOutcome Stitcher::stitch(std::string directory, std::vector<std::string> names, Image& output) {
    ImageSink sink(output);
    const StitchOutcome outcome = stitch(std::move(directory), std::move(names), sink);
    if (cancelled || (!needsRegistration && options.render.renderEnabled && !lastRender.rendered))
        output.clear();
    return outcome;
}

ParameterFileRun Stitcher::stitchFromParameterFile(const std::string& directory, const std::string& parameterFile,
                                                   Image& output) {
    ImageSink sink(output);
    const ParameterFileRun run = stitchFromParameterFile(directory, parameterFile, sink);
    if (cancelled || (!needsRegistration && options.render.renderEnabled && !lastRender.rendered))
        output.clear();
    return run;
}

void Stitcher::render(Image& output) {
    ImageSink sink(output);
    render(sink);
    if (cancelled || (options.render.renderEnabled && !lastRender.rendered)) output.clear();
}

}  // namespace vantorra
