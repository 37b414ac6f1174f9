#pragma once
// The main window's result panel: the panorama preview with its zoom buttons, the photographs of
// the run with thumbnails marked used or left out (with the reason), the output path with
// "Open folder" and "Open in viewer", the size against full resolution and "Render at full
// resolution".

#include <QThreadPool>
#include <QWidget>
#include <vector>

#include "app/result_summary.h"
#include "core/image.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace vantorra {

class PanoramaView;

class ResultPanel : public QWidget {
    Q_OBJECT
public:
    explicit ResultPanel(QWidget* parent = nullptr);

    // Shows a written panorama from its reduced copy `preview` (copied) and, at 100 %, its file.
    void showResult(const ResultSummary& report, const Image& preview);
    // No panorama: the preview area says `why`, the list shows the photographs.
    void showPhotographs(const std::vector<PhotographEntry>& entries, const QString& why);
    // Enables the actions that start commands (off while a run goes on).
    void setActionsEnabled(bool enabled);

    PanoramaView* view() const { return preview; }
    QListWidget* photographList() const { return photographs; }
    QLabel* pathLabel() const { return path; }
    QLabel* sizeLabel() const { return size; }
    QPushButton* openFolderButton() const { return openFolder; }
    QPushButton* openViewerButton() const { return openViewer; }
    QPushButton* fullResolutionButton() const { return fullResolution; }

    // Item data of each photograph entry: true when used.
    static constexpr int kUsedRole = Qt::UserRole + 1;

signals:
    void openFolderRequested();
    void openViewerRequested();
    void fullResolutionRequested();

private:
    QWidget* sideColumn();
    void updateZoomButtons();
    void listPhotographs(const std::vector<PhotographEntry>& entries);
    // The thumbnails are read on a thread of their own and put in place as each is ready.
    void takeThumbnail(int list, int row, const QImage& image);

    PanoramaView* preview;
    QPushButton* fitButton;
    QPushButton* actualButton;
    QListWidget* photographs;
    QLabel* path;
    QLabel* size;
    QPushButton* openFolder;
    QPushButton* openViewer;
    QPushButton* fullResolution;
    bool hasResult = false;
    bool actionsEnabled = true;
    int listNumber = 0;  // of the list shown: a thumbnail read for an earlier one is dropped
    QThreadPool thumbnailReaders;

public:
    ~ResultPanel() override;
};

// A QImage copy of an 8-bit RGB image (grey and RGBA are converted).
QImage toQImage(const Image& panorama);

}  // namespace vantorra
