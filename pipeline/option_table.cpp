#include "pipeline/option_table.h"

#include <cmath>
#include <type_traits>

#include "options/option_conversions.h"
#include "render/compositor_registry.h"
#include "render/projection_registry.h"
#include "render/seam_registry.h"

namespace vantorra {

namespace {

// The value of `member` as it travels through the table: whole numbers (and enums) as int64,
// floats as double, flags as bool. Every conversion is exact both ways.
#define VANTORRA_SLOT(T, member)                                                          \
    [](const StitchOptions& o) -> OptionValue { return static_cast<T>(o.member); },       \
        [](StitchOptions& o, const OptionValue& v) {                                       \
            o.member = static_cast<std::remove_reference_t<decltype(o.member)>>(std::get<T>(v)); \
        }

// An option naming a render component: its place in the renderer's table as it travels through
// this one (-1 for a name the table does not hold), its name in the options.
#define VANTORRA_COMPONENT(member, table)                                                         \
    [](const StitchOptions& o) -> OptionValue { return static_cast<int64_t>(table().indexOf(o.member)); }, \
        [](StitchOptions& o, const OptionValue& v) {                                               \
            o.member = std::string(table().rows()[static_cast<size_t>(std::get<int64_t>(v))].name);  \
        }

// The rows of a renderer's table as the choices of an option, in its order.
template <typename Component>
std::vector<OptionChoice> choicesOf(const ComponentTable<Component>& table) {
    std::vector<OptionChoice> choices;
    for (const ComponentRow<Component>& row : table.rows())
        choices.push_back({std::string(row.name), std::string(row.caption), std::string(row.help)});
    return choices;
}

// The panorama's file format and depth, as choices by their place in the rows above.
constexpr const char* kFormats[] = {"jpeg", "tiff", "png"};

OptionValue formatOf(const StitchOptions& o) {
    for (int64_t i = 0; i < 3; ++i)
        if (o.render.outputFormat == kFormats[i]) return i;
    return int64_t{-1};
}

void setFormat(StitchOptions& o, const OptionValue& v) {
    o.render.outputFormat = kFormats[static_cast<size_t>(std::get<int64_t>(v))];
}

OptionValue depthOf(const StitchOptions& o) { return int64_t{o.render.outputDepth == 16 ? 1 : o.render.outputDepth == 8 ? 0 : -1}; }

void setDepth(StitchOptions& o, const OptionValue& v) { o.render.outputDepth = std::get<int64_t>(v) == 1 ? 16 : 8; }

// The options that name a render component, after the output size's choice.
void addComponentRows(std::vector<OptionSpec>& t) {
    using F = OptionField;
    using K = OptionKind;
    t.push_back({F::Blending, K::Choice, "render/blendingMethod", "Rendering Options", "How photographs are joined:",
                 "blend", "", "blending", {0, 0}, choicesOf(compositors()), {}, true, 1, {}, "",
                 VANTORRA_COMPONENT(render.blendingMethod, compositors),
                 "How overlapping photographs are joined: pasted over each other, faded into each other, or faded "
                 "band by band so fine detail stays sharp (blending method)"});
    t.push_back({F::Projection, K::Choice, "render/projection", "Rendering Options", "Projection:", "projection", "",
                 "projection of the panorama", {0, 0}, choicesOf(projections()), {}, true, 1, {}, "",
                 VANTORRA_COMPONENT(render.projection, projections),
                 "How the sphere of directions around the camera is laid out flat (projection)"});
    t.push_back({F::Seam, K::Choice, "render/seam", "Rendering Options", "Where seams run:", "seam", "", "seams",
                 {0, 0}, choicesOf(seamFinders()), {}, true, 1, {}, "", VANTORRA_COMPONENT(render.seam, seamFinders),
                 "Which photograph each pixel of an overlap comes from before blending (seam finder)"});
}

#undef VANTORRA_COMPONENT

// The output size, the render components and the rotation.
void addSizeRows(std::vector<OptionSpec>& t, const std::vector<std::string_view>& percentages) {
    using F = OptionField;
    using K = OptionKind;
    t.push_back({F::OutputSize, K::Choice, "render/sizeMode", "Output Size", "Output size", "", "", "",
                 {0, 0}, {{"width", "Width (pixels)"}, {"height", "Height (pixels)"}, {"scale", "Scale (%)"}},
                 {}, true, 1, {}, "", VANTORRA_SLOT(int64_t, render.sizeMode),
                 "Which of the three sets the panorama's size: its width, its height, or a percentage of the "
                 "photographs' own resolution"});
    addComponentRows(t);
    t.push_back({F::Rotation, K::Choice, "render/imageRotation", "Image Rotation", "Image rotation", "rotate", "",
                 "image rotation", {0, 0},
                 {{"none", "None"}, {"cw", "Clockwise"}, {"ccw", "Anticlockwise"}, {"180", "Upside down"}}, {}, true,
                 1, {}, "", VANTORRA_SLOT(int64_t, render.imageRotation),
                 "Turns the whole panorama a quarter or half turn, for photographs taken with the camera on its side "
                 "(image rotation)"});
    t.push_back({F::Width, K::Integer, "render/width", "Output Size", "Width (pixels)", "width", "N",
                 "output width in pixels (sets the size mode)", kPanoramaSideRange, {},
                 OptionSelects{F::OutputSize, "width"}, true, 1, {}, "", VANTORRA_SLOT(int64_t, render.width),
                 "The panorama's width in pixels; its height follows from what the photographs cover"});
    t.push_back({F::Height, K::Integer, "render/height", "Output Size", "Height (pixels)", "height", "N",
                 "output height in pixels (sets the size mode)", kPanoramaSideRange, {},
                 OptionSelects{F::OutputSize, "height"}, true, 1, {}, "", VANTORRA_SLOT(int64_t, render.height),
                 "The panorama's height in pixels; its width follows from what the photographs cover"});
    t.push_back({F::ScaleText, K::Percent, "render/scale", "Output Size", "Scale (%)", "scale", "PERCENT",
                 "output scale in percent, e.g. 10 or 10% (sets the size mode)", {0, 0}, {},
                 OptionSelects{F::OutputSize, "scale"}, true, 1, percentages, "", VANTORRA_SLOT(double, render.scale),
                 "The panorama's resolution as a percentage of the photographs' own: 100 % is full resolution"});
}

// Straightening and the crop.
void addStraightenAndCropRows(std::vector<OptionSpec>& t) {
    using F = OptionField;
    using K = OptionKind;
    t.push_back({F::AutoStraighten, K::Check, "render/autoStraighten", "Orientation Settings",
                 "Straighten the horizon automatically", "no-straighten", "",
                 "do not straighten the panorama automatically", {0, 0}, {}, {}, false, 1, {}, "",
                 VANTORRA_SLOT(bool, render.autoStraighten),
                 "Levels the horizon from the photographs themselves; otherwise the first photograph is kept as it "
                 "was taken (auto straighten)"});
    t.push_back({F::AutoCrop, K::Check, "render/autoCrop", "Crop Settings", "Crop to the photographs automatically",
                 "", "", "", {0, 0}, {}, {}, true, 1, {}, "", VANTORRA_SLOT(bool, render.autoCrop),
                 "Crops the panorama to what the photographs cover; otherwise to the edges below (auto crop)", true});
    t.push_back({F::CropInside, K::Check, "render/cropInside", "Crop Settings", "Crop to the covered rectangle", "",
                 "", "", {0, 0}, {}, OptionSelects{F::AutoCrop, "true"}, true, 1, {}, "",
                 VANTORRA_SLOT(bool, render.cropInside),
                 "Crops to the largest rectangle the photographs cover entirely, so no corner is left empty "
                 "(crop inside)"});
    t.push_back({F::ThetaMin, K::Angle, "render/thetaMinDeg", "Crop Settings", "Left edge", "crop",
                 "THETA_MIN,THETA_MAX,PHI_MIN,PHI_MAX|inside",
                 "crop in degrees (turns automatic cropping off), or inside: to the largest rectangle the "
                 "photographs cover",
                 {0, 0}, {}, OptionSelects{F::AutoCrop, "false"}, true, 4, {}, "Otherwise crop to:",
                 VANTORRA_SLOT(double, render.thetaMin),
                 "The panorama's left edge as a longitude, -180 to 180 degrees (theta min, θ min)", true, "inside",
                 F::CropInside});
    t.push_back({F::ThetaMax, K::Angle, "render/thetaMaxDeg", "Crop Settings", "Right edge", "", "", "", {0, 0}, {},
                 OptionSelects{F::AutoCrop, "false"}, true, 1, {}, "", VANTORRA_SLOT(double, render.thetaMax),
                 "The panorama's right edge as a longitude, -180 to 180 degrees (theta max, θ max)", true});
    t.push_back({F::PhiMin, K::Angle, "render/phiMinDeg", "Crop Settings", "Bottom edge", "", "", "", {0, 0}, {},
                 OptionSelects{F::AutoCrop, "false"}, true, 1, {}, "", VANTORRA_SLOT(double, render.phiMin),
                 "The panorama's bottom edge as a latitude, -90 to 90 degrees (phi min, φ min)", true});
    t.push_back({F::PhiMax, K::Angle, "render/phiMaxDeg", "Crop Settings", "Top edge", "", "", "", {0, 0}, {},
                 OptionSelects{F::AutoCrop, "false"}, true, 1, {}, "", VANTORRA_SLOT(double, render.phiMax),
                 "The panorama's top edge as a latitude, -90 to 90 degrees (phi max, φ max)", true});
}

// The feature image size, the memory and the bands of multi-band blending.
void addFeatureMemoryAndBandRows(std::vector<OptionSpec>& t, const std::vector<std::string_view>& percentages) {
    using F = OptionField;
    using K = OptionKind;
    t.push_back({F::FeatureSize, K::Choice, "feature/sizeMode", "Matching Options",
                 "Size the photographs are searched at:", "", "", "", {0, 0},
                 {{"min-dim", "Shortest side (pixels)"}, {"scale", "Scale (%)"}}, {}, true, 1, {}, "",
                 VANTORRA_SLOT(int64_t, feature.siftSizeMode),
                 "Photographs are reduced to this size before the features that match them are looked for: larger "
                 "finds more, smaller is quicker (SIFT image size)"});
    t.push_back({F::MinDim, K::Integer, "feature/minDim", "Matching Options", "Shortest side (pixels)", "sift-min-dim",
                 "N", "feature image minimum dimension in pixels (sets the SIFT size mode)", kFeatureMinDimRange, {},
                 OptionSelects{F::FeatureSize, "min-dim"}, true, 1, {}, "", VANTORRA_SLOT(int64_t, feature.siftMinDim),
                 "The shortest side of the reduced photographs, in pixels (SIFT min dim)"});
    t.push_back({F::FeatureScaleText, K::Percent, "feature/scale", "Matching Options", "Scale (%)", "sift-scale",
                 "PERCENT", "feature image scale in percent (sets the SIFT size mode)", {0, 0}, {},
                 OptionSelects{F::FeatureSize, "scale"}, true, 1, percentages, "", VANTORRA_SLOT(double, feature.siftScale),
                 "The reduced photographs as a percentage of their own size (SIFT scale)"});
    t.push_back({F::SystemMemoryText, K::Memory, "engine/systemMemoryGB", "Other Options", "Memory to use (GB)",
                 "memory", "GB", "system memory in GB, e.g. 0.25", {0, 0}, {}, {}, true, 1,
                 {"2.0", "1.0", "0.5", "0.25", "0.1"}, "", VANTORRA_SLOT(int64_t, systemMemory),
                 "Every buffer of a run is counted against this; a panorama larger than it is written to its file "
                 "as it is drawn (system memory)"});
    t.push_back({F::BlendingSigma, K::Number, "render/blendingSigma", "Rendering Options", "Band smoothing",
                 "blend-sigma", "S", "multi-band blending sigma", {0, 0}, {},
                 OptionSelects{F::Blending, "multiband"}, true, 1, {}, "Multi-band blending:",
                 VANTORRA_SLOT(double, render.blendingSigma),
                 "How widely the coarsest band is faded across a seam, in pixels (blending sigma, σ)"});
    t.push_back({F::BlendingBands, K::Integer, "render/blendingBands", "Rendering Options", "Bands", "bands", "N",
                 "multi-band blending bands", kBlendingBandsRange, {}, OptionSelects{F::Blending, "multiband"}, true, 1,
                 {}, "", VANTORRA_SLOT(int64_t, render.blendingBands),
                 "How many bands of detail are faded separately (blending bands)"});
}

// Matching, the JPEG quality and the manual orientation.
void addMatchingQualityAndOrientationRows(std::vector<OptionSpec>& t) {
    using F = OptionField;
    using K = OptionKind;
    t.push_back({F::Alpha, K::Number, "ransac/alpha", "Matching Options", "Least matches for a pair", "alpha", "A",
                 "RANSAC alpha", {0, 0}, {}, {}, true, 1, {}, "Two photographs are joined when they share:",
                 VANTORRA_SLOT(double, ransac.alpha),
                 "Two photographs count as overlapping when at least this many of their matches agree, plus the "
                 "share below of the features in their overlap (RANSAC alpha, α)"});
    t.push_back({F::Beta, K::Number, "ransac/beta", "Matching Options", "Share of the overlap", "beta", "B",
                 "RANSAC beta", {0, 0}, {}, {}, true, 1, {}, "", VANTORRA_SLOT(double, ransac.beta),
                 "The share of the features in the overlap that must match as well, 0.2 for a fifth (RANSAC beta, β)"});
    t.push_back({F::MaxIterations, K::Integer, "ransac/iterations", "Matching Options", "Tries per pair",
                 "iterations", "N", "RANSAC iterations", kRansacIterationsRange, {}, {}, true, 1, {}, "",
                 VANTORRA_SLOT(int64_t, ransac.ransacIterations),
                 "How many random samples of matches are tried to find how a pair overlaps (RANSAC iterations)"});
    t.push_back({F::JpegQuality, K::Integer, "render/jpegQuality", "Other Options", "JPEG quality", "quality", "Q",
                 "JPEG quality of pano.jpg", kJpegQualityRange, {}, {}, true, 1, {}, "",
                 VANTORRA_SLOT(int64_t, render.jpegQuality),
                 "The quality pano.jpg is written at, 0 to 100: higher keeps more detail in a larger file"});
    t.push_back({F::OutputFormat, K::Choice, "render/outputFormat", "Other Options", "Panorama file:", "format", "",
                 "file format of the panorama", {0, 0},
                 {{"jpeg", "JPEG (pano.jpg)", "8 bits a sample, at most 65,500 pixels a side"},
                  {"tiff", "TIFF (pano.tif)", "8 or 16 bits a sample, up to 1,048,576 pixels a side"},
                  {"png", "PNG (pano.png)", "8 or 16 bits a sample, up to 1,048,576 pixels a side"}},
                 {}, true, 1, {}, "", formatOf, setFormat,
                 "The file the panorama is written to: JPEG to share it, TIFF or PNG to keep 16 bits for editing "
                 "(output format)"});
    t.push_back({F::OutputDepth, K::Choice, "render/outputDepth", "Other Options", "Bits a sample:", "depth", "",
                 "bits a sample of the panorama (16 for TIFF and PNG)", {0, 0},
                 {{"8", "8 bits", ""}, {"16", "16 bits", ""}}, {}, true, 1, {}, "", depthOf, setDepth,
                 "How finely the panorama's tones are kept: 16 bits leave room for grading (bit depth)"});
    t.push_back({F::OrientTheta, K::Angle, "render/orientThetaDeg", "Orientation Settings", "Turn left or right",
                 "orient", "THETA,PHI,PSI", "manual orientation in degrees", {0, 0}, {}, {}, true, 3, {},
                 "Horizon and direction (θ, φ, ψ):", VANTORRA_SLOT(double, render.orientTheta),
                 "Turns the panorama about the vertical, moving its centre to the left or right (manual orientation "
                 "theta, θ)", true});
    t.push_back({F::OrientPhi, K::Angle, "render/orientPhiDeg", "Orientation Settings", "Tilt up or down", "", "", "",
                 {0, 0}, {}, {}, true, 1, {}, "", VANTORRA_SLOT(double, render.orientPhi),
                 "Tilts the panorama, raising or lowering its horizon (manual orientation phi, φ)", true});
    t.push_back({F::OrientPsi, K::Angle, "render/orientPsiDeg", "Orientation Settings", "Roll", "", "", "", {0, 0},
                 {}, {}, true, 1, {}, "", VANTORRA_SLOT(double, render.orientPsi),
                 "Rolls the panorama about its centre, tilting its horizon sideways (manual orientation psi, ψ)", true});
}

// Gains, refinement and threads.
void addGainRefinementAndThreadRows(std::vector<OptionSpec>& t) {
    using F = OptionField;
    using K = OptionKind;
    t.push_back({F::GainCompensation, K::Check, "render/gainCompensation", "Rendering Options",
                 "Even out the photographs' brightness", "gain", "", "turn gain compensation on", {0, 0}, {}, {}, true,
                 1, {}, "", VANTORRA_SLOT(bool, render.gainCompensation),
                 "Evens out differences of exposure between the photographs (gain compensation)"});
    t.push_back({F::GainSigma, K::Number, "render/gainSigma", "Rendering Options", "Change allowed", "gain-sigma",
                 "S", "gain compensation sigma (turns gain compensation on)", {0, 0}, {},
                 OptionSelects{F::GainCompensation, "true"}, true, 1, {}, "", VANTORRA_SLOT(double, render.gainSigma),
                 "How far a photograph's brightness may be changed, as a fraction: 0.1 for about a tenth (gain "
                 "sigma, σ)"});
    t.push_back({F::GainMean, K::Number, "render/gainMean", "Rendering Options", "Brightness aimed at", "gain-mean",
                 "M", "gain compensation mean (turns gain compensation on)", {0, 0}, {},
                 OptionSelects{F::GainCompensation, "true"}, true, 1, {}, "", VANTORRA_SLOT(double, render.gainMean),
                 "The brightness factor the photographs are drawn towards: 1 keeps their overall level (gain mean)"});
    t.push_back({F::RefineRegistration, K::Check, "bundle/refineRegistration", "Matching Options",
                 "Refine the alignment", "no-refine", "",
                 "register without re-selecting the matches and refining their positions", {0, 0}, {}, {}, false, 1,
                 {}, "Alignment:", VANTORRA_SLOT(bool, bundle.refineRegistration),
                 "Once aligned, the matches are chosen again and their positions refined for a closer fit "
                 "(registration refinement, bundle adjustment)"});
    t.push_back({F::Threads, K::Integer, "engine/threads", "Other Options", "Threads (0: every core)", "threads", "N",
                 "threads to use", kThreadsRange, {}, {}, true, 1, {}, "", VANTORRA_SLOT(int64_t, threads),
                 "How many threads a run uses; any number gives the same panorama"});
}

// The rows in the order the command line's help, the dialog's pages and the stored settings
// list them.
std::vector<OptionSpec> makeTable() {
    const std::vector<std::string_view> percentages = {"100%", "50%", "25%", "10%"};
    std::vector<OptionSpec> t;
    addSizeRows(t, percentages);
    addStraightenAndCropRows(t);
    addFeatureMemoryAndBandRows(t, percentages);
    addMatchingQualityAndOrientationRows(t);
    addGainRefinementAndThreadRows(t);
    return t;
}

#undef VANTORRA_SLOT

std::string checkText(bool on) { return on ? "true" : "false"; }

std::variant<OptionValue, OptionError> parseChoice(const OptionSpec& spec, std::string_view text) {
    for (size_t i = 0; i < spec.choices.size(); ++i)
        if (spec.choices[i].name == text) return OptionValue(static_cast<int64_t>(i));
    // Settings stored by earlier versions hold the button's number.
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '9' && static_cast<size_t>(text[0] - '0') < spec.choices.size())
        return OptionValue(static_cast<int64_t>(text[0] - '0'));
    return OptionError::UnknownChoice;
}

std::variant<OptionValue, OptionError> parsePercent(std::string_view text) {
    if (!text.empty() && text.back() == '%') text.remove_suffix(1);
    const std::optional<float> number = readFloat(text);
    if (!number || !std::isfinite(*number)) return OptionError::NotNumber;
    if (!(*number > 0.0f)) return OptionError::NotPositive;
    return OptionValue(static_cast<double>(static_cast<float>(leadingNumber(text) * 0.01)));
}

std::variant<OptionValue, OptionError> parseMemory(std::string_view text) {
    const std::optional<float> number = readFloat(text);
    if (!number || !std::isfinite(*number)) return OptionError::NotNumber;
    const int64_t bytes = readMemory(text);
    if (!(*number > 0.0f) || bytes <= 0) return OptionError::NotPositive;
    return OptionValue(bytes);
}

}  // namespace

std::span<const OptionSpec> optionTable() {
    static const std::vector<OptionSpec> table = makeTable();
    return table;
}

const OptionSpec& optionSpec(OptionField field) { return optionTable()[static_cast<size_t>(field)]; }

const OptionSpec* findOptionByKey(std::string_view key) {
    for (const OptionSpec& spec : optionTable())
        if (spec.key == key) return &spec;
    return nullptr;
}

const OptionSpec* findOptionByFlag(std::string_view flag) {
    for (const OptionSpec& spec : optionTable())
        if (!spec.flag.empty() && spec.flag == flag) return &spec;
    return nullptr;
}

std::string optionText(const StitchOptions& options, OptionField field, bool degrees) {
    const OptionSpec& spec = optionSpec(field);
    const OptionValue value = spec.get(options);
    switch (spec.kind) {
        case OptionKind::Choice: {
            const auto index = static_cast<size_t>(std::get<int64_t>(value));
            return index < spec.choices.size() ? spec.choices[index].name : std::string();
        }
        case OptionKind::Check: return checkText(std::get<bool>(value));
        case OptionKind::Integer: return std::to_string(std::get<int64_t>(value));
        case OptionKind::Number: return floatText(static_cast<float>(std::get<double>(value)));
        case OptionKind::Percent: return percentText(static_cast<float>(std::get<double>(value)));
        case OptionKind::Memory: return memoryText(std::get<int64_t>(value));
        case OptionKind::Angle: {
            const auto radians = static_cast<float>(std::get<double>(value));
            return degrees ? angleText(radians) : floatText(radians);
        }
    }
    return {};
}

std::variant<OptionValue, OptionError> parseOption(OptionField field, std::string_view text, bool degrees) {
    const OptionSpec& spec = optionSpec(field);
    switch (spec.kind) {
        case OptionKind::Choice: return parseChoice(spec, text);
        case OptionKind::Check:
            if (text == "true" || text == "false") return OptionValue(text == "true");
            return OptionError::NotCheck;
        case OptionKind::Integer: {
            if (!readInteger(text, INT32_MIN, INT32_MAX)) return OptionError::NotInteger;
            const std::optional<int32_t> value = readInteger(text, spec.range.minimum, spec.range.maximum);
            if (!value) return OptionError::OutOfRange;
            return OptionValue(static_cast<int64_t>(*value));
        }
        case OptionKind::Number: {
            const std::optional<float> value = readFloat(text);
            if (!value || !std::isfinite(*value)) return OptionError::NotNumber;
            return OptionValue(static_cast<double>(*value));
        }
        case OptionKind::Percent: return parsePercent(text);
        case OptionKind::Memory: return parseMemory(text);
        case OptionKind::Angle: {
            const std::optional<float> value = degrees ? readAngle(text) : readFloat(text);
            if (!value || !std::isfinite(*value)) return OptionError::NotNumber;
            return OptionValue(static_cast<double>(*value));
        }
    }
    return OptionError::NotNumber;
}

std::optional<OptionError> setOption(StitchOptions& options, OptionField field, std::string_view text, bool degrees) {
    const std::variant<OptionValue, OptionError> parsed = parseOption(field, text, degrees);
    if (const OptionError* error = std::get_if<OptionError>(&parsed)) return *error;
    optionSpec(field).set(options, std::get<OptionValue>(parsed));
    return std::nullopt;
}

int choiceIndex(const StitchOptions& options, OptionField field) {
    const OptionSpec& spec = optionSpec(field);
    if (spec.kind != OptionKind::Choice) return -1;
    return static_cast<int>(std::get<int64_t>(spec.get(options)));
}

void applySelection(StitchOptions& options, const OptionSpec& spec) {
    if (spec.selects) setOption(options, spec.selects->field, spec.selects->value);
}

bool applies(const StitchOptions& options, const OptionSpec& spec) {
    return !spec.selects || optionText(options, spec.selects->field) == spec.selects->value;
}

void resetPerPanoramaOptions(StitchOptions& options) {
    const StitchOptions defaults;
    for (const OptionSpec& spec : optionTable())
        if (spec.perPanorama) spec.set(options, spec.get(defaults));
}

bool sameOptions(const StitchOptions& a, const StitchOptions& b) {
    for (const OptionSpec& spec : optionTable())
        if (optionText(a, spec.field, false) != optionText(b, spec.field, false)) return false;
    return true;
}

}  // namespace vantorra
