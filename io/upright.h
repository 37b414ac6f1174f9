#pragma once
// Where each pixel of a photograph stood upright comes from in the frame as stored, for the eight
// EXIF orientations. The tag names where the stored frame's first row and first column belong:
//   1 row 0 at the top,    column 0 at the left    as stored
//   2 row 0 at the top,    column 0 at the right   mirrored left to right
//   3 row 0 at the bottom, column 0 at the right   turned half a turn
//   4 row 0 at the bottom, column 0 at the left    mirrored top to bottom
//   5 row 0 at the left,   column 0 at the top     transposed (mirrored about the main diagonal)
//   6 row 0 at the right,  column 0 at the top     turned a quarter clockwise
//   7 row 0 at the right,  column 0 at the bottom  mirrored about the other diagonal
//   8 row 0 at the left,   column 0 at the bottom  turned a quarter anticlockwise

namespace vantorra {

// A block of the stored frame: rows firstRow .. firstRow + rows - 1, columns likewise.
struct StoredRegion {
    int firstRow = 0, rows = 0;
    int firstColumn = 0, columns = 0;
};

class UprightMapping {
public:
    // orientation 1..8; anything else is taken as 1.
    UprightMapping(int orientation, int storedWidth, int storedHeight);

    bool swapsSides() const { return orientation_ >= 5; }
    int uprightWidth() const { return swapsSides() ? storedHeight_ : storedWidth_; }
    int uprightHeight() const { return swapsSides() ? storedWidth_ : storedHeight_; }

    // The stored column and row that upright pixel (x, y) shows.
    void storedPixel(int x, int y, int& column, int& row) const;

    // The smallest block of the stored frame holding every pixel of the upright rows
    // first .. first + count - 1 (within the upright image).
    StoredRegion regionForRows(int first, int count) const;

private:
    int orientation_;
    int storedWidth_, storedHeight_;
};

}  // namespace vantorra
