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

// The options that name a render component, after the output size's choice.
void addComponentRows(std::vector<OptionSpec>& t) {
    using F = OptionField;
    using K = OptionKind;
    t.push_back({F::Blending, K::Choice, "render/blendingMethod", "Rendering Options", "Blending Method:", "blend",
                 "", "blending", {0, 0}, choicesOf(compositors()), {}, true, 1, {}, "",
                 VANTORRA_COMPONENT(render.blendingMethod, compositors)});
    t.push_back({F::Projection, K::Choice, "render/projection", "Rendering Options", "Projection:", "projection", "",
                 "projection of the panorama", {0, 0}, choicesOf(projections()), {}, true, 1, {}, "",
                 VANTORRA_COMPONENT(render.projection, projections)});
    t.push_back({F::Seam, K::Choice, "render/seam", "Rendering Options", "Seams:", "seam", "", "seams", {0, 0},
                 choicesOf(seamFinders()), {}, true, 1, {}, "", VANTORRA_COMPONENT(render.seam, seamFinders)});
}

#undef VANTORRA_COMPONENT

std::vector<OptionSpec> makeTable() {
    using F = OptionField;
    using K = OptionKind;
    const std::vector<std::string_view> percentages = {"100%", "50%", "25%", "10%"};
    std::vector<OptionSpec> t;
    t.push_back({F::OutputSize, K::Choice, "render/sizeMode", "Output Size", "Output size", "", "", "",
                 {0, 0}, {{"width", "Width (pixels)"}, {"height", "Height (pixels)"}, {"scale", "Scale (%)"}},
                 {}, true, 1, {}, "", VANTORRA_SLOT(int64_t, render.sizeMode)});
    addComponentRows(t);
    t.push_back({F::Rotation, K::Choice, "render/imageRotation", "Image Rotation", "Image rotation", "rotate", "",
                 "image rotation", {0, 0},
                 {{"none", "None"}, {"cw", "Clockwise"}, {"ccw", "Anticlockwise"}, {"180", "Upside Down"}}, {}, true,
                 1, {}, "", VANTORRA_SLOT(int64_t, render.imageRotation)});
    t.push_back({F::Width, K::Integer, "render/width", "Output Size", "Width (pixels)", "width", "N",
                 "output width in pixels (sets the size mode)", kPanoramaSideRange, {},
                 OptionSelects{F::OutputSize, "width"}, true, 1, {}, "", VANTORRA_SLOT(int64_t, render.width)});
    t.push_back({F::Height, K::Integer, "render/height", "Output Size", "Height (pixels)", "height", "N",
                 "output height in pixels (sets the size mode)", kPanoramaSideRange, {},
                 OptionSelects{F::OutputSize, "height"}, true, 1, {}, "", VANTORRA_SLOT(int64_t, render.height)});
    t.push_back({F::ScaleText, K::Percent, "render/scale", "Output Size", "Scale (%)", "scale", "PERCENT",
                 "output scale in percent, e.g. 10 or 10% (sets the size mode)", {0, 0}, {},
                 OptionSelects{F::OutputSize, "scale"}, true, 1, percentages, "", VANTORRA_SLOT(double, render.scale)});
    t.push_back({F::AutoStraighten, K::Check, "render/autoStraighten", "Orientation Settings", "Auto Straighten",
                 "no-straighten", "", "do not straighten the panorama automatically", {0, 0}, {}, {}, false, 1, {}, "",
                 VANTORRA_SLOT(bool, render.autoStraighten)});
    t.push_back({F::AutoCrop, K::Check, "render/autoCrop", "Crop Settings", "Auto Crop", "", "", "", {0, 0}, {},
                 {}, true, 1, {}, "", VANTORRA_SLOT(bool, render.autoCrop)});
    t.push_back({F::ThetaMin, K::Angle, "render/thetaMinDeg", "Crop Settings", "Theta min", "crop",
                 "THETA_MIN,THETA_MAX,PHI_MIN,PHI_MAX", "crop in degrees; turns automatic cropping off", {0, 0}, {},
                 OptionSelects{F::AutoCrop, "false"}, true, 4, {}, "Manual crop settings:", VANTORRA_SLOT(double, render.thetaMin)});
    t.push_back({F::ThetaMax, K::Angle, "render/thetaMaxDeg", "Crop Settings", "Theta max", "", "", "", {0, 0}, {},
                 OptionSelects{F::AutoCrop, "false"}, true, 1, {}, "", VANTORRA_SLOT(double, render.thetaMax)});
    t.push_back({F::PhiMin, K::Angle, "render/phiMinDeg", "Crop Settings", "Phi min", "", "", "", {0, 0}, {},
                 OptionSelects{F::AutoCrop, "false"}, true, 1, {}, "", VANTORRA_SLOT(double, render.phiMin)});
    t.push_back({F::PhiMax, K::Angle, "render/phiMaxDeg", "Crop Settings", "Phi max", "", "", "", {0, 0}, {},
                 OptionSelects{F::AutoCrop, "false"}, true, 1, {}, "", VANTORRA_SLOT(double, render.phiMax)});
    t.push_back({F::FeatureSize, K::Choice, "feature/sizeMode", "Matching Options", "SIFT Image Size:", "", "", "",
                 {0, 0}, {{"min-dim", "Min dim (pixels)"}, {"scale", "Scale (%)"}}, {}, true, 1, {}, "",
                 VANTORRA_SLOT(int64_t, feature.siftSizeMode)});
    t.push_back({F::MinDim, K::Integer, "feature/minDim", "Matching Options", "Min dim (pixels)", "sift-min-dim", "N",
                 "feature image minimum dimension in pixels (sets the SIFT size mode)", kFeatureMinDimRange, {},
                 OptionSelects{F::FeatureSize, "min-dim"}, true, 1, {}, "", VANTORRA_SLOT(int64_t, feature.siftMinDim)});
    t.push_back({F::FeatureScaleText, K::Percent, "feature/scale", "Matching Options", "Scale (%)", "sift-scale",
                 "PERCENT", "feature image scale in percent (sets the SIFT size mode)", {0, 0}, {},
                 OptionSelects{F::FeatureSize, "scale"}, true, 1, percentages, "", VANTORRA_SLOT(double, feature.siftScale)});
    t.push_back({F::SystemMemoryText, K::Memory, "engine/systemMemoryGB", "Other Options", "System Memory (GB)",
                 "memory", "GB", "system memory in GB, e.g. 0.25", {0, 0}, {}, {}, true, 1,
                 {"2.0", "1.0", "0.5", "0.25", "0.1"}, "", VANTORRA_SLOT(int64_t, systemMemory)});
    t.push_back({F::BlendingSigma, K::Number, "render/blendingSigma", "Rendering Options", "Blending sigma",
                 "blend-sigma", "S", "multi-band blending sigma", {0, 0}, {},
                 OptionSelects{F::Blending, "multiband"}, true, 1, {}, "Multi-Band blending options:", VANTORRA_SLOT(double, render.blendingSigma)});
    t.push_back({F::BlendingBands, K::Integer, "render/blendingBands", "Rendering Options", "Blending bands",
                 "bands", "N", "multi-band blending bands", kBlendingBandsRange, {},
                 OptionSelects{F::Blending, "multiband"}, true, 1, {}, "", VANTORRA_SLOT(int64_t, render.blendingBands)});
    t.push_back({F::Alpha, K::Number, "ransac/alpha", "Matching Options", "Alpha", "alpha", "A", "RANSAC alpha",
                 {0, 0}, {}, {}, true, 1, {}, "RANSAC Parameters:", VANTORRA_SLOT(double, ransac.alpha)});
    t.push_back({F::Beta, K::Number, "ransac/beta", "Matching Options", "Beta", "beta", "B", "RANSAC beta", {0, 0},
                 {}, {}, true, 1, {}, "", VANTORRA_SLOT(double, ransac.beta)});
    t.push_back({F::MaxIterations, K::Integer, "ransac/iterations", "Matching Options", "Max iterations",
                 "iterations", "N", "RANSAC iterations", kRansacIterationsRange, {}, {}, true, 1, {}, "",
                 VANTORRA_SLOT(int64_t, ransac.ransacIterations)});
    t.push_back({F::JpegQuality, K::Integer, "render/jpegQuality", "Other Options", "JPEG Quality", "quality", "Q",
                 "JPEG quality of pano.jpg", kJpegQualityRange, {}, {}, true, 1, {}, "",
                 VANTORRA_SLOT(int64_t, render.jpegQuality)});
    t.push_back({F::OrientTheta, K::Angle, "render/orientThetaDeg", "Orientation Settings", "Theta", "orient",
                 "THETA,PHI,PSI", "manual orientation in degrees", {0, 0}, {}, {}, true, 3, {}, "Manual orientation settings:",
                 VANTORRA_SLOT(double, render.orientTheta)});
    t.push_back({F::OrientPhi, K::Angle, "render/orientPhiDeg", "Orientation Settings", "Phi", "", "", "", {0, 0},
                 {}, {}, true, 1, {}, "", VANTORRA_SLOT(double, render.orientPhi)});
    t.push_back({F::OrientPsi, K::Angle, "render/orientPsiDeg", "Orientation Settings", "Psi", "", "", "", {0, 0},
                 {}, {}, true, 1, {}, "", VANTORRA_SLOT(double, render.orientPsi)});
    t.push_back({F::GainCompensation, K::Check, "render/gainCompensation", "Rendering Options", "Gain Compensation",
                 "gain", "", "turn gain compensation on", {0, 0}, {}, {}, true, 1, {}, "",
                 VANTORRA_SLOT(bool, render.gainCompensation)});
    t.push_back({F::GainSigma, K::Number, "render/gainSigma", "Rendering Options", "Gain sigma", "gain-sigma", "S",
                 "gain compensation sigma (turns gain compensation on)", {0, 0}, {},
                 OptionSelects{F::GainCompensation, "true"}, true, 1, {}, "", VANTORRA_SLOT(double, render.gainSigma)});
    t.push_back({F::GainMean, K::Number, "render/gainMean", "Rendering Options", "Gain mean", "gain-mean", "M",
                 "gain compensation mean (turns gain compensation on)", {0, 0}, {},
                 OptionSelects{F::GainCompensation, "true"}, true, 1, {}, "", VANTORRA_SLOT(double, render.gainMean)});
    t.push_back({F::RefineRegistration, K::Check, "bundle/refineRegistration", "Matching Options",
                 "Refine registration", "no-refine", "",
                 "register without re-selecting the matches and refining their positions", {0, 0}, {}, {}, false, 1,
                 {}, "Bundle Adjustment:", VANTORRA_SLOT(bool, bundle.refineRegistration)});
    t.push_back({F::Threads, K::Integer, "engine/threads", "Other Options", "Threads (0: every core)", "threads", "N",
                 "threads to use", kThreadsRange, {}, {}, true, 1, {}, "", VANTORRA_SLOT(int64_t, threads)});
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

}  // namespace vantorra
