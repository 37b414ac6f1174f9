#include "pipeline/stitcher.h"

#include <ostream>
#include <utility>

#include "adjust/registration_refinement.h"
#include "core/stitch_cancelled.h"
#include "core/thread_pool.h"
#include "io/input_files.h"
#include "io/jpeg.h"
#include "io/record_names.h"
#include "matching/feature_matcher.h"
#include "pipeline/camera_registration.h"
#include "pipeline/carried_metadata.h"
#include "pipeline/focal_seed.h"
#include "pipeline/kept_cameras.h"
#include "pipeline/lens_groups.h"
#include "pipeline/panorama_orientation.h"
#include "pipeline/recorded_mapping.h"
#include "pipeline/render_progress_share.h"
#include "pipeline/run_budget.h"
#include "pipeline/watched_output.h"
#include "render/gain_compensation.h"

namespace vantorra {

// What one run holds beside the engine's state: its log and the report it fills.
struct Stitcher::Run {
    std::ostream& log;
    RunReport report;
};

namespace {

void leaveOutUnreadable(const std::vector<Photograph>& photographs, RunReport& report) {
    for (size_t i = 0; i < photographs.size(); ++i)
        if (!photographs[i].leftOut.empty())
            report.leftOut.push_back({static_cast<int32_t>(i), photographs[i].leftOut});
}

// The matching stage ends with one of its left-out reasons when fewer than two photographs can be
// read: the input, not the run, is at fault then.
bool tooFewReadable(const std::vector<Photograph>& photographs, const std::string& error) {
    for (const Photograph& photograph : photographs)
        if (!photograph.leftOut.empty() && photograph.leftOut == error) return true;
    return false;
}

RunReport& ended(RunReport& report, StitchOutcome outcome, std::string message = {}) {
    report.outcome = outcome;
    report.message = std::move(message);
    return report;
}

std::vector<float> focalLengths35mm(const std::vector<PhotoExif>& exif) {
    std::vector<float> focal;
    for (const PhotoExif& e : exif) focal.push_back(e.focal35mm);
    return focal;
}

}  // namespace

RunReport Stitcher::stitchRun(Run& run, std::string directory, std::vector<std::string> names,
                              PanoramaSink& output) {
    // 1. A new run over the chosen photographs.
    if (!beginRun(run, std::move(directory), std::move(names))) return run.report;
    // 2. Features, matches, verification and the match graph.
    ThreadPool pool(options.threads);
    MatchingResult matching;
    if (!matchPhotographs(run, pool, matching)) return run.report;
    // 3. and 4. Cameras for the largest component, adjusted, refined and adjusted again.
    if (!registerPanorama(run, pool, matching)) return run.report;
    // 5. Orientation and the panorama.
    run.log << "[ Render Panorama ]" << std::endl;
    solved_ = cameras_;
    needsRegistration_ = false;
    if (!renderRun(run, output, options.render)) return run.report;
    return ended(run.report, StitchOutcome::Stitched);
}

bool Stitcher::beginRun(Run& run, std::string directory, std::vector<std::string> names) {
    clearRunResults();
    directory_ = std::move(directory);
    for (std::string& name : names) photographs_.push_back(Photograph{std::move(name)});
    imagesSelected_ = true;
    needsRegistration_ = true;
    const int n = static_cast<int>(photographs_.size());
    run.report.records = n;
    if (n < 2) {
        run.log << " No image matches found" << std::endl;
        ended(run.report, StitchOutcome::NoMatches);
        return false;
    }
    if (std::string refusal = budgetRefusal(options, n); !refusal.empty()) {
        ended(run.report, StitchOutcome::Failed, std::move(refusal));
        return false;
    }
    for (const Photograph& photograph : photographs_)
        if (std::string why = unrecordableName(photograph.name); !why.empty()) {
            ended(run.report, StitchOutcome::Unreadable, "cannot record " + photograph.name + ": " + why);
            return false;
        }
    progress.setRenderShare(renderProgressShare(options.render, headerSizesForShare(options.render, directory_, this->names())));
    return true;
}

bool Stitcher::matchPhotographs(Run& run, ThreadPool& pool, MatchingResult& matching) {
    const int n = static_cast<int>(photographs_.size());
    const FeatureMatcher matcher(runFeatureOptions(options, n), options.ransac, featureBudget(options, n));
    matching = matcher.matchingStage(directory_, this->names(), progress, run.log, &pool);
    if (!matching.photographs.empty()) photographs_ = std::move(matching.photographs);
    if (!InputWatch::changedDuringRun().empty()) return false;  // the run ends with the change
    leaveOutUnreadable(photographs_, run.report);
    if (!matching.ok) {
        if (tooFewReadable(photographs_, matching.error))
            ended(run.report, StitchOutcome::Unreadable, "cannot read " + readFailureReason(matching.error));
        else
            ended(run.report, StitchOutcome::Failed, matching.error);
        return false;
    }
    featureImageMemory_ = matching.featureImageMemory;
    if (matching.components.empty()) {
        run.log << " No image matches found" << std::endl;
        ended(run.report, StitchOutcome::NoMatches);
        return false;
    }
    run.log << " SIFT Image memory = " << featureImageMemory_ << std::endl;
    return true;
}

bool Stitcher::registerPanorama(Run& run, ThreadPool& pool, MatchingResult& matching) {
    RegistrationRun registration{directory_, photographs_, cameras_, component_, options, progress, run.log, pool,
                                 featureImageMemory_};
    prepareCameras(registration, matching.matches);
    component_ = matching.components.front();
    std::vector<ImageSize> sizes;
    for (const Photograph& photograph : photographs_) sizes.push_back(photograph.size);
    const std::vector<PhotoExif> exif = readPhotoExif(directory_, this->names(), sizes);
    logExif(run.log, exif);
    const BundleAdjuster adjuster(options.bundle, run.log, &pool);
    // Every camera adjusted together, from the EXIF seed or the size rule, whichever fits better.
    registerFromBetterSeed(registration, matching.matches, adjuster, exif);
    verifyWithCameras(registration, matching.matches, matching.unaccepted, adjuster);
    const std::vector<int32_t> lensNumbers = lensGroups(sizes, focalLengths35mm(exif));
    const std::vector<int32_t>* lenses =
        estimateDistortion(registration, matching.matches, lensNumbers) ? &lensNumbers : nullptr;
    if (options.bundle.refineRegistration)
        component_ = refineRegistration(matching.matches, cameras_, component_,
                                        {photographs_, directory_, options.systemMemory - featureImageMemory_},
                                        options.bundle, options.ransac, run.log, lenses, &pool)
                         .component;
    if (component_.empty()) {  // re-selection left no pair standing
        run.log << " No image matches found" << std::endl;
        ended(run.report, StitchOutcome::NoMatches);
        return false;
    }
    adjustFinally(registration, matching.matches, adjuster, lenses);
    run.report.registration = summariseRegistration(matching.matches, cameras_, component_, this->names());
    logPairErrors(run.report.registration, run.log);
    run.log << " " << summaryLine(run.report.registration) << std::endl;
    return true;
}

void Stitcher::clearRunResults() {
    photographs_.clear();
    cameras_.clear();
    solved_.clear();
    component_.clear();
    mapping_ = OutputMapping{};
    featureImageMemory_ = 0;
}

void Stitcher::clear() {
    clearRunResults();
    directory_.clear();
    imagesSelected_ = false;
    needsRegistration_ = false;
}

void Stitcher::takeCameras(std::string directory, std::vector<Photograph> photographs, std::vector<Camera> cameras,
                           std::vector<int32_t> component) {
    directory_ = std::move(directory);
    photographs_ = std::move(photographs);
    cameras_ = std::move(cameras);
    solved_ = cameras_;
    component_ = std::move(component);
    featureImageMemory_ = 0;
    for (const Photograph& photograph : photographs_)
        featureImageMemory_ += static_cast<int64_t>(photograph.featureImage.sampleCount() +
                                                    photograph.thumbnail.sampleCount()) * 4;
    imagesSelected_ = true;
    needsRegistration_ = false;
}

std::vector<std::string> Stitcher::names() const {
    std::vector<std::string> all;
    all.reserve(photographs_.size());
    for (const Photograph& photograph : photographs_) all.push_back(photograph.name);
    return all;
}

std::vector<CameraRecord> Stitcher::cameraRecords() const {
    std::vector<CameraRecord> records(photographs_.size());
    for (size_t i = 0; i < records.size(); ++i) {
        records[i].name = photographs_[i].name;
        records[i].size = photographs_[i].size;
        if (i < cameras_.size()) records[i].camera = cameras_[i];
    }
    return records;
}

RenderScene Stitcher::renderScene() const {
    RenderScene scene;
    scene.cameras = cameras_;
    scene.component = component_;
    scene.sources.directory = directory_;
    scene.sources.photographs = photographs_;
    return scene;
}

bool Stitcher::renderRun(Run& run, PanoramaSink& output, const RenderOptions& renderOptions) {
    if (!renderOptions.renderEnabled) return true;
    RunReport& report = run.report;
    const RenderOptions& render = renderOptions;
    // A recorded mapping holds the orientation the file's cameras were drawn with.
    cameras_ = render.mapping.known() ? solved_ : orientCameras(solved_, component_, render);
    const RenderScene scene = renderScene();
    Gains gains;
    if (render.gainCompensation) gains = computeGains(render, scene, progress, run.log);
    ThreadPool pool(options.threads);
    // The render's budget is what the feature stage left of the system memory.
    const Renderer renderer(render, options.systemMemory - featureImageMemory_);
    WatchedOutput watched(output);
    const RenderPlan plan = renderer.plan(scene, gains, !watched.holdsWholePanorama(), &pool, run.log);
    if (plan.drawable() && !watched.holdsWholePanorama()) {
        CarriedMetadata carried = carriedMetadata(plan, scene, render);
        for (const std::string& warning : carried.warnings) run.log << warning << '\n';
        watched.setMetadata(std::move(carried.metadata));
    }
    report.render = renderer.execute(plan, watched, gains, progress, run.log, &pool);
    cameras_ = keepUnmoved(report.render.cameras, solved_);
    // A mapping that only rounding moved from the one drawn before (or read) stays as it was.
    mapping_ = keepRecordedMapping(report.render.mapping, mapping_);
    report.warnings.insert(report.warnings.end(), report.render.notes.begin(), report.render.notes.end());
    if (!report.render.error.empty()) {
        ended(report, StitchOutcome::Failed, report.render.error);
        return false;
    }
    return true;
}

RunReport Stitcher::parameterFileRun(Run& run, std::string directory, const std::string& parameterFile,
                                     PanoramaSink& output) {
    clearRunResults();
    imagesSelected_ = true;
    needsRegistration_ = true;
    RunReport& report = run.report;
    std::vector<CameraRecord> records;
    std::string why;
    PanoramaChecksum panorama;
    OutputMapping mapping;
    const int count = loadParameterFile(parameterFile, options.systemMemory, records, &why, &panorama, &mapping);
    // Without a directory of their own, relative names are the file's: taken against its folder.
    if (directory.empty())
        for (CameraRecord& record : records) record.name = resolvedName(record.name, folderOfFile(parameterFile));
    directory_ = std::move(directory);
    std::vector<int32_t> component = registeredRecords(records);
    if (count > 0) why = recordedProjectionProblem(withRecordedMapping(options.render, mapping));
    if (count > 0 && why.empty()) why = checkParameterFilePhotographs(directory_, records, component);
    if (count < 0 || !why.empty())  // all or nothing: a bad record or photograph renders nothing
        return ended(report, StitchOutcome::Unreadable, "cannot read " + parameterFile + ": " + why);
    if (count == 0) return ended(report, StitchOutcome::Unreadable, "no image records in " + parameterFile);
    report.records = count;
    // A pair torn by a run stopped between its two renames: said, and rendered again whole.
    if (std::string torn = checkPanoramaPair(parameterFile, panorama); !torn.empty()) {
        run.log << " " << torn << std::endl;
        report.warnings.push_back(std::move(torn));
    }
    for (CameraRecord& record : records) {
        photographs_.push_back(Photograph{std::move(record.name), record.size});
        cameras_.push_back(std::move(record.camera));
    }
    component_ = std::move(component);
    intoOutputFrame(cameras_, component_, mapping);
    solved_ = cameras_;
    if (component_.empty()) return ended(report, StitchOutcome::NoMatches);  // nothing to render
    needsRegistration_ = false;
    progress.renderOnly = true;
    std::vector<ImageSize> sizes;
    for (const Photograph& photograph : photographs_) sizes.push_back(photograph.size);
    progress.setRenderShare(renderProgressShare(options.render, sizes));
    mapping_ = mapping;
    const bool rendered = renderRun(run, output, withRecordedMapping(options.render, mapping));
    progress.renderOnly = false;
    return rendered ? ended(report, StitchOutcome::Stitched) : report;
}

// A cancel request unwinds the run from the progress report where it was seen; what the run's
// stages held goes with their scope. The sink of an unfinished panorama is never finished, so
// nothing of it is kept.
template <typename Body>
RunReport Stitcher::cancellable(std::ostream& log, Body&& body) {
    const bool renderOnlyBefore = progress.renderOnly;
    const InputWatch watch(progress.cancel);
    Run run{log, {}};
    try {
        body(run);
    } catch (const StitchCancelled&) {
        progress.renderOnly = renderOnlyBefore;
        ended(run.report, StitchOutcome::Cancelled);
        run.report.render = RenderResult{};
        return run.report;
    }
    // A read stopped by the cancel may have failed before any report saw the request.
    const bool cancelled = progress.cancel != nullptr && progress.cancel->requested() && !run.report.stitched();
    if (std::string changed = InputWatch::changedDuringRun(); !changed.empty() || cancelled) {
        // Whatever was made from a photograph that changed mixes two pictures: nothing is kept.
        progress.renderOnly = renderOnlyBefore;
        if (cancelled) ended(run.report, StitchOutcome::Cancelled);
        else ended(run.report, StitchOutcome::Unreadable, std::move(changed));
        run.report.render = RenderResult{};
        return run.report;
    }
    if (run.report.stitched()) progress.finish();
    return run.report;
}

RunReport Stitcher::stitch(std::string directory, std::vector<std::string> names, PanoramaSink& output,
                           std::ostream& log) {
    return cancellable(log, [&](Run& run) { stitchRun(run, std::move(directory), std::move(names), output); });
}

RunReport Stitcher::stitchFromParameterFile(std::string directory, const std::string& parameterFile,
                                            PanoramaSink& output, std::ostream& log) {
    return cancellable(log, [&](Run& run) { parameterFileRun(run, std::move(directory), parameterFile, output); });
}

RunReport Stitcher::render(PanoramaSink& output, const RenderOptions& renderOptions, std::ostream& log) {
    std::vector<ImageSize> sizes;
    for (const Photograph& photograph : photographs_) sizes.push_back(photograph.size);
    progress.setRenderShare(renderProgressShare(renderOptions, sizes));
    return cancellable(log, [&](Run& run) {
        run.report.records = static_cast<int>(photographs_.size());
        if (renderRun(run, output, renderOptions)) ended(run.report, StitchOutcome::Stitched);
    });
}

namespace {

// A run that got as far as rendering (or was cancelled) leaves no stale or partial panorama
// behind; one that stopped earlier leaves the image alone.
void clearUnrendered(const RunReport& report, bool renderEnabled, bool reachedRender, Image& output) {
    if (report.outcome == StitchOutcome::Cancelled || (reachedRender && renderEnabled && !report.render.rendered))
        output.clear();
}

}  // namespace

RunReport Stitcher::stitch(std::string directory, std::vector<std::string> names, Image& output, std::ostream& log) {
    ImageSink sink(output);
    const RunReport report = stitch(std::move(directory), std::move(names), sink, log);
    clearUnrendered(report, options.render.renderEnabled, !needsRegistration_, output);
    return report;
}

RunReport Stitcher::stitchFromParameterFile(std::string directory, const std::string& parameterFile, Image& output,
                                            std::ostream& log) {
    ImageSink sink(output);
    const RunReport report = stitchFromParameterFile(std::move(directory), parameterFile, sink, log);
    clearUnrendered(report, options.render.renderEnabled, !needsRegistration_, output);
    return report;
}

RunReport Stitcher::render(Image& output, const RenderOptions& renderOptions, std::ostream& log) {
    ImageSink sink(output);
    const RunReport report = render(sink, renderOptions, log);
    clearUnrendered(report, renderOptions.renderEnabled, true, output);
    return report;
}

std::ostream& writeParameterFile(std::ostream& out, const Stitcher& stitcher, const std::string& folder) {
    std::vector<CameraRecord> records = stitcher.cameraRecords();
    if (!folder.empty())
        for (CameraRecord& record : records) record.name = recordedName(stitcher.directory() + record.name, folder);
    return writeParameterFile(out, records, stitcher.component(), stitcher.options.parameterFileMatrices,
                              &stitcher.mapping());
}

}  // namespace vantorra
