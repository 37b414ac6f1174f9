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

// A small picture of a photograph, decoded at reduced size (off the window's thread); a null
// image when it cannot be read.
QImage thumbnail(const QString& file) {
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid()) reader.setScaledSize(full.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio));
    return reader.read();
}

QIcon greySquare() {
    QPixmap square(kThumbnailSide, kThumbnailSide);
    square.fill(Qt::gray);
    return QIcon(square);
}

QString leftOutText(const PhotographEntry& entry) {
    return "left out" + (entry.reason.empty() ? QString() : ": " + QString::fromStdString(entry.reason));
}

QString entryText(const PhotographEntry& entry) {
    const QString name = QFileInfo(QString::fromStdString(entry.path)).fileName();
    return name + "\n" + (entry.used ? QString("used") : leftOutText(entry));
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
    thumbnailReaders.setMaxThreadCount(1);
    preview = new PanoramaView;
    preview->clear(kPlaceholder);
    fitButton = new QPushButton("Fi&t to window");
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
    // A reason is read in full: the entries wrap rather than end in dots.
    photographs->setWordWrap(true);
    photographs->setTextElideMode(Qt::ElideNone);
    photographs->setResizeMode(QListView::Adjust);
    photographs->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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

ResultPanel::~ResultPanel() {
    thumbnailReaders.clear();
    thumbnailReaders.waitForDone();
}

void ResultPanel::showResult(const ResultSummary& report, const Image& reduced) {
    hasResult = true;
    preview->setPanorama(toQImage(reduced), QSize(report.width, report.height),
                         QString::fromStdString(report.panoramaPath));
    listPhotographs(report.photographs);
    path->setText(QString::fromStdString(report.panoramaPath));
    size->setText(QString::fromStdString(sizeLine(report)));
    setActionsEnabled(actionsEnabled);
}

void ResultPanel::showPhotographs(const std::vector<PhotographEntry>& entries, const QString& why) {
    hasResult = false;
    preview->clear(why);
    listPhotographs(entries);
    path->setText("No panorama yet");
    size->clear();
    setActionsEnabled(actionsEnabled);
}

// Each entry in the list's own text colour, the reason in the tooltip too; a left-out one in
// italics.
void ResultPanel::listPhotographs(const std::vector<PhotographEntry>& entries) {
    thumbnailReaders.clear();
    const int list = ++listNumber;
    photographs->clear();
    for (const PhotographEntry& entry : entries) {
        auto* item = new QListWidgetItem(greySquare(), entryText(entry), photographs);
        item->setData(kUsedRole, entry.used);
        const QString file = QString::fromStdString(entry.path);
        item->setToolTip(entry.used ? file : file + "\n" + leftOutText(entry));
        if (!entry.used) {
            QFont font = item->font();
            font.setItalic(true);
            item->setFont(font);
        }
        const int row = photographs->count() - 1;
        thumbnailReaders.start([this, list, row, file] {
            const QImage image = thumbnail(file);
            QMetaObject::invokeMethod(this, [this, list, row, image] { takeThumbnail(list, row, image); },
                                      Qt::QueuedConnection);
        });
    }
}

void ResultPanel::takeThumbnail(int list, int row, const QImage& image) {
    if (list != listNumber || image.isNull() || row >= photographs->count()) return;
    photographs->item(row)->setIcon(QIcon(QPixmap::fromImage(image)));
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
