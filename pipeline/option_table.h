#pragma once
// Every option a user sets, declared once: one row per option gives its name on the command line
// and in the stored settings, its caption and group in the Options dialog, its kind, range and
// choices, the text it shows and reads, and the option it selects when it is set. The
// command-line tool, the Options dialog and the stored settings are all made from this table.
// The options that name a render component (the blending, the projection, the seams) take their
// choices from the renderer's tables, which is why this table sits above the renderer.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "options/option_ranges.h"
#include "options/stitch_options.h"

namespace vantorra {

// The options, in the order the dialog checks them on OK (the first failure stops it).
enum class OptionField : int {
    OutputSize, Blending, Projection, Seam, Rotation,
    Width, Height, ScaleText,
    AutoStraighten, AutoCrop, CropInside,
    ThetaMin, ThetaMax, PhiMin, PhiMax,
    FeatureSize, MinDim, FeatureScaleText,
    SystemMemoryText,
    BlendingSigma, BlendingBands,
    Alpha, Beta, MaxIterations,
    JpegQuality, OutputFormat, OutputDepth,
    OrientTheta, OrientPhi, OrientPsi,
    GainCompensation, GainSigma, GainMean,
    RefineRegistration,
    Threads,
};
inline constexpr int kOptionFieldCount = static_cast<int>(OptionField::Threads) + 1;

enum class OptionKind {
    Choice,   // one of `choices`, by name
    Check,    // on or off
    Integer,  // a whole number within `range`
    Number,   // any finite number
    Percent,  // a fraction shown and typed in percent ("10%", "10")
    Memory,   // bytes shown and typed in gigabytes ("0.25")
    Angle,    // radians shown and typed in degrees (or radians when the dialog shows them)
};

struct OptionChoice {
    std::string name;     // on the command line and in the stored settings: "multiband"
    std::string caption;  // in the Options dialog: "Multi-Band"
    std::string help = {};  // what it does, for the command line's help; may be empty
};

// The value of an option once read: a whole number (integers, bytes, choice indices), a real
// number (numbers, fractions, radians) or a check.
using OptionValue = std::variant<int64_t, double, bool>;

// Setting an option also sets `field` to the choice or check `value` (a width selects the width
// size mode; crop angles switch automatic cropping off), unless that field is set explicitly. The
// option only applies while that choice holds, so the dialog enables it only then.
struct OptionSelects {
    OptionField field;
    std::string_view value;
};

struct OptionSpec {
    OptionField field;
    OptionKind kind;
    std::string_view key;        // stored settings: "render/width"
    std::string_view group;      // the dialog's group box
    std::string_view caption;    // the dialog's label
    std::string_view flag;       // the command-line option without "--"; empty: none
    std::string_view valueName;  // the command line's name for the value: "N"
    std::string_view help;       // the command line's help, without range and default
    OptionRange range{0, 0};     // Integer only
    std::vector<OptionChoice> choices;  // Choice only, in button order
    std::optional<OptionSelects> selects;
    // A Check given as a bare command-line flag sets this ("--no-refine": false).
    bool flagSets = true;
    // This row and the next flagRows - 1 are given as one comma-separated list ("--crop").
    int flagRows = 1;
    std::vector<std::string_view> presets;  // Percent and Memory: values offered in a list
    std::string_view heading;                // the dialog's line above this row, if any
    OptionValue (*get)(const StitchOptions&) = nullptr;
    void (*set)(StitchOptions&, const OptionValue&) = nullptr;
    // The dialog's tooltip: what the option does in a photographer's words, with the name the
    // literature gives it in brackets.
    std::string_view tooltip;
    // A value for one panorama alone (a crop, a manual orientation): set back to its default when
    // other photographs are opened, and not kept between starts.
    bool perPanorama = false;
    // A word the command-line option also takes instead of its value, which turns the Check row
    // `flagWordSets` on ("--crop inside"); empty: none.
    std::string_view flagWord = {};
    OptionField flagWordSets = OptionField::OutputSize;
};

// The rows, in OptionField order.
std::span<const OptionSpec> optionTable();
const OptionSpec& optionSpec(OptionField field);
// The row with this stored-settings key or command-line flag, or none.
const OptionSpec* findOptionByKey(std::string_view key);
const OptionSpec* findOptionByFlag(std::string_view flag);

// Why a text is not a value of an option.
enum class OptionError { NotInteger, OutOfRange, NotNumber, NotPositive, UnknownChoice, NotCheck };

// The option's value as the dialog shows it and the stored settings keep it: choices by name,
// checks as "true"/"false", angles in degrees unless `degrees` is false.
std::string optionText(const StitchOptions& options, OptionField field, bool degrees = true);
// Reads `text` as a value of the option; a choice may also be given by its index.
std::variant<OptionValue, OptionError> parseOption(OptionField field, std::string_view text, bool degrees = true);
// Reads and sets the option; the error leaves `options` unchanged.
std::optional<OptionError> setOption(StitchOptions& options, OptionField field, std::string_view text,
                                     bool degrees = true);
// The index of the option's current choice (Choice rows), or -1.
int choiceIndex(const StitchOptions& options, OptionField field);

// What a row's value selects, applied to `options`.
void applySelection(StitchOptions& options, const OptionSpec& spec);
// Whether the row's value is used under `options`: always, unless the choice it selects is not made.
bool applies(const StitchOptions& options, const OptionSpec& spec);
// The per-panorama options set back to their defaults.
void resetPerPanoramaOptions(StitchOptions& options);
// Whether every option of the table holds the same value in both.
bool sameOptions(const StitchOptions& a, const StitchOptions& b);

}  // namespace vantorra
