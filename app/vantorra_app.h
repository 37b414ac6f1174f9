#pragma once
// The application: runs the main window modally; the program ends when it closes.

#include <QApplication>

namespace vantorra {

class CVantorraApp : public QApplication {
public:
    CVantorraApp(int& argc, char** argv);
    int run();
};

}  // namespace vantorra
