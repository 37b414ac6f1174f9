#include "app/qt_platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "app/image_selection.h"
#include "app/options_dlg.h"
#include "app/status_dlg.h"

namespace vantorra {

QtPlatform::QtPlatform(QWidget* window, WindowHooks hooks) : window(window), hooks(std::move(hooks)) {}

std::string fileDialogStart(const std::string& initialDirectory) {
    const QDir start(QDir::current().filePath(QString::fromStdString(initialDirectory)));
    return (start.exists() ? start.absolutePath() : QDir::currentPath()).toStdString();
}

bool enterFolderOf(const std::string& path) {
    return QDir::setCurrent(QFileInfo(QString::fromStdString(path)).absolutePath());
}

std::optional<std::vector<std::string>> QtPlatform::chooseFiles(const std::string& initialDirectory) {
    QFileDialog dialog(window, "Open", QString::fromStdString(fileDialogStart(initialDirectory)));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters({"JPEG Files (*.jpg *.jpeg *.jpe *.JPG *.JPEG *.JPE)",
                           "Parameter Files (*.txt *.ast *.TXT *.AST)", "All Files (*)"});
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> selected;
    for (const QString& file : dialog.selectedFiles()) selected.push_back(QDir::cleanPath(file).toStdString());
    if (selected.empty()) return std::nullopt;
    // The outputs are written to the current directory, which is now the folder of the photographs.
    enterFolderOf(selected.front());
    return dialogReturnOrder(std::move(selected));
}

std::optional<std::string> QtPlatform::choosePanoramaFile(const std::string& current) {
    QFileDialog dialog(window, "Save Panorama As", QString::fromStdString(current));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({"JPEG Files (*.jpg *.jpeg)"});
    dialog.setDefaultSuffix("jpg");
    dialog.selectFile(QString::fromStdString(current));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QDir::cleanPath(dialog.selectedFiles().front()).toStdString();
}

void QtPlatform::showMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, "vantorra", QString::fromStdString(text), QMessageBox::Ok, window);
    box.exec();
}

void QtPlatform::openWithDesktop(const std::string& path) {
    const QString absolute = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(absolute))) {
        showMessage("No application could be started for " + absolute.toStdString());
    }
}

void QtPlatform::openPicture(const std::string& path) { openWithDesktop(path); }

void QtPlatform::openFolder(const std::string& path) { openWithDesktop(path); }

std::unique_ptr<StatusWindow> QtPlatform::createStatusWindow(std::function<void()> cancel) {
    auto status = std::make_unique<CStatusDlg>(window);
    status->setCancelHandler(std::move(cancel));
    status->show();
    return status;
}

void QtPlatform::showResult(const ResultSummary& report, const Image& panorama) {
    if (hooks.showResult) hooks.showResult(report, panorama);
}

bool QtPlatform::editOptions(StitchOptions& options, bool anglesInDegrees) {
    COptionsDlg dialog(options, window, {}, std::nullopt, anglesInDegrees);
    if (dialog.exec() != QDialog::Accepted) return false;
    options = dialog.values();
    return true;
}

void QtPlatform::setStatusLine(const std::string& text) {
    if (hooks.statusLine) hooks.statusLine(text);
}

void QtPlatform::setCommandsEnabled(bool enabled) {
    if (hooks.commandsEnabled) hooks.commandsEnabled(enabled);
}

}  // namespace vantorra
