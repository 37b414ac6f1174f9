#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <map>
#include <optional>
#include <sstream>

#include "options/option_conversions.h"
#include "options/option_ranges.h"

namespace vantorra {
namespace {

// A value rejected while converting the option texts; becomes the usage error.
struct BadValue {
    std::string message;
};

[[noreturn]] void reject(const std::string& option, const std::string& text, const std::string& accepted) {
    throw BadValue{option + " must be " + accepted + " (got '" + text + "')"};
}

// "2 to 65500", as the help and the refusals say it.
std::string bounds(const OptionRange& range) {
    return std::to_string(range.minimum) + " to " + std::to_string(range.maximum);
}

int32_t integerIn(const std::string& option, const std::string& text, const OptionRange& range) {
    const std::optional<int32_t> value = readInteger(text, range.minimum, range.maximum);
    if (!value) {
        const std::string why = *range.reason != '\0' ? std::string(" ") + range.reason : std::string();
        reject(option, text, "an integer from " + bounds(range) + why);
    }
    return *value;
}

float finiteNumber(const std::string& option, const std::string& text) {
    const std::optional<float> value = readFloat(text);
    if (!value || !std::isfinite(*value)) reject(option, text, "a number");
    return *value;
}

float positiveNumber(const std::string& option, const std::string& text, const std::string& unit) {
    const float value = finiteNumber(option, text);
    if (!(value > 0.0f)) reject(option, text, "a number greater than 0" + unit);
    return value;
}

// The dialog ignores a one-character percentage ("5" leaves the value as it was); on a command
// line that would silently drop what the user asked for, so "5" reads as 5 %, like "5%".
float percentage(const std::string& option, const std::string& text) {
    std::string number = text;
    if (!number.empty() && number.back() == '%') number.pop_back();
    positiveNumber(option, number, " (a percentage)");
    return readPercent(number + "%", 0.0f);
}

int64_t memory(const std::string& option, const std::string& text) {
    positiveNumber(option, text, " (gigabytes)");
    const int64_t bytes = readMemory(text);
    if (bytes <= 0) reject(option, text, "a number greater than 0 (gigabytes)");
    return bytes;
}

std::vector<float> anglesInDegrees(const std::string& option, const std::string& text, size_t count,
                                   const std::string& form) {
    std::vector<float> radians;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        const std::optional<float> angle = readAngle(part);
        if (!angle || !std::isfinite(*angle)) reject(option, text, form + " (degrees)");
        radians.push_back(*angle);
    }
    if (radians.size() != count || (!text.empty() && text.back() == ',')) reject(option, text, form + " (degrees)");
    return radians;
}

template <typename Value>
Value choice(const std::string& option, const std::string& text, const std::map<std::string, Value>& names,
             const std::string& accepted) {
    const auto found = names.find(text);
    if (found == names.end()) reject(option, text, "one of " + accepted);
    return found->second;
}

// The option texts as typed; converted after parsing so every range message has one form.
struct Texts {
    std::string width, height, scale, crop, orient, rotate, blend, bands, blendSigma, gainSigma, gainMean,
        siftMinDim, siftScale, alpha, beta, iterations, memory, quality, threads, log;
    bool noStraighten = false, gain = false, noRefine = false, version = false;
};

void declare(CLI::App& app, Texts& t, CliOptions& o) {
    app.add_option("IMAGE", o.inputs,
                   "two or more JPEG photographs (names containing .jpg or .JPG), or one parameter "
                   "file (.txt or .ast) to render again")
        ->type_name("IMAGE");
    app.add_option("-o,--output-dir", o.outputDirectory, "folder for pano.jpg, pano.txt and log.txt (default .)")
        ->type_name("DIR");
    app.add_option("--width", t.width, "output width in pixels, " + bounds(kPanoramaSideRange) + " (default 1400; sets the size mode)")
        ->type_name("N");
    app.add_option("--height", t.height, "output height in pixels, " + bounds(kPanoramaSideRange) + " (sets the size mode)")
        ->type_name("N");
    app.add_option("--scale", t.scale, "output scale in percent, e.g. 10 or 10% (sets the size mode)")
        ->type_name("PERCENT");
    app.add_option("--crop", t.crop, "THETA_MIN,THETA_MAX,PHI_MIN,PHI_MAX in degrees; turns automatic cropping off")
        ->type_name("THETA_MIN,THETA_MAX,PHI_MIN,PHI_MAX");
    app.add_flag("--no-straighten", t.noStraighten, "do not straighten the panorama automatically");
    app.add_option("--orient", t.orient, "THETA,PHI,PSI manual orientation in degrees (default 0,0,0)")
        ->type_name("THETA,PHI,PSI");
    app.add_option("--rotate", t.rotate, "image rotation: none, cw, ccw or 180 (default none)")
        ->type_name("none|cw|ccw|180");
    app.add_option("--blend", t.blend, "blending: none, linear or multiband (default multiband)")
        ->type_name("none|linear|multiband");
    app.add_option("--bands", t.bands, "multi-band blending bands, " + bounds(kBlendingBandsRange) + " (default 2)")
        ->type_name("N");
    app.add_option("--blend-sigma", t.blendSigma, "multi-band blending sigma (default 5)")
        ->type_name("S");
    app.add_flag("--gain", t.gain, "turn gain compensation on");
    app.add_option("--gain-sigma", t.gainSigma, "gain compensation sigma (default 0.1; turns gain compensation on)")
        ->type_name("S");
    app.add_option("--gain-mean", t.gainMean, "gain compensation mean (default 1; turns gain compensation on)")
        ->type_name("M");
    app.add_option("--sift-min-dim", t.siftMinDim,
                   "feature image minimum dimension in pixels, " + bounds(kFeatureMinDimRange) +
                       " (default 400; sets the SIFT size mode)")
        ->type_name("N");
    app.add_option("--sift-scale", t.siftScale, "feature image scale in percent (sets the SIFT size mode)")
        ->type_name("PERCENT");
    app.add_option("--alpha", t.alpha, "RANSAC alpha (default 10)")
        ->type_name("A");
    app.add_option("--beta", t.beta, "RANSAC beta (default 0.2)")
        ->type_name("B");
    app.add_option("--iterations", t.iterations, "RANSAC iterations, " + bounds(kRansacIterationsRange) + " (default 500)")
        ->type_name("N");
    app.add_flag("--no-refine", t.noRefine,
                 "register without re-selecting the matches and refining their positions");
    app.add_option("--memory", t.memory, "system memory in GB, e.g. 0.25 (default 0.25)")
        ->type_name("GB");
    app.add_option("--quality", t.quality, "JPEG quality of pano.jpg, " + bounds(kJpegQualityRange) + " (default 75)")
        ->type_name("Q");
    app.add_option("--threads", t.threads, "threads to use, " + bounds(kThreadsRange) + " (default 0: one per core)")
        ->type_name("N");
    app.add_option("--log", t.log, "engine log: console (standard output), file (log.txt) or none (default)")
        ->type_name("console|file|none");
    app.add_flag("--quiet", o.quiet, "no progress display and no closing line");
    app.add_flag("--version", t.version, "print the version and exit");
}

// Applies the texts in the order the options were given, so that the last of --width,
// --height and --scale (and of --sift-min-dim and --sift-scale) picks the mode, as typing into
// those fields of the Options dialog does.
void apply(const CLI::App& app, const Texts& t, CliOptions& o) {
    RenderOptions& render = o.stitch.render;
    FeatureOptions& feature = o.stitch.feature;
    bool blendGiven = false, bandOptionGiven = false;
    for (const CLI::Option* option : app.parse_order()) {
        if (option->get_lnames().empty()) continue;  // the image list
        const std::string name = "--" + option->get_lnames().front();
        if (name == "--width") {
            render.width = integerIn(name, t.width, kPanoramaSideRange);
            render.sizeMode = SizeMode::Width;
        } else if (name == "--height") {
            render.height = integerIn(name, t.height, kPanoramaSideRange);
            render.sizeMode = SizeMode::Height;
        } else if (name == "--scale") {
            render.scale = percentage(name, t.scale);
            render.sizeMode = SizeMode::Scale;
        } else if (name == "--sift-min-dim") {
            feature.siftMinDim = integerIn(name, t.siftMinDim, kFeatureMinDimRange);
            feature.siftSizeMode = SiftSizeMode::MinDimension;
        } else if (name == "--sift-scale") {
            feature.siftScale = percentage(name, t.siftScale);
            feature.siftSizeMode = SiftSizeMode::Scale;
        } else if (name == "--blend") {
            blendGiven = true;
        } else if (name == "--bands" || name == "--blend-sigma") {
            bandOptionGiven = true;
        }
    }
    if (!t.crop.empty()) {
        const std::vector<float> crop = anglesInDegrees("--crop", t.crop, 4, "THETA_MIN,THETA_MAX,PHI_MIN,PHI_MAX");
        render.thetaMin = crop[0];
        render.thetaMax = crop[1];
        render.phiMin = crop[2];
        render.phiMax = crop[3];
        render.autoCrop = false;
    }
    if (!t.orient.empty()) {
        const std::vector<float> orient = anglesInDegrees("--orient", t.orient, 3, "THETA,PHI,PSI");
        render.orientTheta = orient[0];
        render.orientPhi = orient[1];
        render.orientPsi = orient[2];
    }
    if (t.noStraighten) render.autoStraighten = false;
    if (!t.rotate.empty()) {
        render.imageRotation =
            choice<ImageRotation>("--rotate", t.rotate,
                                  {{"none", ImageRotation::None}, {"cw", ImageRotation::Clockwise},
                                   {"ccw", ImageRotation::Anticlockwise}, {"180", ImageRotation::UpsideDown}},
                                  "none, cw, ccw, 180");
    }
    if (!t.bands.empty()) render.blendingBands = integerIn("--bands", t.bands, kBlendingBandsRange);
    if (!t.blendSigma.empty()) render.blendingSigma = finiteNumber("--blend-sigma", t.blendSigma);
    // Band settings only mean something for multi-band blending, so they select it unless the
    // method was named explicitly.
    if (bandOptionGiven && !blendGiven) render.blendingMethod = BlendingMethod::MultiBand;
    if (blendGiven) {
        render.blendingMethod = choice<BlendingMethod>(
            "--blend", t.blend,
            {{"none", BlendingMethod::None}, {"linear", BlendingMethod::Linear}, {"multiband", BlendingMethod::MultiBand}},
            "none, linear, multiband");
    }
    if (!t.gainSigma.empty()) render.gainSigma = finiteNumber("--gain-sigma", t.gainSigma);
    if (!t.gainMean.empty()) render.gainMean = finiteNumber("--gain-mean", t.gainMean);
    if (t.gain || !t.gainSigma.empty() || !t.gainMean.empty()) render.gainCompensation = true;
    if (!t.alpha.empty()) o.stitch.ransac.alpha = finiteNumber("--alpha", t.alpha);
    if (!t.beta.empty()) o.stitch.ransac.beta = finiteNumber("--beta", t.beta);
    if (!t.iterations.empty()) o.stitch.ransac.ransacIterations = integerIn("--iterations", t.iterations, kRansacIterationsRange);
    if (t.noRefine) o.stitch.bundle.refineRegistration = false;
    if (!t.memory.empty()) o.stitch.systemMemory = memory("--memory", t.memory);
    if (!t.quality.empty()) render.jpegQuality = integerIn("--quality", t.quality, kJpegQualityRange);
    if (!t.threads.empty()) o.stitch.threads = integerIn("--threads", t.threads, kThreadsRange);
    if (!t.log.empty())
        o.logMode = choice<LogDestination::Mode>(
            "--log", t.log,
            {{"console", LogDestination::Console}, {"file", LogDestination::File}, {"none", LogDestination::None}},
            "console, file, none");
}

}  // namespace

std::string versionText() { return std::string("vantorra-cli ") + VANTORRA_VERSION; }

ParseOutcome parseCommandLine(const std::vector<std::string>& arguments) {
    ParseOutcome outcome;
    CLI::App app("Stitches overlapping photographs into one spherical panorama, written as pano.jpg "
                 "and pano.txt in the output folder.",
                 "vantorra-cli");
    Texts texts;
    declare(app, texts, outcome.options);

    std::vector<const char*> argv{"vantorra-cli"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
        if (texts.version) {
            outcome.action = ParseOutcome::ShowVersion;
            outcome.text = versionText();
            return outcome;
        }
        apply(app, texts, outcome.options);
    } catch (const CLI::CallForHelp&) {
        outcome.action = ParseOutcome::ShowHelp;
        outcome.text = app.help();
    } catch (const CLI::ParseError& error) {
        outcome.action = ParseOutcome::UsageError;
        outcome.text = error.what();
    } catch (const BadValue& error) {
        outcome.action = ParseOutcome::UsageError;
        outcome.text = error.message;
    }
    return outcome;
}

}  // namespace vantorra
