#include "app/options_exchange.h"

#include "options/option_conversions.h"

namespace vantorra {

void showOptions(const StitchOptions& options, bool degrees, OptionsControls& controls) {
    for (const OptionSpec& spec : optionTable()) {
        switch (spec.kind) {
            case OptionKind::Choice: controls.setChoice(spec.field, choiceIndex(options, spec.field)); break;
            case OptionKind::Check: controls.setChecked(spec.field, optionText(options, spec.field) == "true"); break;
            default: controls.setText(spec.field, optionText(options, spec.field, degrees)); break;
        }
    }
}

std::optional<FieldError> takeOptions(const OptionsControls& controls, bool degrees, StitchOptions& options) {
    StitchOptions taken = options;
    for (const OptionSpec& spec : optionTable()) {
        std::string text;
        switch (spec.kind) {
            case OptionKind::Choice: {
                const int index = controls.choice(spec.field);
                if (index < 0 || static_cast<size_t>(index) >= spec.choices.size()) continue;
                text = spec.choices[static_cast<size_t>(index)].name;
                break;
            }
            case OptionKind::Check: text = controls.checked(spec.field) ? "true" : "false"; break;
            default: text = controls.text(spec.field); break;
        }
        if (const std::optional<OptionError> error = setOption(taken, spec.field, text, degrees))
            return FieldError{spec.field, fieldMessage(spec, *error)};
    }
    options = taken;
    return std::nullopt;
}

std::string fieldMessage(const OptionSpec& spec, OptionError error) {
    switch (error) {
        case OptionError::NotInteger: return "Please enter an integer.";
        case OptionError::OutOfRange: {
            const std::string bounds = "Please enter an integer between " + std::to_string(spec.range.minimum) +
                                       " and " + std::to_string(spec.range.maximum) + ".";
            return *spec.range.reason == '\0' ? bounds : bounds + " " + spec.range.reason;
        }
        case OptionError::NotPositive: return "Please enter a number greater than 0.";
        default: return "Please enter a number.";
    }
}

bool needsRegistration(const StitchOptions& before, const StitchOptions& after) {
    // Compared exactly: a value re-read from its own display compares equal.
    return matchingOptionsDiffer(before, after) ||
           before.bundle.refineRegistration != after.bundle.refineRegistration;
}

}  // namespace vantorra
