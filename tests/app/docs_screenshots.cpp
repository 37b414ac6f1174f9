// Pictures of the three windows for the documentation: the status window during a run, the main
// window with the result panel after it, and the Options dialog's pages. Run under an X server by
// scripts/docs-screenshots.sh:
//   vantorra_docs_screenshots OUTPUT_DIR PHOTO...

#include <QApplication>
#include <QDir>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "app/options_dlg.h"
#include "app/screenshot.h"
#include "app/status_dlg.h"
#include "app/vantorra_dlg.h"

int main(int argc, char** argv) {
    using namespace vantorra;
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR PHOTO...\n", argv[0]);
        return 2;
    }
    const QDir output(arguments[1]);
    // Palette pictures keep the files small; the panel's photographs are dithered to stay natural.
    constexpr ScreenshotColours kColours = ScreenshotColours::Palette;

    CVantorraDlg window(std::make_unique<StitcherEngine>());
    window.resize(1000, 640);
    window.show();
    QApplication::processEvents();

    // The run goes on its own thread while the window handles its events, and the status window
    // shows what it was told a few times a second: it is taken the first time it shows a stage
    // with both bars moved.
    bool statusTaken = false;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        CStatusDlg* status = window.findChild<CStatusDlg*>();
        if (statusTaken || status == nullptr || status->text() == "Static" || status->text() == "Initialising...") return;
        if (status->stageBar()->value() <= status->stageBar()->minimum() || status->overallBar()->value() <= 0) return;
        statusTaken = saveScreenshot(*status, output.filePath("status-window.png"), kColours);
    });
    watch.start();
    window.openFiles(arguments.mid(2));
    watch.stop();
    bool ok = statusTaken;
    if (!statusTaken) std::fprintf(stderr, "the status window was not seen while the photographs loaded\n");
    ok = saveScreenshot(window, output.filePath("result-panel.png"), ScreenshotColours::DitheredPalette) && ok;

    // One picture per page: the first is the dialog as it opens.
    COptionsDlg options(StitchOptions{}, &window);
    options.show();
    for (int page = 0; page < options.pages()->count(); ++page) {
        options.pages()->setCurrentIndex(page);
        QApplication::processEvents();
        const QString name = page == 0 ? QString("options-dialog.png")
                                       : "options-" + options.pages()->tabText(page).remove('&').toLower() + ".png";
        ok = saveScreenshot(options, output.filePath(name), kColours) && ok;
    }
    return ok ? 0 : 1;
}
