#include "app/panorama_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "io/photo_region.h"

namespace vantorra {

namespace {

// A region is read with a margin of half the view on every side, so a short pan needs no read.
QRect withMargin(const QRect& visible, QSize full) {
    const int dx = visible.width() / 2, dy = visible.height() / 2;
    return visible.adjusted(-dx, -dy, dx, dy).intersected(QRect(QPoint(0, 0), full));
}

QImage readRegion(const QString& file, const QRect& rect) {
    Image part;
    if (!readPhotoRegion(file.toStdString(), rect.x(), rect.y(), rect.width(), rect.height(), part)) return {};
    const QImage view(part.data.data(), part.cols, part.rows, part.cols * 3, QImage::Format_RGB888);
    return view.copy();
}

}  // namespace

PanoramaView::PanoramaView(QWidget* parent) : QAbstractScrollArea(parent) {
    setBackgroundRole(QPalette::Dark);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    setFrameShape(QFrame::StyledPanel);
    setMinimumSize(320, 200);
    readers.setMaxThreadCount(1);
    updateScrollBars();
}

// A read still going refers to this view: it ends before the view does.
PanoramaView::~PanoramaView() {
    readers.clear();
    readers.waitForDone();
}

void PanoramaView::setPanorama(const QImage& reduced, QSize fullSize, const QString& path) {
    ++generation;
    preview = reduced;
    full = fullSize.isValid() ? fullSize : reduced.size();
    file = path;
    placeholder.clear();
    fitted = QPixmap();
    region = QImage();
    regionRect = reading = QRect();
    switchMode(fit);
}

void PanoramaView::clear(const QString& text) {
    ++generation;
    preview = QImage();
    full = QSize();
    file.clear();
    placeholder = text;
    fitted = QPixmap();
    region = QImage();
    regionRect = reading = QRect();
    updateScrollBars();
    viewport()->update();
    emit zoomChanged();
}

double PanoramaView::zoom() const {
    if (!hasPanorama() || !fit) return 1.0;
    const QSize area = viewport()->size();
    const double scale = std::min(static_cast<double>(area.width()) / full.width(),
                                  static_cast<double>(area.height()) / full.height());
    return std::min(scale, 1.0);  // a small panorama is not blown up
}

void PanoramaView::fitToWindow() { switchMode(true); }

void PanoramaView::actualSize() { switchMode(false); }

void PanoramaView::switchMode(bool toFit) {
    fit = toFit;
    updateScrollBars();
    viewport()->setCursor(fit || !hasPanorama() ? Qt::ArrowCursor : Qt::OpenHandCursor);
    if (!fit) requestRegion();
    viewport()->update();
    emit zoomChanged();
}

QRect PanoramaView::shownRect() const {
    const QSize area = viewport()->size();
    if (fit) {
        const double scale = zoom();
        const QSize size(std::max(1, static_cast<int>(full.width() * scale)),
                         std::max(1, static_cast<int>(full.height() * scale)));
        return QRect(QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2), size);
    }
    // At 100 %: centred when smaller than the area, else placed by the scroll bars.
    const int x = full.width() < area.width() ? (area.width() - full.width()) / 2 : -horizontalScrollBar()->value();
    const int y = full.height() < area.height() ? (area.height() - full.height()) / 2 : -verticalScrollBar()->value();
    return QRect(QPoint(x, y), full);
}

QRect PanoramaView::visibleRegion() const {
    if (!hasPanorama() || fit) return {};
    const QRect shown = shownRect();
    return QRect(viewport()->rect()).translated(-shown.topLeft()).intersected(QRect(QPoint(0, 0), full));
}

bool PanoramaView::showsFileRegion() const {
    const QRect visible = visibleRegion();
    return !visible.isEmpty() && !region.isNull() && regionRect.contains(visible);
}

QColor PanoramaView::filePixel(QPoint at) const {
    if (region.isNull() || !regionRect.contains(at)) return {};
    return region.pixelColor(at - regionRect.topLeft());
}

void PanoramaView::updateScrollBars() {
    const QSize area = viewport()->size();
    const bool scrolling = hasPanorama() && !fit;
    horizontalScrollBar()->setRange(0, scrolling ? std::max(0, full.width() - area.width()) : 0);
    verticalScrollBar()->setRange(0, scrolling ? std::max(0, full.height() - area.height()) : 0);
    horizontalScrollBar()->setPageStep(area.width());
    verticalScrollBar()->setPageStep(area.height());
    horizontalScrollBar()->setSingleStep(std::max(1, area.width() / 20));
    verticalScrollBar()->setSingleStep(std::max(1, area.height() / 20));
}

void PanoramaView::requestRegion() {
    const QRect visible = visibleRegion();
    if (visible.isEmpty() || file.isEmpty() || showsFileRegion()) return;
    if (!reading.isEmpty()) return;  // asked again when the read in progress is in
    reading = withMargin(visible, full);
    const int asked = generation;
    const QRect rect = reading;
    const QString path = file;
    readers.start([this, asked, rect, path] {
        QImage image = readRegion(path, rect);
        QMetaObject::invokeMethod(this, [this, asked, rect, image] { takeRegion(asked, rect, image); },
                                  Qt::QueuedConnection);
    });
}

void PanoramaView::takeRegion(int asked, QRect rect, QImage image) {
    if (asked != generation) return;
    reading = QRect();
    if (!image.isNull()) {
        region = image;
        regionRect = QRect(rect.topLeft(), image.size());
        viewport()->update();
        emit regionRead();
    }
    if (!fit && !image.isNull()) requestRegion();  // the view moved on while it was read
}

void PanoramaView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    if (!hasPanorama()) {
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, placeholder);
        return;
    }
    const QRect shown = shownRect();
    if (fit) {
        if (fitted.size() != shown.size())
            fitted = QPixmap::fromImage(preview.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        painter.drawPixmap(shown.topLeft(), fitted);
        return;
    }
    // The enlarged copy stands in for what has not been read from the file yet.
    const QRect visible = visibleRegion();
    const double sx = static_cast<double>(preview.width()) / full.width();
    const double sy = static_cast<double>(preview.height()) / full.height();
    const QRectF source(visible.x() * sx, visible.y() * sy, visible.width() * sx, visible.height() * sy);
    const QRect target = visible.translated(shown.topLeft());
    if (!regionRect.contains(visible)) painter.drawImage(target, preview, source);
    if (!region.isNull()) painter.drawImage(regionRect.topLeft() + shown.topLeft(), region);
}

void PanoramaView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    if (!fit) requestRegion();
    if (fit) emit zoomChanged();
}

void PanoramaView::scrollContentsBy(int, int) {
    requestRegion();
    viewport()->update();
}

// Dragging pans at 100 %; a double click switches between fitting and 100 %.
bool PanoramaView::viewportEvent(QEvent* event) {
    if (!hasPanorama()) return QAbstractScrollArea::viewportEvent(event);
    switch (event->type()) {
        case QEvent::MouseButtonDblClick:
            switchMode(!fit);
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
    return QAbstractScrollArea::viewportEvent(event);
}

}  // namespace vantorra
