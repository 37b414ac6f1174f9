#include "app/vantorra_app.h"

#include <QSettings>
#include <QTimer>

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
    if (!files.isEmpty()) QTimer::singleShot(0, &window, [&window, files] { window.openFiles(files); });
    window.exec();
    return 0;
}

}  // namespace vantorra
