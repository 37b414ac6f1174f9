#include "app/stored_options.h"

#include <array>
#include <utility>

#include "app/options_exchange.h"

namespace vantorra {

namespace {

// One key per dialog field, in exchange order.
constexpr std::array<const char*, kOptionFieldCount> kKeys = {
    "render/sizeMode",      "render/blendingMethod", "render/imageRotation", "render/width",
    "render/height",        "render/scale",          "render/autoStraighten", "render/autoCrop",
    "render/thetaMinDeg",   "render/thetaMaxDeg",    "render/phiMinDeg",     "render/phiMaxDeg",
    "feature/sizeMode",     "feature/minDim",        "feature/scale",        "engine/systemMemoryGB",
    "render/blendingSigma", "render/blendingBands",  "ransac/alpha",         "ransac/beta",
    "ransac/iterations",    "render/jpegQuality",    "render/orientThetaDeg", "render/orientPhiDeg",
    "render/orientPsiDeg",  "render/gainCompensation", "render/gainSigma",   "render/gainMean",
    "bundle/refineRegistration", "engine/threads",
};

const char* keyOf(OptionField field) { return kKeys[static_cast<size_t>(field)]; }

// The dialog's controls, held as texts under their keys.
class StoredControls : public OptionsControls {
public:
    explicit StoredControls(StoredValues& values) : values(values) {}
    std::string text(OptionField field) const override { return at(field); }
    void setText(OptionField field, const std::string& text) override { values[keyOf(field)] = text; }
    int choice(OptionField field) const override {
        const std::string& text = at(field);
        return text.size() == 1 && text[0] >= '0' && text[0] <= '9' ? text[0] - '0' : -1;
    }
    void setChoice(OptionField field, int index) override { values[keyOf(field)] = std::to_string(index); }
    bool checked(OptionField field) const override { return at(field) == "true"; }
    void setChecked(OptionField field, bool on) override { values[keyOf(field)] = on ? "true" : "false"; }

private:
    const std::string& at(OptionField field) const {
        static const std::string missing;
        const auto found = values.find(keyOf(field));
        return found == values.end() ? missing : found->second;
    }
    StoredValues& values;
};

}  // namespace

StoredValues storeOptions(const StitchOptions& options) {
    StoredValues values;
    StoredControls controls(values);
    showValues(fillOptionsDialog(options, true), controls);
    return values;
}

bool restoreOptions(const StoredValues& stored, StitchOptions& options) {
    for (const char* key : kKeys) {
        if (stored.find(key) == stored.end()) return false;
    }
    StoredValues copy = stored;
    StoredControls controls(copy);
    OptionsDialogValues values = fillOptionsDialog(options, true);
    if (takeValues(controls, values)) return false;  // a value the dialog would refuse
    // The dialog cannot leave a choice outside its buttons; a stored one may be damaged.
    const std::pair<OptionField, int> choices[] = {{OptionField::OutputSize, 3}, {OptionField::Blending, 3},
                                                   {OptionField::Rotation, 4}, {OptionField::FeatureSize, 2}};
    for (const auto& [field, count] : choices) {
        const int index = controls.choice(field);
        if (index < 0 || index >= count) return false;
    }
    readBackOptions(values, true, options);
    return true;
}

}  // namespace vantorra
