#pragma once
// A picture of a window as the screen shows it, for the screenshot test and the documentation.

#include <QString>

class QWidget;

namespace vantorra {

enum class ScreenshotColours {
    Full,
    Palette,          // 256 colours without dithering: small files for windows of text and controls
    DitheredPalette,  // 256 colours, dithered: small files that keep photographs natural
};

// Paints `window` now and saves what the display server shows of it to `file` (PNG); on a
// platform without a real screen the widget's own rendering is used.
bool saveScreenshot(QWidget& window, const QString& file, ScreenshotColours colours = ScreenshotColours::Full);

}  // namespace vantorra
