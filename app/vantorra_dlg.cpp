#include "app/vantorra_dlg.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

#include "app/about_dlg.h"

namespace vantorra {

CVantorraDlg::CVantorraDlg(std::unique_ptr<StitchEngine> engineToUse, QWidget* parent)
    : QDialog(parent),
      engine(std::move(engineToUse)),
      platform(
          this, [this](const std::string& text) { statusLine->setText(QString::fromStdString(text)); },
          [this](bool enabled) {
              for (QAction* command : {openAction, optionsAction, startAction}) command->setEnabled(enabled);
          }) {
    setWindowTitle("vantorra");
    resize(480, 325);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    buildMenu(bar);
    layout->setMenuBar(bar);

    auto* title = new QLabel("Vantorra", this);
    QFont large = title->font();
    large.setPointSizeF(large.pointSizeF() * 1.6);
    large.setBold(true);
    title->setFont(large);
    auto* subtitle = new QLabel("Stitches overlapping photographs into one spherical panorama", this);
    statusLine = new QLabel(this);
    for (QLabel* label : {title, subtitle, statusLine}) label->setAlignment(Qt::AlignCenter);
    layout->addStretch();
    layout->addWidget(title);
    layout->addWidget(subtitle);
    layout->addSpacing(24);
    layout->addWidget(statusLine);
    layout->addStretch();

    logic = std::make_unique<VantorraCommands>(*engine, platform);
}

CVantorraDlg::~CVantorraDlg() = default;

void CVantorraDlg::buildMenu(QMenuBar* bar) {
    QMenu* file = bar->addMenu("File");
    openAction = file->addAction("Open", this, &CVantorraDlg::onFileOpen);
    file->addAction("Exit", this, &CVantorraDlg::onFileExit);
    QMenu* edit = bar->addMenu("Edit");
    optionsAction = edit->addAction("Options", this, &CVantorraDlg::onEditOptions);
    QMenu* stitch = bar->addMenu("Stitch");
    startAction = stitch->addAction("Start", this, &CVantorraDlg::onStitchStart);
    QMenu* help = bar->addMenu("Help");
    help->addAction("About", this, &CVantorraDlg::onHelpAbout);
}

QAction* CVantorraDlg::action(const QString& menu, const QString& item) const {
    for (const QMenu* each : findChildren<QMenu*>()) {
        if (each->title() != menu) continue;
        for (QAction* entry : each->actions()) {
            if (entry->text() == item) return entry;
        }
    }
    return nullptr;
}

QString CVantorraDlg::statusText() const { return statusLine->text(); }

void CVantorraDlg::onFileOpen() {
    logic->fileOpen();
    afterCommand();
}

void CVantorraDlg::onStitchStart() {
    logic->stitchStart();
    afterCommand();
}

void CVantorraDlg::onEditOptions() {
    logic->editOptions();
    afterCommand();
}

void CVantorraDlg::onHelpAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CVantorraDlg::onFileExit() { done(QDialog::Rejected); }

void CVantorraDlg::done(int result) {
    // Closing while a run pumps events would pull the window from under the running command.
    if (logic && logic->running()) {
        closeRequested = true;
        closeResult = result;
        return;
    }
    QDialog::done(result);
}

void CVantorraDlg::afterCommand() {
    if (closeRequested && !logic->running()) {
        closeRequested = false;
        QDialog::done(closeResult);
    }
}

}  // namespace vantorra
