#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <map>
#include <sstream>

#include "pipeline/option_table.h"

namespace vantorra {
namespace {

// A value rejected while converting the option texts; becomes the usage error.
struct BadValue {
    std::string message;
};

// "2 to 65500", as the help and the refusals say it.
std::string bounds(const OptionRange& range) {
    return std::to_string(range.minimum) + " to " + std::to_string(range.maximum);
}

std::string choiceNames(const OptionSpec& spec, const char* separator) {
    std::string names;
    for (size_t i = 0; i < spec.choices.size(); ++i) names += (i > 0 ? separator : "") + spec.choices[i].name;
    return names;
}

// The choices as the help lists them: each with what it does, when the table says.
std::string choiceList(const OptionSpec& spec) {
    std::string list;
    for (size_t i = 0; i < spec.choices.size(); ++i) {
        const OptionChoice& choice = spec.choices[i];
        list += (i > 0 ? ", " : "") + choice.name + (choice.help.empty() ? "" : " (" + choice.help + ")");
    }
    return list;
}

// What a refused text should have been, as the usage error says it.
std::string accepted(const OptionSpec& spec, OptionError error) {
    switch (spec.kind) {
        case OptionKind::Integer: {
            const std::string why = *spec.range.reason != '\0' ? std::string(" ") + spec.range.reason : "";
            return "an integer from " + bounds(spec.range) + why;
        }
        case OptionKind::Percent:
            return error == OptionError::NotPositive ? "a number greater than 0 (a percentage)" : "a number";
        case OptionKind::Memory: return "a number greater than 0 (gigabytes)";
        case OptionKind::Choice: return "one of " + choiceNames(spec, ", ");
        case OptionKind::Angle: return std::string(spec.valueName) + " (degrees)";
        default: return "a number";
    }
}

std::string flagOf(const OptionSpec& spec) { return "--" + std::string(spec.flag); }

[[noreturn]] void reject(const OptionSpec& spec, const std::string& text, const std::string& what) {
    throw BadValue{flagOf(spec) + " must be " + what + " (got '" + text + "')"};
}

// The help line of a table option: its text, the accepted values and the default.
std::string helpOf(const OptionSpec& spec) {
    const StitchOptions defaults;
    std::string help(spec.help);
    if (spec.kind == OptionKind::Integer)
        help += ", " + bounds(spec.range) + (*spec.range.reason != '\0' ? std::string(" ") + spec.range.reason : "");
    if (spec.kind == OptionKind::Choice) help += ": " + choiceList(spec);
    if (spec.kind == OptionKind::Check) return help;
    std::string shown = optionText(defaults, spec.field);
    for (int k = 1; k < spec.flagRows; ++k)
        shown += "," + optionText(defaults, static_cast<OptionField>(static_cast<int>(spec.field) + k));
    return help + " (default " + shown + ")";
}

std::string valueNameOf(const OptionSpec& spec) {
    return spec.kind == OptionKind::Choice ? choiceNames(spec, "|") : std::string(spec.valueName);
}

// The option texts as typed, by flag; converted after parsing so every message has one form.
struct Texts {
    std::map<std::string, std::string> values;
    std::map<std::string, bool> flags;
    std::string log;
    bool version = false;
};

void declareTable(CLI::App& app, Texts& t) {
    for (const OptionSpec& spec : optionTable()) {
        if (spec.flag.empty()) continue;
        const std::string name = flagOf(spec);
        if (spec.kind == OptionKind::Check) {
            app.add_flag(name, t.flags[name], std::string(spec.help));
            continue;
        }
        app.add_option(name, t.values[name], helpOf(spec))->type_name(valueNameOf(spec));
    }
}

void declare(CLI::App& app, Texts& t, CliOptions& o) {
    app.add_option("IMAGE", o.inputs,
                   "two or more photographs (JPEG, PNG, TIFF or HEIF: names ending in .jpg, .jpeg, .jpe, .png, "
                   ".tif, .tiff, .heic or .heif, in any case), or "
                   "one parameter file (.txt or .ast) to render again")
        ->type_name("IMAGE");
    app.add_option("-o,--output-dir", o.outputDirectory, "folder for pano.jpg, pano.txt and log.txt (default .)")
        ->type_name("DIR");
    declareTable(app, t);
    app.add_option("--log", t.log, "engine log: console (standard output), file (log.txt) or none (default)")
        ->type_name("console|file|none");
    app.add_flag("--quiet", o.quiet, "no progress display and no closing line");
    app.add_flag("--version", t.version, "print the version and exit");
}

// The texts of a table option: one, or the comma-separated parts of a list such as --crop.
std::vector<std::string> partsOf(const OptionSpec& spec, const std::string& text) {
    if (spec.flagRows == 1) return {text};
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
    if (parts.size() != static_cast<size_t>(spec.flagRows) || (!text.empty() && text.back() == ','))
        reject(spec, text, accepted(spec, OptionError::NotNumber));
    return parts;
}

// Sets the rows of one given option; returns the rows set.
std::vector<OptionField> applyOption(const OptionSpec& spec, const Texts& t, StitchOptions& options) {
    const std::string name = flagOf(spec);
    if (spec.kind == OptionKind::Check) {
        setOption(options, spec.field, spec.flagSets ? "true" : "false");
        return {spec.field};
    }
    const std::string& text = t.values.at(name);
    if (!spec.flagWord.empty() && text == spec.flagWord) {
        setOption(options, spec.flagWordSets, "true");
        return {spec.flagWordSets};
    }
    const std::vector<std::string> parts = partsOf(spec, text);
    std::vector<OptionField> set;
    for (size_t k = 0; k < parts.size(); ++k) {
        const auto field = static_cast<OptionField>(static_cast<int>(spec.field) + static_cast<int>(k));
        if (const std::optional<OptionError> error = setOption(options, field, parts[k]))
            reject(spec, text, accepted(spec, *error));
        set.push_back(field);
    }
    return set;
}

// Applies the options in the order they were given, so that the last of --width, --height and
// --scale (and of --sift-min-dim and --sift-scale) picks the mode, as typing into those fields
// of the Options dialog does. A value given explicitly wins over one an option selects.
// The options that chose one mode differently, each said with the one that was used.
std::vector<std::string> contradictions(const std::vector<const OptionSpec*>& selecting) {
    std::vector<std::string> notes;
    for (size_t i = 0; i < selecting.size(); ++i)
        for (size_t j = i + 1; j < selecting.size(); ++j) {
            const OptionSpec& first = *selecting[i];
            const OptionSpec& last = *selecting[j];
            if (!first.selects || !last.selects || first.selects->field != last.selects->field ||
                first.selects->value == last.selects->value || first.flag.empty() || last.flag.empty())
                continue;
            std::string what(optionSpec(first.selects->field).caption);  // "Output size", "SIFT Image Size:"
            if (!what.empty() && what.back() == ':') what.pop_back();
            if (what.size() > 1 && std::islower(static_cast<unsigned char>(what[1])))
                what[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(what[0])));
            notes.push_back(flagOf(first) + " and " + flagOf(last) + " both choose how the " + what +
                            " is set: " + flagOf(last) + ", given last, is used");
        }
    return notes;
}

void apply(const CLI::App& app, const Texts& t, CliOptions& o, std::vector<std::string>& notes) {
    std::vector<OptionField> given;
    std::vector<const OptionSpec*> selecting;
    for (const CLI::Option* option : app.parse_order()) {
        if (option->get_lnames().empty()) continue;  // the image list
        const OptionSpec* spec = findOptionByFlag(option->get_lnames().front());
        if (spec == nullptr) continue;
        for (const OptionField field : applyOption(*spec, t, o.stitch)) {
            given.push_back(field);
            selecting.push_back(&optionSpec(field));
        }
    }
    notes = contradictions(selecting);
    StitchOptions explicitly = o.stitch;
    for (const OptionSpec* spec : selecting) applySelection(o.stitch, *spec);
    for (const OptionField field : given) optionSpec(field).set(o.stitch, optionSpec(field).get(explicitly));
    if (!t.log.empty()) {
        const std::map<std::string, LogDestination::Mode> modes = {
            {"console", LogDestination::Console}, {"file", LogDestination::File}, {"none", LogDestination::None}};
        const auto found = modes.find(t.log);
        if (found == modes.end()) throw BadValue{"--log must be one of console, file, none (got '" + t.log + "')"};
        o.logMode = found->second;
    }
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
        apply(app, texts, outcome.options, outcome.notes);
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
