#pragma once
// The desktop services the commands use, provided with Qt: the file dialog (returning a multiple
// selection in the order the commands expect and making the chosen folder current), plain
// message boxes, the desktop's default viewer, the status window and the Options dialog.

#include <functional>

#include "app/platform.h"

class QWidget;

namespace vantorra {

class QtPlatform : public AppPlatform {
public:
    // `window` parents every dialog; the two callbacks reach the main window's status line and menu.
    QtPlatform(QWidget* window, std::function<void(const std::string&)> statusLine,
               std::function<void(bool)> commandsEnabled);

    std::optional<std::vector<std::string>> chooseFiles(const std::string& initialDirectory) override;
    void showMessage(const std::string& text) override;
    void openPicture(const std::string& path) override;
    std::unique_ptr<StatusWindow> createStatusWindow() override;
    bool editOptions(OptionsDialogValues& values) override;
    void setStatusLine(const std::string& text) override;
    void setCommandsEnabled(bool enabled) override;

private:
    QWidget* window;
    std::function<void(const std::string&)> statusLine;
    std::function<void(bool)> commandsEnabled;
};

// The folder the file dialog opens in: `initialDirectory` under the current directory when it
// exists, else the current directory.
std::string fileDialogStart(const std::string& initialDirectory);
// Makes the folder of `path` the current directory, as choosing files in the dialog does.
bool enterFolderOf(const std::string& path);

}  // namespace vantorra
