#pragma once
// The main window: the menu of five commands, the title lines and the status line. It owns the
// one engine for the life of the program and hands each command to VantorraCommands.

#include <QDialog>
#include <memory>

#include "app/qt_platform.h"
#include "app/stitch_engine.h"
#include "app/vantorra_commands.h"

class QAction;
class QLabel;
class QMenuBar;

namespace vantorra {

class CVantorraDlg : public QDialog {
    Q_OBJECT
public:
    // The window owns `engine` (the Stitcher-backed one in the program, a fake in tests).
    explicit CVantorraDlg(std::unique_ptr<StitchEngine> engine, QWidget* parent = nullptr);
    ~CVantorraDlg() override;

    VantorraCommands& commands() { return *logic; }
    QAction* action(const QString& menu, const QString& item) const;
    QString statusText() const;

public slots:
    void onFileOpen();
    void onFileExit();
    void onEditOptions();
    void onStitchStart();
    void onHelpAbout();
    // A close asked for during a run waits until the run has returned.
    void done(int result) override;

private:
    void buildMenu(QMenuBar* bar);
    void afterCommand();

    std::unique_ptr<StitchEngine> engine;
    QLabel* statusLine = nullptr;
    QAction* openAction = nullptr;
    QAction* optionsAction = nullptr;
    QAction* startAction = nullptr;
    QtPlatform platform;
    std::unique_ptr<VantorraCommands> logic;
    bool closeRequested = false;
    int closeResult = QDialog::Rejected;
};

}  // namespace vantorra
