#pragma once
// The values the Options dialog exchanges with its controls, how they are filled from and read
// back into the StitchOptions, and the checks made on OK. No widget code: the dialog implements
// OptionsControls, and tests can drive the same exchange without a window.

#include <optional>
#include <string>

#include "options/stitch_options.h"

namespace vantorra {

// Every member of the dialog, in exchange order: validation on OK stops at the first failure
// in this order.
enum class OptionField : int {
    OutputSize, Blending, Rotation,          // radio groups
    Width, Height,                            // int 2..65500 (engine/option_ranges.h)
    ScaleText,                                // combo box, not validated
    AutoStraighten, AutoCrop,                 // check boxes
    ThetaMin, ThetaMax, PhiMin, PhiMax,       // float, degrees
    FeatureSize,                              // radio group
    MinDim,                                   // int 0..100000
    FeatureScaleText, SystemMemoryText,       // combo boxes
    BlendingSigma,                            // float
    BlendingBands,                            // int 2..100000
    Alpha, Beta,                              // float
    MaxIterations,                            // int 0..100000
    JpegQuality,                              // int 0..100
    OrientTheta, OrientPhi, OrientPsi,        // float, degrees
    GainCompensation,                         // check box
    GainSigma, GainMean,                      // float
    RefineRegistration,                       // check box
    Threads,                                  // integer, 0 for one per core
};
inline constexpr int kOptionFieldCount = static_cast<int>(OptionField::Threads) + 1;

enum class FieldKind { Choice, Check, Int, Float, Text };
struct FieldRule {
    FieldKind kind;
    int minimum = 0;  // Int fields only
    int maximum = 0;
    const char* reason = "";  // added to the range message when not empty
};
FieldRule fieldRule(OptionField field);

// The dialog members. All start at 0 or empty text, as before the main window fills them.
struct OptionsDialogValues {
    int outputSize = 0;
    int blending = 0;
    int rotation = 0;
    int width = 0;
    int height = 0;
    std::string scaleText;
    bool autoStraighten = false;
    bool autoCrop = false;
    float thetaMin = 0, thetaMax = 0, phiMin = 0, phiMax = 0;
    int featureSize = 0;
    int minDim = 0;
    std::string featureScaleText;
    std::string systemMemoryText;
    float blendingSigma = 0;
    int blendingBands = 0;
    float alpha = 0, beta = 0;
    int maxIterations = 0;
    int jpegQuality = 0;
    float orientTheta = 0, orientPhi = 0, orientPsi = 0;
    bool gainCompensation = false;
    float gainSigma = 0;
    float gainMean = 0;
    bool refineRegistration = false;
    int threads = 0;

    bool operator==(const OptionsDialogValues&) const = default;
};

// Copies the options into the dialog members, converting for display; angles in degrees when
// anglesInDegrees, else radians as stored.
OptionsDialogValues fillOptionsDialog(const StitchOptions& options, bool anglesInDegrees);
// Copies the members back after OK. Returns true when a matching option (SIFT size mode, min dim
// or scale, RANSAC alpha, beta or iterations) or the registration refinement differs from before,
// so registration must run again.
bool readBackOptions(const OptionsDialogValues& values, bool anglesInDegrees, StitchOptions& options);

// The controls as the dialog holds them: edits and combo boxes as text, radio groups as the
// index of the checked button (-1 for none), check boxes as their state.
class OptionsControls {
public:
    virtual ~OptionsControls() = default;
    virtual std::string text(OptionField field) const = 0;
    virtual void setText(OptionField field, const std::string& text) = 0;
    virtual int choice(OptionField field) const = 0;
    virtual void setChoice(OptionField field, int index) = 0;
    virtual bool checked(OptionField field) const = 0;
    virtual void setChecked(OptionField field, bool on) = 0;
};

struct FieldError {
    OptionField field;
    std::string message;  // "Please enter an integer." and the like
};

// Members to controls.
void showValues(const OptionsDialogValues& values, OptionsControls& controls);
// Controls to members, validating in exchange order. On the first failure returns it and leaves
// `values` unchanged.
std::optional<FieldError> takeValues(const OptionsControls& controls, OptionsDialogValues& values);

// The checks on one text, exposed for the tests: whole number within [minimum, maximum]; number.
std::optional<std::string> checkInt(const std::string& text, int minimum, int maximum, int& value,
                                    const std::string& reason = {});
std::optional<std::string> checkFloat(const std::string& text, float& value);

}  // namespace vantorra
