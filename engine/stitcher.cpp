#include "engine/stitcher.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "adjust/bundle_adjuster.h"
#include "engine/orientation.h"
#include "engine/parameter_file.h"
#include "engine/registration.h"
#include "matching/feature_matcher.h"
#include "render/renderer.h"

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

// The first camera keeps the identity rotation; its focal length comes from the larger side of
// its feature image (or the default), since nothing better is known before adjustment.
int32_t seedFirstCamera(Stitcher& s, const MatchTable& matches) {
    const int32_t first = chooseFirstPair(matches, s.component).registered;
    Camera& camera = s.cameras[first];
    camera.R = Matrix(3, 3);
    camera.R.setIdentity();
    const BundleAdjustOptions& bundle = s.options.bundle;
    if (bundle.focalFromImage) {
        const ImageSize reduced = reducedSizes({s.imageSizes[first]}, {s.featureLevels[first]}).front();
        camera.f = static_cast<float>(reduced.height > reduced.width ? reduced.height : reduced.width);
    } else {
        camera.f = bundle.defaultFocal;
    }
    std::cout << "f0 = " << camera.f << std::endl;
    return first;
}

// A low-resolution preview of the cameras registered so far, without orientation.
void writeSnapshot(Stitcher& s, int registeredCount) {
    RenderOptions preview = s.options.render;
    preview.width = 500;
    preview.blendingMethod = 0;
    preview.autoCrop = false;
    Image image;
    Renderer(preview).render(image, s);
    char name[32];
    std::snprintf(name, sizeof name, "tmp%d.jpg", registeredCount);
    std::string error;
    if (!image.empty() && !image.writeJpeg(name, 75, &error))
        std::cout << " Snapshot not written: " << error << std::endl;
}

void registerCameras(Stitcher& s, const MatchTable& matches, BundleAdjuster& adjuster) {
    const BundleAdjustOptions& bundle = s.options.bundle;
    std::vector<bool> registered(s.imageNames.size(), false);
    std::cout << "[ Bundle Adjustment ]" << std::endl;
    std::cout << " Camera 0 " << std::endl;
    registered[seedFirstCamera(s, matches)] = true;

    const int m = static_cast<int>(s.component.size());
    for (int k = 1; k < m; ++k) {
        s.progress.report(ProgressReporter::BundleAdjustment, k, m - 1);
        std::cout << " Camera " << k << std::endl;
        const CameraPair pair = chooseNextPair(matches, s.component, registered);
        if (pair.next < 0) break;  // cannot happen inside a connected component
        std::cout << " Best next image = " << pair.next
                  << ", Best registered image = " << pair.registered << std::endl;
        s.cameras[pair.next].R = s.cameras[pair.registered].R;
        s.cameras[pair.next].f = s.cameras[pair.registered].f;
        adjuster.BundleAdjust(matches, {pair.registered, pair.next}, s.cameras, bundle.registerRobustMode,
                              bundle.registerSigma, bundle.registerSigmaRelative);
        std::cout << " f = " << s.cameras[pair.next].f << std::endl;
        registered[pair.next] = true;
        if (s.options.render.debugSnapshots) writeSnapshot(s, k + 1);
    }
}

void adjustAll(Stitcher& s, const MatchTable& matches, BundleAdjuster& adjuster) {
    const BundleAdjustOptions& bundle = s.options.bundle;
    std::cout << "[ Global Bundle Adjustment ]" << std::endl;
    s.progress.report(ProgressReporter::FinalBundleAdjustment, 1, 3);
    adjuster.BundleAdjust(matches, s.component, s.cameras, bundle.registerRobustMode, bundle.registerSigma,
                          bundle.registerSigmaRelative);
    s.progress.report(ProgressReporter::FinalBundleAdjustment, 2, 3);
    std::cout << "[ Final Bundle Adjustment ]" << std::endl;
    adjuster.BundleAdjust(matches, s.component, s.cameras, bundle.finalRobustMode, bundle.finalSigma,
                          bundle.finalSigmaRelative);
    s.progress.report(ProgressReporter::FinalBundleAdjustment, 3, 3);
}

}  // namespace

void Stitcher::stitch(std::string directory, std::vector<std::string> names, Image& output) {
    clearRunResults();
    lastError.clear();
    imageDirectory = std::move(directory);
    imageNames = std::move(names);
    imagesSelected = true;
    needsRegistration = true;
    const int n = static_cast<int>(imageNames.size());
    if (n < 2) {
        // One photograph cannot match anything; clamping below would also leave
        // maxMatchesPerFeature at 0 for every later run, which then could never match.
        std::cout << " No image matches found" << std::endl;
        return;
    }

    FeatureOptions& feature = options.feature;
    if (feature.maxMatchesPerFeature > n - 1) feature.maxMatchesPerFeature = n - 1;
    feature.featureImageBudget =
        static_cast<int64_t>(static_cast<double>(options.systemMemory) * options.featureMemoryFraction);

    FeatureMatcher matcher(options.feature, options.ransac);
    const bool matched = matcher.matchingStage(imageDirectory, imageNames, imageSizes, featureLevels,
                                               featureImages, thumbnails, thumbnailLevels,
                                               featureImageMemory, progress, &lastError);
    skippedReasons = std::move(matcher.skippedReasons);
    if (!matched) return;
    if (matcher.components.empty()) {
        std::cout << " No image matches found" << std::endl;
        return;
    }
    std::cout << " SIFT Image memory = " << featureImageMemory << std::endl;

    prepareCameras(*this, matcher.matches);
    component = matcher.components.front();
    BundleAdjuster adjuster(options.bundle);
    registerCameras(*this, matcher.matches, adjuster);
    adjustAll(*this, matcher.matches, adjuster);

    std::cout << "[ Render Panorama ]" << std::endl;
    needsRegistration = false;
    render(output);
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
}

void Stitcher::render(Image& output) {
    RenderOptions& renderOptions = options.render;
    if (!renderOptions.renderEnabled) return;
    renderOptions.renderMemoryBudget = options.systemMemory - featureImageMemory;
    if (renderOptions.autoStraighten)
        straighten(cameras, component, renderOptions);
    else
        levelToReference(cameras, component, renderOptions);
    applyManualAngles(cameras, component, renderOptions);
    Renderer(renderOptions).render(output, *this);
}

int Stitcher::stitchFromParameterFile(const std::string& directory, const std::string& parameterFile,
                                      Image& output) {
    lastError.clear();
    const int records = loadParameterFile(parameterFile, *this, &lastError);
    imageDirectory = directory;
    if (records > 0 && lastError.empty()) lastError = checkParameterFilePhotographs(*this);
    if (!lastError.empty()) {  // all or nothing: a bad record or photograph renders nothing
        lastError = "cannot read " + parameterFile + ": " + lastError;
        component.clear();
        return -1;
    }
    if (records <= 0 || component.empty()) return records;  // nothing to render
    needsRegistration = false;
    progress.renderOnly = true;
    render(output);
    progress.renderOnly = false;
    return records;
}

}  // namespace vantorra
