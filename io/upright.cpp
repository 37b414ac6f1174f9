#include "io/upright.h"

namespace vantorra {

UprightMapping::UprightMapping(int orientation, int storedWidth, int storedHeight)
    : orientation_(orientation >= 1 && orientation <= 8 ? orientation : 1),
      storedWidth_(storedWidth),
      storedHeight_(storedHeight) {}

void UprightMapping::storedPixel(int x, int y, int& column, int& row) const {
    const int lastColumn = storedWidth_ - 1, lastRow = storedHeight_ - 1;
    switch (orientation_) {
        case 2: column = lastColumn - x; row = y; break;
        case 3: column = lastColumn - x; row = lastRow - y; break;
        case 4: column = x; row = lastRow - y; break;
        case 5: column = y; row = x; break;
        case 6: column = y; row = lastRow - x; break;
        case 7: column = lastColumn - y; row = lastRow - x; break;
        case 8: column = lastColumn - y; row = x; break;
        default: column = x; row = y; break;
    }
}

// Upright rows are stored rows (1, 2), stored rows counted from the bottom (3, 4), stored columns
// (5, 6) or stored columns counted from the right (7, 8).
StoredRegion UprightMapping::regionForRows(int first, int count) const {
    StoredRegion region{0, storedHeight_, 0, storedWidth_};
    switch (orientation_) {
        case 3:
        case 4: region.firstRow = storedHeight_ - first - count; region.rows = count; break;
        case 5:
        case 6: region.firstColumn = first; region.columns = count; break;
        case 7:
        case 8: region.firstColumn = storedWidth_ - first - count; region.columns = count; break;
        default: region.firstRow = first; region.rows = count; break;
    }
    return region;
}

}  // namespace vantorra
