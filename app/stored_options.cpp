#include "app/stored_options.h"

#include "pipeline/option_table.h"

namespace vantorra {

StoredValues storeOptions(const StitchOptions& options) {
    StoredValues values;
    for (const OptionSpec& spec : optionTable()) values[std::string(spec.key)] = optionText(options, spec.field);
    return values;
}

bool restoreOptions(const StoredValues& stored, StitchOptions& options) {
    StitchOptions restored = options;
    for (const OptionSpec& spec : optionTable()) {
        const auto found = stored.find(std::string(spec.key));
        if (found == stored.end()) continue;  // an option this record predates keeps its value
        if (setOption(restored, spec.field, found->second)) return false;
    }
    options = restored;
    return true;
}

}  // namespace vantorra
