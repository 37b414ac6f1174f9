// Checks a screenshot of the main window after a run: a window of a usable size whose preview
// area (left of the photograph list, below the status line) holds a picture, not an empty area
// with a line of text. A photograph has thousands of colours; an empty area or text has few.
//   vantorra_screenshot_check SHOT.png

#include <QColor>
#include <QImage>
#include <cstdio>
#include <unordered_set>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SHOT.png\n", argv[0]);
        return 2;
    }
    const QImage shot(QString::fromLocal8Bit(argv[1]));
    if (shot.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    if (shot.width() < 900 || shot.height() < 600) {
        std::fprintf(stderr, "window is %d x %d, smaller than 900 x 600\n", shot.width(), shot.height());
        return 1;
    }
    std::unordered_set<QRgb> colours;
    for (int y = shot.height() * 15 / 100; y < shot.height() * 95 / 100; ++y)
        for (int x = shot.width() * 2 / 100; x < shot.width() * 70 / 100; ++x) colours.insert(shot.pixel(x, y));
    constexpr size_t kPictureColours = 1000;
    std::printf("window %d x %d, %zu colours in the preview area\n", shot.width(), shot.height(), colours.size());
    if (colours.size() < kPictureColours) {
        std::fprintf(stderr, "the preview area looks empty (%zu colours, a picture has %zu or more)\n",
                     colours.size(), kPictureColours);
        return 1;
    }
    return 0;
}
