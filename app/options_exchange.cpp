#include "app/options_exchange.h"

#include <array>
#include <cstdint>

#include "options/option_conversions.h"
#include "options/option_ranges.h"

namespace vantorra {

namespace {

constexpr FieldRule intIn(const OptionRange& range) {
    return {FieldKind::Int, range.minimum, range.maximum, range.reason};
}

constexpr std::array<FieldRule, kOptionFieldCount> kRules = {{
    {FieldKind::Choice},                 // OutputSize
    {FieldKind::Choice},                 // Blending
    {FieldKind::Choice},                 // Rotation
    intIn(kPanoramaSideRange),           // Width
    intIn(kPanoramaSideRange),           // Height
    {FieldKind::Text},                   // ScaleText
    {FieldKind::Check},                  // AutoStraighten
    {FieldKind::Check},                  // AutoCrop
    {FieldKind::Float}, {FieldKind::Float}, {FieldKind::Float}, {FieldKind::Float},  // crop
    {FieldKind::Choice},                 // FeatureSize
    intIn(kFeatureMinDimRange),          // MinDim
    {FieldKind::Text},                   // FeatureScaleText
    {FieldKind::Text},                   // SystemMemoryText
    {FieldKind::Float},                  // BlendingSigma
    intIn(kBlendingBandsRange),          // BlendingBands
    {FieldKind::Float}, {FieldKind::Float},  // Alpha, Beta
    intIn(kRansacIterationsRange),       // MaxIterations
    intIn(kJpegQualityRange),            // JpegQuality
    {FieldKind::Float}, {FieldKind::Float}, {FieldKind::Float},  // orientation
    {FieldKind::Check},                  // GainCompensation
    {FieldKind::Float}, {FieldKind::Float},  // GainSigma, GainMean
    {FieldKind::Check},                  // RefineRegistration
    intIn(kThreadsRange),                // Threads
}};

float toDisplayAngle(float radians, bool degrees) { return degrees ? toDegrees(radians) : radians; }
float fromDisplayAngle(float shown, bool degrees) { return degrees ? fromDegrees(shown) : shown; }

// Where each member lives in OptionsDialogValues, so one loop in exchange order can move all
// of them between the controls and the members.
struct MemberRef {
    int* integer = nullptr;
    float* real = nullptr;
    bool* flag = nullptr;
    std::string* text = nullptr;
};

MemberRef memberOf(OptionsDialogValues& v, OptionField field) {
    switch (field) {
        case OptionField::OutputSize: return {.integer = &v.outputSize};
        case OptionField::Blending: return {.integer = &v.blending};
        case OptionField::Rotation: return {.integer = &v.rotation};
        case OptionField::Width: return {.integer = &v.width};
        case OptionField::Height: return {.integer = &v.height};
        case OptionField::ScaleText: return {.text = &v.scaleText};
        case OptionField::AutoStraighten: return {.flag = &v.autoStraighten};
        case OptionField::AutoCrop: return {.flag = &v.autoCrop};
        case OptionField::ThetaMin: return {.real = &v.thetaMin};
        case OptionField::ThetaMax: return {.real = &v.thetaMax};
        case OptionField::PhiMin: return {.real = &v.phiMin};
        case OptionField::PhiMax: return {.real = &v.phiMax};
        case OptionField::FeatureSize: return {.integer = &v.featureSize};
        case OptionField::MinDim: return {.integer = &v.minDim};
        case OptionField::FeatureScaleText: return {.text = &v.featureScaleText};
        case OptionField::SystemMemoryText: return {.text = &v.systemMemoryText};
        case OptionField::BlendingSigma: return {.real = &v.blendingSigma};
        case OptionField::BlendingBands: return {.integer = &v.blendingBands};
        case OptionField::Alpha: return {.real = &v.alpha};
        case OptionField::Beta: return {.real = &v.beta};
        case OptionField::MaxIterations: return {.integer = &v.maxIterations};
        case OptionField::JpegQuality: return {.integer = &v.jpegQuality};
        case OptionField::OrientTheta: return {.real = &v.orientTheta};
        case OptionField::OrientPhi: return {.real = &v.orientPhi};
        case OptionField::OrientPsi: return {.real = &v.orientPsi};
        case OptionField::GainCompensation: return {.flag = &v.gainCompensation};
        case OptionField::GainSigma: return {.real = &v.gainSigma};
        case OptionField::GainMean: return {.real = &v.gainMean};
        case OptionField::RefineRegistration: return {.flag = &v.refineRegistration};
        case OptionField::Threads: return {.integer = &v.threads};
    }
    return {};
}

}  // namespace

FieldRule fieldRule(OptionField field) { return kRules[static_cast<size_t>(field)]; }

OptionsDialogValues fillOptionsDialog(const StitchOptions& options, bool anglesInDegrees) {
    const RenderOptions& r = options.render;
    const FeatureOptions& f = options.feature;
    OptionsDialogValues v;
    v.width = r.width;
    v.height = r.height;
    v.minDim = f.siftMinDim;
    v.blendingBands = r.blendingBands;
    v.maxIterations = options.ransac.ransacIterations;
    v.jpegQuality = r.jpegQuality;
    v.blendingSigma = r.blendingSigma;
    v.alpha = options.ransac.alpha;
    v.beta = options.ransac.beta;
    v.gainSigma = r.gainSigma;
    v.gainMean = r.gainMean;
    v.scaleText = percentText(r.scale);
    v.featureScaleText = percentText(f.siftScale);
    v.systemMemoryText = memoryText(options.systemMemory);
    v.outputSize = modeValue(r.sizeMode);
    v.blending = modeValue(r.blendingMethod);
    v.rotation = modeValue(r.imageRotation);
    v.featureSize = modeValue(f.siftSizeMode);
    v.autoStraighten = r.autoStraighten;
    v.autoCrop = r.autoCrop;
    v.gainCompensation = r.gainCompensation;
    v.refineRegistration = options.bundle.refineRegistration;
    v.threads = options.threads;
    v.thetaMin = toDisplayAngle(r.thetaMin, anglesInDegrees);
    v.thetaMax = toDisplayAngle(r.thetaMax, anglesInDegrees);
    v.phiMin = toDisplayAngle(r.phiMin, anglesInDegrees);
    v.phiMax = toDisplayAngle(r.phiMax, anglesInDegrees);
    v.orientTheta = toDisplayAngle(r.orientTheta, anglesInDegrees);
    v.orientPhi = toDisplayAngle(r.orientPhi, anglesInDegrees);
    v.orientPsi = toDisplayAngle(r.orientPsi, anglesInDegrees);
    return v;
}

bool readBackOptions(const OptionsDialogValues& v, bool anglesInDegrees, StitchOptions& options) {
    RenderOptions& r = options.render;
    FeatureOptions& f = options.feature;
    RansacOptions& ransac = options.ransac;
    r.width = v.width;
    r.height = v.height;
    r.scale = readPercent(v.scaleText, r.scale);

    const StitchOptions before = options;
    f.siftScale = readPercent(v.featureScaleText, f.siftScale);
    f.siftMinDim = v.minDim;
    f.siftSizeMode = modeFrom<SiftSizeMode>(v.featureSize).value_or(f.siftSizeMode);
    ransac.alpha = v.alpha;
    ransac.beta = v.beta;
    ransac.ransacIterations = v.maxIterations;
    options.bundle.refineRegistration = v.refineRegistration;
    options.threads = v.threads;
    // Compared exactly: a value re-read from its own display compares equal.
    const bool needsRegistration = matchingOptionsDiffer(before, options) ||
                                   before.bundle.refineRegistration != v.refineRegistration;

    options.systemMemory = readMemory(v.systemMemoryText);
    r.sizeMode = modeFrom<SizeMode>(v.outputSize).value_or(r.sizeMode);
    r.imageRotation = modeFrom<ImageRotation>(v.rotation).value_or(r.imageRotation);
    r.blendingMethod = modeFrom<BlendingMethod>(v.blending).value_or(r.blendingMethod);
    r.autoCrop = v.autoCrop;
    r.autoStraighten = v.autoStraighten;
    r.thetaMin = fromDisplayAngle(v.thetaMin, anglesInDegrees);
    r.thetaMax = fromDisplayAngle(v.thetaMax, anglesInDegrees);
    r.phiMin = fromDisplayAngle(v.phiMin, anglesInDegrees);
    r.phiMax = fromDisplayAngle(v.phiMax, anglesInDegrees);
    r.orientTheta = fromDisplayAngle(v.orientTheta, anglesInDegrees);
    r.orientPhi = fromDisplayAngle(v.orientPhi, anglesInDegrees);
    r.orientPsi = fromDisplayAngle(v.orientPsi, anglesInDegrees);
    r.blendingSigma = v.blendingSigma;
    r.blendingBands = v.blendingBands;
    r.jpegQuality = v.jpegQuality;
    r.gainCompensation = v.gainCompensation;
    r.gainSigma = v.gainSigma;
    r.gainMean = v.gainMean;
    return needsRegistration;
}

std::optional<std::string> checkInt(const std::string& text, int minimum, int maximum, int& value,
                                    const std::string& reason) {
    const std::optional<int32_t> whole = readInteger(text, INT32_MIN, INT32_MAX);
    if (!whole) return "Please enter an integer.";
    if (*whole < minimum || *whole > maximum) {
        const std::string bounds =
            "Please enter an integer between " + std::to_string(minimum) + " and " + std::to_string(maximum) + ".";
        return reason.empty() ? bounds : bounds + " " + reason;
    }
    value = *whole;
    return std::nullopt;
}

std::optional<std::string> checkFloat(const std::string& text, float& value) {
    const std::optional<float> number = readFloat(text);
    if (!number) return "Please enter a number.";
    value = *number;
    return std::nullopt;
}

void showValues(const OptionsDialogValues& values, OptionsControls& controls) {
    OptionsDialogValues copy = values;
    for (int i = 0; i < kOptionFieldCount; ++i) {
        const auto field = static_cast<OptionField>(i);
        const MemberRef m = memberOf(copy, field);
        switch (fieldRule(field).kind) {
            case FieldKind::Choice: controls.setChoice(field, *m.integer); break;
            case FieldKind::Check: controls.setChecked(field, *m.flag); break;
            case FieldKind::Int: controls.setText(field, std::to_string(*m.integer)); break;
            case FieldKind::Float: controls.setText(field, floatText(*m.real)); break;
            case FieldKind::Text: controls.setText(field, *m.text); break;
        }
    }
}

std::optional<FieldError> takeValues(const OptionsControls& controls, OptionsDialogValues& values) {
    OptionsDialogValues taken = values;
    for (int i = 0; i < kOptionFieldCount; ++i) {
        const auto field = static_cast<OptionField>(i);
        const FieldRule rule = fieldRule(field);
        const MemberRef m = memberOf(taken, field);
        std::optional<std::string> failure;
        switch (rule.kind) {
            case FieldKind::Choice: *m.integer = controls.choice(field); break;
            case FieldKind::Check: *m.flag = controls.checked(field); break;
            case FieldKind::Int: failure = checkInt(controls.text(field), rule.minimum, rule.maximum, *m.integer, rule.reason);
                break;
            case FieldKind::Float: failure = checkFloat(controls.text(field), *m.real); break;
            case FieldKind::Text: *m.text = controls.text(field); break;
        }
        if (failure) return FieldError{field, *failure};
    }
    values = taken;
    return std::nullopt;
}

}  // namespace vantorra
