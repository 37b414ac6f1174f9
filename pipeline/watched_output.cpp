#include "pipeline/watched_output.h"

#include <string>

#include "io/input_files.h"

namespace vantorra {

bool WatchedOutput::passed(bool ok) {
    if (std::string changed = InputWatch::changedDuringRun(); !changed.empty()) {
        error_ = std::move(changed);
        return false;
    }
    if (!ok) error_ = output_.error();
    return ok;
}

bool WatchedOutput::begin(int width, int height) { return passed(output_.begin(width, height)); }

bool WatchedOutput::writeRows(const uint8_t* rgb, int count) {
    // Checked before the rows go out: a finished panorama never holds rows made after a change.
    if (!passed(true)) return false;
    return passed(output_.writeRows(rgb, count));
}

bool WatchedOutput::writeWideRows(const uint16_t* rgb, int count) {
    if (!passed(true)) return false;
    return passed(output_.writeWideRows(rgb, count));
}

bool WatchedOutput::finish() {
    if (!passed(true)) return false;
    return passed(output_.finish());
}

}  // namespace vantorra
