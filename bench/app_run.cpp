// The desktop application's main window, driven as a user would drive it, measured: the wall time
// of one command, the longest the window went without handling its events (a timer asks every
// 10 ms), the process's peak memory (VmHWM) and the time the window takes to close. Run it
// under an X server (xvfb-run) on photographs in a folder of their own, since the outputs go
// beside them:
//   app_run [--full-resolution] [--FLAG VALUE | --CHECK]... PHOTO...
// FLAG is any option of the command-line tool (--width 30000, --memory 0.5, --gain); with
// --full-resolution the photographs are stitched first and then rendered again at 100 %, and
// only that render is timed.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "app/stitch_engine.h"
#include "app/vantorra_dlg.h"
#include "pipeline/option_table.h"

namespace {

using namespace vantorra;

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// "--width 30000" or a bare check ("--gain", "--no-refine"); false for a flag the table lacks.
bool takeOption(StitchOptions& options, const QStringList& arguments, int& i) {
    const std::string flag = arguments[i].mid(2).toStdString();
    const OptionSpec* spec = findOptionByFlag(flag);
    if (spec == nullptr) return false;
    if (spec->kind == OptionKind::Check) {
        spec->set(options, OptionValue(spec->flagSets));
        return true;
    }
    if (i + 1 >= arguments.size()) return false;
    const std::string value = arguments[++i].toStdString();
    if (setOption(options, spec->field, value)) return false;
    applySelection(options, *spec);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    auto engine = std::make_unique<StitcherEngine>();
    StitchOptions& options = engine->stitcher().options;
    bool fullResolution = false;
    QStringList photographs;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--full-resolution") {
            fullResolution = true;
        } else if (!arguments[i].startsWith("--")) {
            photographs << arguments[i];
        } else if (!takeOption(options, arguments, i)) {
            std::fprintf(stderr, "unknown option or value: %s\n", qPrintable(arguments[i]));
            return 2;
        }
    }
    if (photographs.isEmpty()) {
        std::fprintf(stderr, "usage: %s [--full-resolution] [--FLAG VALUE]... PHOTO...\n", argv[0]);
        return 2;
    }

    auto window = std::make_unique<CVantorraDlg>(std::move(engine));
    window->show();
    QApplication::processEvents();

    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    bool measuring = false;
    QTimer ticks;
    ticks.setInterval(10);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        if (measuring) longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
    });
    ticks.start();

    double seconds = 0;
    QTimer::singleShot(0, [&] {
        if (fullResolution) window->openFiles(photographs);
        QElapsedTimer run;
        run.start();
        sinceTick.restart();
        measuring = true;
        if (fullResolution) window->onRenderFullResolution();
        else window->openFiles(photographs);
        seconds = run.elapsed() / 1000.0;
        // What follows the command (the preview being shown, say) counts as freezing too.
        QTimer::singleShot(1000, [&] { app.quit(); });
    });
    app.exec();
    measuring = false;
    const QString status = window->statusText();
    QElapsedTimer closing;
    closing.start();
    window.reset();
    const double closeSeconds = closing.elapsed() / 1000.0;
    std::printf("%.2f s run, %lld ms longest without events, %ld MB peak, %.2f s to close\n%s\n", seconds,
                static_cast<long long>(longestGap), peakKilobytes() / 1024, closeSeconds, qPrintable(status));
    return 0;
}
