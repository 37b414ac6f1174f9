#include "app/panorama_view.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <algorithm>

namespace vantorra {

PanoramaView::PanoramaView(QWidget* parent) : QScrollArea(parent), canvas(new QLabel) {
    canvas->setAlignment(Qt::AlignCenter);
    canvas->setWordWrap(true);
    setWidget(canvas);
    setAlignment(Qt::AlignCenter);
    setBackgroundRole(QPalette::Dark);
    setFrameShape(QFrame::StyledPanel);
    setMinimumSize(320, 200);
    viewport()->installEventFilter(this);
    canvas->installEventFilter(this);
}

void PanoramaView::setPanorama(const QImage& panorama) {
    image = panorama;
    showScaled();
}

void PanoramaView::clear(const QString& placeholder) {
    image = QImage();
    canvas->setPixmap(QPixmap());
    canvas->setText(placeholder);
    canvas->resize(viewport()->size());
    setWidgetResizable(true);
    emit zoomChanged();
}

double PanoramaView::zoom() const {
    if (image.isNull() || !fit) return 1.0;
    const QSize area = viewport()->size();
    const double scale = std::min(static_cast<double>(area.width()) / image.width(),
                                  static_cast<double>(area.height()) / image.height());
    return std::min(scale, 1.0);  // a small panorama is not blown up
}

void PanoramaView::fitToWindow() {
    fit = true;
    showScaled();
}

void PanoramaView::actualSize() {
    fit = false;
    showScaled();
}

void PanoramaView::showScaled() {
    if (image.isNull()) return;
    setWidgetResizable(false);
    const double scale = zoom();
    const QSize shown(std::max(1, static_cast<int>(image.width() * scale)),
                      std::max(1, static_cast<int>(image.height() * scale)));
    const QImage scaled =
        shown == image.size() ? image : image.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    canvas->setText(QString());
    canvas->setPixmap(QPixmap::fromImage(scaled));
    canvas->resize(shown);
    viewport()->setCursor(fit ? Qt::ArrowCursor : Qt::OpenHandCursor);
    emit zoomChanged();
}

void PanoramaView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (fit) showScaled();
}

// Dragging pans at 100 %; a double click switches between fitting and 100 %.
bool PanoramaView::eventFilter(QObject* watched, QEvent* event) {
    if (image.isNull()) return QScrollArea::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonDblClick:
            fit ? actualSize() : fitToWindow();
            return true;
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (fit || mouse->button() != Qt::LeftButton) break;
            dragging = true;
            dragStart = mouse->globalPosition().toPoint();
            scrollStart = {horizontalScrollBar()->value(), verticalScrollBar()->value()};
            viewport()->setCursor(Qt::ClosedHandCursor);
            return true;
        }
        case QEvent::MouseMove: {
            if (!dragging) break;
            const QPoint moved = static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragStart;
            horizontalScrollBar()->setValue(scrollStart.x() - moved.x());
            verticalScrollBar()->setValue(scrollStart.y() - moved.y());
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (!dragging) break;
            dragging = false;
            viewport()->setCursor(Qt::OpenHandCursor);
            return true;
        default:
            break;
    }
    return QScrollArea::eventFilter(watched, event);
}

}  // namespace vantorra
