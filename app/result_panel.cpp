#include "app/result_panel.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/panorama_view.h"

namespace vantorra {

namespace {

constexpr int kThumbnailSide = 72;

const char* const kPlaceholder =
    "Open two or more overlapping photographs with File ▸ Open (Ctrl+O), or drop them here.\n"
    "The panorama appears here when it has been stitched.";

// A small picture of a photograph, decoded at reduced size; a grey square when unreadable.
QIcon thumbnail(const std::string& file) {
    QImageReader reader(QString::fromStdString(file));
    const QSize full = reader.size();
    if (full.isValid()) reader.setScaledSize(full.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull()) {
        image = QImage(kThumbnailSide, kThumbnailSide, QImage::Format_RGB32);
        image.fill(Qt::gray);
    }
    return QIcon(QPixmap::fromImage(image));
}

QString entryText(const PhotographEntry& entry) {
    const QString name = QFileInfo(QString::fromStdString(entry.path)).fileName();
    if (entry.used) return name + "\nused";
    return name + "\nleft out" + (entry.reason.empty() ? QString() : ": " + QString::fromStdString(entry.reason));
}

}  // namespace

QImage toQImage(const Image& panorama) {
    if (panorama.empty()) return {};
    const QImage::Format format = panorama.channels == 1   ? QImage::Format_Grayscale8
                                  : panorama.channels == 4 ? QImage::Format_RGBA8888
                                                           : QImage::Format_RGB888;
    const QImage view(panorama.data.data(), panorama.cols, panorama.rows, panorama.cols * panorama.channels,
                      format);
    return view.copy();  // the view borrows the engine's buffer; the copy owns its pixels
}

ResultPanel::ResultPanel(QWidget* parent) : QWidget(parent) {
    preview = new PanoramaView;
    preview->clear(kPlaceholder);
    fitButton = new QPushButton("&Fit");
    actualButton = new QPushButton("&100 %");
    fitButton->setToolTip("Show the whole panorama (double-click the picture to switch)");
    actualButton->setToolTip("One panorama pixel per screen pixel; drag to pan");
    connect(fitButton, &QPushButton::clicked, preview, &PanoramaView::fitToWindow);
    connect(actualButton, &QPushButton::clicked, preview, &PanoramaView::actualSize);
    connect(preview, &PanoramaView::zoomChanged, this, &ResultPanel::updateZoomButtons);
    for (QPushButton* button : {fitButton, actualButton}) button->setAutoDefault(false);

    auto* zoomRow = new QHBoxLayout;
    zoomRow->addWidget(new QLabel("Preview:"));
    zoomRow->addWidget(fitButton);
    zoomRow->addWidget(actualButton);
    zoomRow->addStretch();
    auto* previewColumn = new QWidget;
    auto* previewLayout = new QVBoxLayout(previewColumn);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->addLayout(zoomRow);
    previewLayout->addWidget(preview, 1);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(previewColumn);
    splitter->addWidget(sideColumn());
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    updateZoomButtons();
}

QWidget* ResultPanel::sideColumn() {
    photographs = new QListWidget;
    photographs->setIconSize(QSize(kThumbnailSide, kThumbnailSide));
    photographs->setSelectionMode(QAbstractItemView::NoSelection);
    photographs->setSpacing(2);
    path = new QLabel("No panorama yet");
    path->setWordWrap(true);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    size = new QLabel;
    size->setWordWrap(true);
    openFolder = new QPushButton("Open fol&der");
    openViewer = new QPushButton("Open in &viewer");
    fullResolution = new QPushButton("Render at f&ull resolution");
    fullResolution->setToolTip("Renders the solved cameras again at 100 % scale, without matching");
    connect(openFolder, &QPushButton::clicked, this, &ResultPanel::openFolderRequested);
    connect(openViewer, &QPushButton::clicked, this, &ResultPanel::openViewerRequested);
    connect(fullResolution, &QPushButton::clicked, this, &ResultPanel::fullResolutionRequested);

    auto* column = new QWidget;
    column->setMinimumWidth(240);
    column->setMaximumWidth(420);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel("<b>Photographs</b>"));
    layout->addWidget(photographs, 1);
    layout->addWidget(new QLabel("<b>Panorama</b>"));
    layout->addWidget(path);
    layout->addWidget(size);
    auto* open = new QHBoxLayout;
    open->addWidget(openFolder);
    open->addWidget(openViewer);
    layout->addLayout(open);
    layout->addWidget(fullResolution);
    setActionsEnabled(true);
    // In a dialog a push button would take Return for itself; Return belongs to the window.
    for (QPushButton* button : {openFolder, openViewer, fullResolution}) button->setAutoDefault(false);
    return column;
}

void ResultPanel::showResult(const ResultSummary& report, const Image& panorama) {
    hasResult = true;
    preview->setPanorama(toQImage(panorama));
    photographs->clear();
    for (const PhotographEntry& entry : report.photographs) {
        auto* item = new QListWidgetItem(thumbnail(entry.path), entryText(entry), photographs);
        item->setData(kUsedRole, entry.used);
        item->setToolTip(QString::fromStdString(entry.path));
        if (!entry.used) {
            item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            QFont font = item->font();
            font.setItalic(true);
            item->setFont(font);
        }
    }
    path->setText(QString::fromStdString(report.panoramaPath));
    size->setText(QString::fromStdString(sizeLine(report)));
    setActionsEnabled(actionsEnabled);
}

void ResultPanel::setActionsEnabled(bool enabled) {
    actionsEnabled = enabled;
    for (QPushButton* button : {openFolder, openViewer, fullResolution}) button->setEnabled(enabled && hasResult);
}

void ResultPanel::updateZoomButtons() {
    const bool shown = preview->hasPanorama();
    fitButton->setEnabled(shown && !preview->fitting());
    actualButton->setEnabled(shown && preview->fitting());
}

}  // namespace vantorra
