#pragma once
// The main window: the menu with its shortcuts and mnemonics, the status line and the result
// panel. It owns the one engine for the life of the program, hands each command to
// VantorraCommands, opens dropped files, and remembers the last folder and the options.

#include <QDialog>
#include <QSettings>
#include <memory>

#include "app/qt_platform.h"
#include "app/stitch_engine.h"
#include "app/vantorra_commands.h"

class QAction;
class QLabel;
class QMenuBar;


namespace vantorra {

class ResultPanel;

class CVantorraDlg : public QDialog {
    Q_OBJECT
public:
    // The window owns `engine` (the Stitcher-backed one in the program, a fake in tests) and
    // `settings` (none: nothing is remembered, as in tests).
    explicit CVantorraDlg(std::unique_ptr<StitchEngine> engine, QWidget* parent = nullptr,
                          std::unique_ptr<QSettings> settings = nullptr);
    ~CVantorraDlg() override;

    VantorraCommands& commands() { return *logic; }
    // A menu command by its menu and item caption, mnemonics and trailing dots left out
    // ("File", "Open").
    QAction* action(const QString& menu, const QString& item) const;
    QString statusText() const;
    ResultPanel* resultPanel() const { return panel; }

public slots:
    void onFileOpen();
    void onFileSaveAs();
    void onFileExit();
    void onEditOptions();
    void onStitchStart();
    void onRenderFullResolution();
    void onHelpAbout();
    // Opens photographs or a parameter file as File::Open would (dropped, or named at start).
    void openFiles(const QStringList& paths);
    // A close asked for during a run cancels it and happens once the run has returned.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenu(QMenuBar* bar);
    void setCommandsEnabled(bool enabled);
    void afterCommand();
    void rememberFolder();

    std::unique_ptr<StitchEngine> engine;
    std::unique_ptr<QSettings> settings;
    QLabel* statusLine = nullptr;
    ResultPanel* panel = nullptr;
    QAction* openAction = nullptr;
    QAction* saveAsAction = nullptr;
    QAction* optionsAction = nullptr;
    QAction* startAction = nullptr;
    QAction* fullResolutionAction = nullptr;
    QtPlatform platform;
    std::unique_ptr<VantorraCommands> logic;
    bool closeRequested = false;
    int closeResult = QDialog::Rejected;
};

// The local files among dropped URLs, in the order dropped.
QStringList droppedFiles(const QList<QUrl>& urls);
// "pano.jpg — Vantorra" for the panorama shown, "Vantorra" without one.
QString windowTitleFor(const std::string& panoramaPath);

}  // namespace vantorra
