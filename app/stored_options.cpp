#include "app/stored_options.h"

#include "pipeline/option_table.h"

namespace vantorra {

StoredValues storeOptions(const StitchOptions& options) {
    StoredValues values;
    for (const OptionSpec& spec : optionTable())
        if (!spec.perPanorama) values[std::string(spec.key)] = optionText(options, spec.field);
    return values;
}

bool restoreOptions(const StoredValues& stored, StitchOptions& options) {
    StitchOptions restored = options;
    for (const OptionSpec& spec : optionTable()) {
        const auto found = stored.find(std::string(spec.key));
        // An option this record predates keeps its value; one panorama's crop or orientation,
        // kept by earlier versions, is not the next one's.
        if (found == stored.end() || spec.perPanorama) continue;
        if (setOption(restored, spec.field, found->second)) return false;
    }
    options = restored;
    return true;
}

}  // namespace vantorra
