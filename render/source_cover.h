#pragma once
// Which pixels of a source the photograph covers, for a photograph with alpha: one byte a pixel
// (0 not covered), beside the samples and reduced and cut with them. A pixel of the reduced
// source is covered only when every pixel it was made of is, so no uncovered colour (black)
// reaches the blend; the samplers leave out every position that touches an uncovered pixel.

#include <cstdint>
#include <vector>

namespace vantorra {

struct SourceCover {
    std::vector<uint8_t> covered;  // rows x cols, or empty: every pixel is covered
    int cols = 0;

    bool empty() const { return covered.empty(); }
    // Row `index` of a decode of rows x cols pixels, as the reader hands it.
    void takeRow(int index, const uint8_t* cover, int rows, int width);
    // Halved as the samples are: rows / 2 x cols / 2, a pixel covered when its four are.
    void halve(int rows);
    // Keeps rows skip .. skip + keep - 1.
    void keepRows(int skip, int keep);
};

}  // namespace vantorra
