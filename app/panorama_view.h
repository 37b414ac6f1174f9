#pragma once
// The panorama preview: scaled to fit the area by default, or at 100 % (one image pixel per
// screen pixel) with the scroll bars and a drag of the mouse to pan. A double click switches.

#include <QImage>
#include <QScrollArea>

class QLabel;

namespace vantorra {

class PanoramaView : public QScrollArea {
    Q_OBJECT
public:
    explicit PanoramaView(QWidget* parent = nullptr);

    // Shows `image` (kept, shared with the caller as QImage copies are) in the current mode.
    void setPanorama(const QImage& image);
    void clear(const QString& placeholder);
    bool hasPanorama() const { return !image.isNull(); }
    bool fitting() const { return fit; }
    // The scale on screen: 1 at 100 %, the fitted scale otherwise.
    double zoom() const;

public slots:
    void fitToWindow();
    void actualSize();

signals:
    void zoomChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showScaled();

    QLabel* canvas;
    QImage image;
    bool fit = true;
    bool dragging = false;
    QPoint dragStart;
    QPoint scrollStart;
};

}  // namespace vantorra
