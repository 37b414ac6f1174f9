#pragma once
// How the Options dialog's controls show and take the options of the option table, with the
// checks made on OK. No widget code: the dialog implements OptionsControls, and tests can drive
// the same exchange without a window.

#include <optional>
#include <string>

#include "pipeline/option_table.h"
#include "options/stitch_options.h"

namespace vantorra {

// The controls as the dialog holds them, one per option of the table: edits and combo boxes as
// text, radio groups as the index of the checked button (-1 for none), check boxes as their state.
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

// Options to controls; angles in degrees when `degrees`, else radians as stored.
void showOptions(const StitchOptions& options, bool degrees, OptionsControls& controls);
// Controls to options, checking every text in table order. On the first failure returns it and
// leaves `options` unchanged. A radio group with no listed button checked keeps its choice.
std::optional<FieldError> takeOptions(const OptionsControls& controls, bool degrees, StitchOptions& options);

// The dialog's words for a refused text of `spec`.
std::string fieldMessage(const OptionSpec& spec, OptionError error);

// True when a matching option (SIFT size mode, min dim or scale, RANSAC alpha, beta or
// iterations) or the registration refinement differs, so registration must run again.
bool needsRegistration(const StitchOptions& before, const StitchOptions& after);

}  // namespace vantorra
