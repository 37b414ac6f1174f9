#include "app/vantorra_app.h"

#include "app/vantorra_dlg.h"

namespace vantorra {

CVantorraApp::CVantorraApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName("vantorra");
    setApplicationVersion(VANTORRA_VERSION);
}

int CVantorraApp::run() {
    CVantorraDlg window(std::make_unique<StitcherEngine>());
    window.exec();
    return 0;
}

}  // namespace vantorra
