#pragma once
// The application: runs the main window modally; the program ends when it closes. Photographs
// (or a parameter file) named on the command line are opened once the window is shown, as the
// desktop's "Open with" passes them.

#include <QApplication>

namespace vantorra {

class CVantorraApp : public QApplication {
public:
    CVantorraApp(int& argc, char** argv);
    int run();
};

}  // namespace vantorra
