#pragma once
// The desktop services the commands use, provided with Qt: the file dialogs (returning a
// multiple selection in the order the commands expect), plain message boxes, the desktop's
// default viewer and file manager, the status window, a thread for the runs while the window
// keeps handling its events, and the Options dialog; the main window's own parts are reached
// through WindowHooks.

#include <functional>

#include "app/platform.h"

class QWidget;

namespace vantorra {

struct WindowHooks {
    std::function<void(const std::string&)> statusLine;
    std::function<void(bool)> commandsEnabled;
    std::function<void(const ResultSummary&, const Image&)> showResult;
    std::function<void(const std::vector<PhotographEntry>&, const std::string&)> showPhotographs;
};

class QtPlatform : public AppPlatform {
public:
    // `window` parents every dialog.
    QtPlatform(QWidget* window, WindowHooks hooks);

    std::optional<std::vector<std::string>> chooseFiles(const std::string& initialDirectory) override;
    std::optional<SaveChoice> choosePanoramaFile(const std::string& current,
                                                 const std::vector<SaveFormat>& formats) override;
    void showMessage(const std::string& text) override;
    void openPicture(const std::string& path) override;
    void openFolder(const std::string& path) override;
    std::unique_ptr<StatusWindow> createStatusWindow(const std::string& title, std::function<void()> cancel) override;
    void runInBackground(const std::function<void()>& work) override;
    void showResult(const ResultSummary& report, const Image& preview) override;
    void showPhotographs(const std::vector<PhotographEntry>& photographs, const std::string& why) override;
    bool editOptions(StitchOptions& options, bool anglesInDegrees) override;
    void setStatusLine(const std::string& text) override;
    void setCommandsEnabled(bool enabled) override;

private:
    // Hands a local file or folder to the desktop's default application.
    void openWithDesktop(const std::string& path);

    QWidget* window;
    WindowHooks hooks;
};

// The folder the file dialog opens in: `initialDirectory` under the current directory when it
// exists (an absolute one as it is), else the current directory.
std::string fileDialogStart(const std::string& initialDirectory);
// Makes the folder of `path` the current directory, as choosing files in the dialog does.
bool enterFolderOf(const std::string& path);

}  // namespace vantorra
