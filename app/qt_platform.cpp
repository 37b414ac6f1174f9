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

QtPlatform::QtPlatform(QWidget* window, std::function<void(const std::string&)> statusLine,
                       std::function<void(bool)> commandsEnabled)
    : window(window), statusLine(std::move(statusLine)), commandsEnabled(std::move(commandsEnabled)) {}

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
    dialog.setNameFilters({"JPEG Files (*.jpg)", "All Files (*.*)"});
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> selected;
    for (const QString& file : dialog.selectedFiles()) selected.push_back(QDir::cleanPath(file).toStdString());
    if (selected.empty()) return std::nullopt;
    // The outputs are written to the current directory, which is now the folder of the photographs.
    enterFolderOf(selected.front());
    return dialogReturnOrder(std::move(selected));
}

void QtPlatform::showMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, "vantorra", QString::fromStdString(text), QMessageBox::Ok, window);
    box.exec();
}

void QtPlatform::openPicture(const std::string& path) {
    const QString absolute = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(absolute))) {
        showMessage("No viewer could be started for " + absolute.toStdString());
    }
}

std::unique_ptr<StatusWindow> QtPlatform::createStatusWindow() {
    auto status = std::make_unique<CStatusDlg>(window);
    status->show();
    return status;
}

bool QtPlatform::editOptions(OptionsDialogValues& values) {
    COptionsDlg dialog(values, window);
    if (dialog.exec() != QDialog::Accepted) return false;
    values = dialog.values();
    return true;
}

void QtPlatform::setStatusLine(const std::string& text) { statusLine(text); }

void QtPlatform::setCommandsEnabled(bool enabled) { commandsEnabled(enabled); }

}  // namespace vantorra
