#pragma once
// What the command logic of the main window needs from the desktop: file choosers, message
// boxes, a picture viewer and file manager, the status window, the Options dialog and the main
// window's own status line, menu and result panel. The Qt front end implements it; tests implement it with recording fakes.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/options_exchange.h"
#include "app/result_summary.h"
#include "app/save_target.h"
#include "core/image.h"
#include "core/progress_reporter.h"

namespace vantorra {

// A status window of one run: shown on creation, gone when the object is destroyed.
class StatusWindow : public ProgressView {};

class AppPlatform {
public:
    virtual ~AppPlatform() = default;

    // The file-open dialog: full paths in the order the dialog hands them back, nothing on
    // Cancel. Choosing files makes their folder the current directory.
    virtual std::optional<std::vector<std::string>> chooseFiles(const std::string& initialDirectory) = 0;
    // A plain message box with an OK button; returns when the user has closed it.
    virtual void showMessage(const std::string& text) = 0;
    // The save dialog for the panorama, starting at `current`, offering `formats` in its type
    // list; the path typed and the type chosen, nothing on Cancel.
    virtual std::optional<SaveChoice> choosePanoramaFile(const std::string& current,
                                                         const std::vector<SaveFormat>& formats) = 0;
    // Opens a picture in the desktop's viewer and returns when that hand-over has finished.
    virtual void openPicture(const std::string& path) = 0;
    // Shows a folder in the desktop's file manager.
    virtual void openFolder(const std::string& path) = 0;
    // A new, visible status window for one run, titled `title`. Its Cancel button, and closing
    // it, call `cancel`. Its progress may be reported from the thread runInBackground runs.
    virtual std::unique_ptr<StatusWindow> createStatusWindow(const std::string& title, std::function<void()> cancel) = 0;
    // Runs `work` on another thread while the window goes on handling its events (a status window,
    // the other commands, a close); returns once `work` has returned.
    virtual void runInBackground(const std::function<void()>& work) = 0;
    // The result panel: the panorama written to report.panoramaPath, shown from `preview` (a
    // reduced copy, read only during the call) and, at 100 %, from the file; its size and the
    // photographs.
    virtual void showResult(const ResultSummary& report, const Image& preview) = 0;
    // No panorama to show: the panel says `why` and lists the photographs, each used or left out
    // with its reason.
    virtual void showPhotographs(const std::vector<PhotographEntry>& photographs, const std::string& why) = 0;
    // The Options dialog, showing `options` (angles in degrees or radians); true, with `options`
    // read back, on OK.
    virtual bool editOptions(StitchOptions& options, bool anglesInDegrees) = 0;
    virtual void setStatusLine(const std::string& text) = 0;
    // Enables or disables the commands that must not start while a run is in progress.
    virtual void setCommandsEnabled(bool enabled) = 0;
};

}  // namespace vantorra
