#pragma once
// The panorama preview. It never holds the panorama: fitted to the area it shows a reduced copy
// made while the panorama was rendered; at 100 % (one panorama pixel per screen pixel, the
// scroll bars and a drag of the mouse to pan) it shows the region in view read from the
// panorama's file on a thread of its own, the reduced copy enlarged standing in until the region
// has been read. A double click switches.

#include <QAbstractScrollArea>
#include <QImage>
#include <QPixmap>
#include <QThreadPool>

namespace vantorra {

class PanoramaView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit PanoramaView(QWidget* parent = nullptr);
    ~PanoramaView() override;

    // Shows the panorama of `fullSize` pixels in `file` (any format the readers know) through its reduced copy `preview`,
    // in the current mode.
    void setPanorama(const QImage& preview, QSize fullSize, const QString& file);
    void clear(const QString& placeholder);
    bool hasPanorama() const { return !preview.isNull(); }
    bool fitting() const { return fit; }
    // The scale on screen: 1 at 100 %, the fitted scale otherwise.
    double zoom() const;
    QSize panoramaSize() const { return full; }
    QString placeholderText() const { return placeholder; }
    // At 100 %: the part of the panorama in view, and whether it is on screen as read from the file.
    QRect visibleRegion() const;
    bool showsFileRegion() const;
    // A panorama pixel as shown at 100 % from the file (invalid when that part has not been read).
    QColor filePixel(QPoint at) const;

public slots:
    void fitToWindow();
    void actualSize();

signals:
    void zoomChanged();
    void regionRead();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    QRect shownRect() const;  // where the panorama is drawn in the viewport, in viewport pixels
    void updateScrollBars();
    void requestRegion();
    void takeRegion(int generation, QRect rect, QImage image);
    void switchMode(bool toFit);

    QImage preview;
    QSize full;
    QString file;
    QString placeholder;
    bool fit = true;
    QPixmap fitted;  // the preview scaled for the area, made again when the area changes
    QImage region;   // a part of the file at 100 %
    QRect regionRect;
    QRect reading;   // the part being read, empty when none
    int generation = 0;  // of the panorama shown: a region read for an earlier one is dropped
    QThreadPool readers;
    bool dragging = false;
    QPoint dragStart;
    QPoint scrollStart;
};

}  // namespace vantorra
