#include "app/vantorra_app.h"

#include <QSettings>
#include <QTimer>

#include "app/screenshot.h"
#include "app/vantorra_dlg.h"

namespace vantorra {

CVantorraApp::CVantorraApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("vantorra");
    setOrganizationName("vantorra");
    setApplicationVersion(VANTORRA_VERSION);
}

int CVantorraApp::run() {
    CVantorraDlg window(std::make_unique<StitcherEngine>(), nullptr, std::make_unique<QSettings>());
    // QApplication has already taken its own options (-platform and the like) out of the list.
    const QStringList files = arguments().mid(1);
    // For the screenshot test: with VANTORRA_SCREENSHOT=FILE.png, the window saves what the screen
    // shows of it once the files named at start have been run, and the program ends.
    const QString screenshot = qEnvironmentVariable("VANTORRA_SCREENSHOT");
    if (!files.isEmpty() || !screenshot.isEmpty()) {
        QTimer::singleShot(0, &window, [&window, files, screenshot] {
            if (!files.isEmpty()) window.openFiles(files);
            if (screenshot.isEmpty()) return;
            if (!saveScreenshot(window, screenshot)) qWarning("vantorra: cannot save %s", qPrintable(screenshot));
            window.done(QDialog::Accepted);
        });
    }
    window.exec();
    return 0;
}

}  // namespace vantorra
