#include "app/vantorra_dlg.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

#include "app/about_dlg.h"
#include "app/app_settings.h"
#include "app/result_panel.h"

namespace vantorra {

namespace {

// "&Open..." and "Open" name the same command.
QString plainCaption(QString caption) {
    caption.remove('&');
    while (caption.endsWith('.') || caption.endsWith(QChar(0x2026))) caption.chop(1);
    return caption;
}

}  // namespace

QString windowTitleFor(const std::string& panoramaPath) {
    if (panoramaPath.empty()) return "Vantorra";
    return QFileInfo(QString::fromStdString(panoramaPath)).fileName() + " — Vantorra";
}

QStringList droppedFiles(const QList<QUrl>& urls) {
    QStringList files;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) files << url.toLocalFile();
    }
    return files;
}

CVantorraDlg::CVantorraDlg(std::unique_ptr<StitchEngine> engineToUse, QWidget* parent,
                           std::unique_ptr<QSettings> settingsToUse)
    : QDialog(parent),
      engine(std::move(engineToUse)),
      settings(std::move(settingsToUse)),
      platform(this, WindowHooks{
                         [this](const std::string& text) { statusLine->setText(QString::fromStdString(text)); },
                         [this](bool enabled) { setCommandsEnabled(enabled); },
                         [this](const ResultSummary& report, const Image& preview) {
                             panel->showResult(report, preview);
                             setWindowTitle(windowTitleFor(report.panoramaPath));
                         },
                         [this](const std::vector<PhotographEntry>& entries, const std::string& why) {
                             panel->showPhotographs(entries, QString::fromStdString(why));
                             setWindowTitle(windowTitleFor({}));
                         },
                     }) {
    setWindowTitle(windowTitleFor({}));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setSizeGripEnabled(true);
    setAcceptDrops(true);
    setMinimumSize(640, 420);
    resize(1000, 640);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    buildMenu(bar);
    layout->setMenuBar(bar);

    statusLine = new QLabel(this);
    statusLine->setWordWrap(true);
    statusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont emphasised = statusLine->font();
    emphasised.setPointSizeF(emphasised.pointSizeF() * 1.1);
    statusLine->setFont(emphasised);
    panel = new ResultPanel(this);
    layout->addWidget(statusLine);
    layout->addWidget(panel, 1);

    logic = std::make_unique<VantorraCommands>(*engine, platform);
    connect(panel, &ResultPanel::openFolderRequested, this, [this] { logic->openOutputFolder(); });
    connect(panel, &ResultPanel::openViewerRequested, this, [this] { logic->openInViewer(); });
    connect(panel, &ResultPanel::fullResolutionRequested, this, &CVantorraDlg::onRenderFullResolution);
    if (settings) {
        loadOptions(*settings, engine->stitcher().options);
        const std::string folder = loadLastFolder(*settings);
        if (!folder.empty()) logic->initialDirectory = folder;
    }
    setCommandsEnabled(true);
}

CVantorraDlg::~CVantorraDlg() = default;

void CVantorraDlg::buildMenu(QMenuBar* bar) {
    QMenu* file = bar->addMenu("&File");
    openAction = file->addAction("&Open...", QKeySequence::Open, this, &CVantorraDlg::onFileOpen);
    saveAsAction = file->addAction("Save &As...", QKeySequence::SaveAs, this, &CVantorraDlg::onFileSaveAs);
    file->addSeparator();
    file->addAction("E&xit", QKeySequence(Qt::CTRL | Qt::Key_Q), this, &CVantorraDlg::onFileExit);
    QMenu* edit = bar->addMenu("&Edit");
    optionsAction = edit->addAction("&Options...", QKeySequence(Qt::CTRL | Qt::Key_Comma), this,
                                    &CVantorraDlg::onEditOptions);
    QMenu* stitch = bar->addMenu("&Stitch");
    startAction = stitch->addAction("&Start", this, &CVantorraDlg::onStitchStart);
    startAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    fullResolutionAction =
        stitch->addAction("Render at &Full Resolution", this, &CVantorraDlg::onRenderFullResolution);
    QMenu* help = bar->addMenu("&Help");
    help->addAction("&About", this, &CVantorraDlg::onHelpAbout);
    // The shortcuts work wherever the focus is in the window.
    for (QAction* each : findChildren<QAction*>()) each->setShortcutContext(Qt::WindowShortcut);
}

QAction* CVantorraDlg::action(const QString& menu, const QString& item) const {
    for (const QMenu* each : findChildren<QMenu*>()) {
        if (plainCaption(each->title()) != menu) continue;
        for (QAction* entry : each->actions()) {
            if (!entry->isSeparator() && plainCaption(entry->text()) == item) return entry;
        }
    }
    return nullptr;
}

QString CVantorraDlg::statusText() const { return statusLine->text(); }

void CVantorraDlg::setCommandsEnabled(bool enabled) {
    for (QAction* command : {openAction, optionsAction, startAction}) command->setEnabled(enabled);
    const bool result = enabled && logic && logic->lastReport().has_value();
    saveAsAction->setEnabled(result);
    fullResolutionAction->setEnabled(result);
    if (panel) panel->setActionsEnabled(enabled);
}

void CVantorraDlg::rememberFolder() {
    if (settings && engine->stitcher().imagesSelected()) saveLastFolder(*settings, QDir::currentPath().toStdString());
}

void CVantorraDlg::onFileOpen() {
    logic->fileOpen();
    rememberFolder();
    afterCommand();
}

void CVantorraDlg::openFiles(const QStringList& paths) {
    std::vector<std::string> files;
    for (const QString& path : paths) files.push_back(path.toStdString());
    logic->openFiles(std::move(files));
    rememberFolder();
    afterCommand();
}

void CVantorraDlg::onFileSaveAs() {
    logic->saveAs();
    afterCommand();
}

void CVantorraDlg::onStitchStart() {
    logic->stitchStart();
    afterCommand();
}

void CVantorraDlg::onRenderFullResolution() {
    logic->renderFullResolution();
    afterCommand();
}

void CVantorraDlg::onEditOptions() {
    logic->editOptions();
    if (settings && !logic->running()) saveOptions(*settings, engine->stitcher().options);
    afterCommand();
}

void CVantorraDlg::onHelpAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CVantorraDlg::onFileExit() { done(QDialog::Rejected); }

void CVantorraDlg::done(int result) {
    // Closing while a run pumps events would pull the window from under the running command:
    // the run is cancelled and the window closes once it has unwound.
    if (logic && logic->running()) {
        closeRequested = true;
        closeResult = result;
        logic->requestCancel();
        return;
    }
    QDialog::done(result);
}

// Esc would reject the dialog, which is the whole application; it only leaves a menu or popup.
void CVantorraDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CVantorraDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (logic->running() || droppedFiles(event->mimeData()->urls()).isEmpty()) return;
    event->acceptProposedAction();
}

void CVantorraDlg::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData()->urls());
    if (logic->running() || files.isEmpty()) return;
    event->acceptProposedAction();
    // The run starts once the drop has been answered, so the dragging program is not kept waiting.
    QMetaObject::invokeMethod(this, [this, files] { openFiles(files); }, Qt::QueuedConnection);
}

void CVantorraDlg::afterCommand() {
    setCommandsEnabled(!logic->running());
    if (closeRequested && !logic->running()) {
        closeRequested = false;
        QDialog::done(closeResult);
    }
}

}  // namespace vantorra
