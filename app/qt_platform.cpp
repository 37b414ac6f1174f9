#include "app/qt_platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <QEventLoop>
#include <algorithm>
#include <exception>
#include <thread>

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
    dialog.setNameFilters({"Photographs (*.jpg *.jpeg *.jpe *.png *.tif *.tiff *.heic *.heif *.JPG *.JPEG *.JPE *.PNG "
                           "*.TIF *.TIFF *.HEIC *.HEIF)",
                           "Parameter Files (*.txt *.ast *.TXT *.AST)", "All Files (*)"});
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> selected;
    for (const QString& file : dialog.selectedFiles()) selected.push_back(QDir::cleanPath(file).toStdString());
    if (selected.empty()) return std::nullopt;
    return dialogReturnOrder(std::move(selected));
}

std::optional<SaveChoice> QtPlatform::choosePanoramaFile(const std::string& current,
                                                         const std::vector<SaveFormat>& formats) {
    QFileDialog dialog(window, "Save Panorama As", QString::fromStdString(current));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The type list names each format by its extensions; the name's own extension is checked
    // against them afterwards, so no suffix is added behind the user's back here.
    QStringList filters;
    for (const SaveFormat& format : formats) {
        QStringList patterns;
        for (const std::string& extension : format.extensions) patterns << "*." + QString::fromStdString(extension);
        filters << QString::fromStdString(format.name) + " (" + patterns.join(' ') + ")";
    }
    dialog.setNameFilters(filters);
    dialog.selectFile(QString::fromStdString(current));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const qsizetype type = filters.indexOf(dialog.selectedNameFilter());
    return SaveChoice{QDir::cleanPath(dialog.selectedFiles().front()).toStdString(),
                      formats.at(static_cast<size_t>(std::max<qsizetype>(type, 0))).name};
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

std::unique_ptr<StatusWindow> QtPlatform::createStatusWindow(const std::string& title, std::function<void()> cancel) {
    auto status = std::make_unique<CStatusDlg>(window);
    status->setWindowTitle(QString::fromStdString(title) + " — Vantorra");
    status->setCancelHandler(std::move(cancel));
    status->show();
    return status;
}

// The window's own event loop goes on while the work runs; the loop ends when the work has. What
// the work throws is thrown again here, on the caller's thread, as if it had run there: an
// exception leaving a thread would end the program.
void QtPlatform::runInBackground(const std::function<void()>& work) {
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&work, &loop, &failure] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

void QtPlatform::showResult(const ResultSummary& report, const Image& preview) {
    if (hooks.showResult) hooks.showResult(report, preview);
}

void QtPlatform::showPhotographs(const std::vector<PhotographEntry>& photographs, const std::string& why) {
    if (hooks.showPhotographs) hooks.showPhotographs(photographs, why);
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
