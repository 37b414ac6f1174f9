#include "app/screenshot.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

namespace vantorra {

bool saveScreenshot(QWidget& window, const QString& file, ScreenshotColours colours) {
    window.raise();
    window.repaint();  // paints and hands the picture to the display server at once
    QApplication::processEvents();
    QPixmap shot;
    if (QScreen* screen = window.screen(); screen != nullptr && QApplication::platformName() != "offscreen") {
        shot = screen->grabWindow(window.winId());
    }
    if (shot.isNull()) shot = window.grab();
    QImage image = shot.toImage();
    if (colours == ScreenshotColours::Palette) {
        image = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
    } else if (colours == ScreenshotColours::DitheredPalette) {
        image = image.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
    }
    return !image.isNull() && image.save(file, "PNG");
}

}  // namespace vantorra
