#pragma once
// The status window of one run: the stage text, the stage bar, the overall bar and Cancel.
// Modeless; the progress reporter drives it, and every report lets the rest of the program
// handle its events, which is when a press of Cancel, Esc or a close of the window is seen.

#include <QDialog>
#include <functional>

#include "app/platform.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vantorra {

class CStatusDlg : public QDialog, public StatusWindow {
    Q_OBJECT
public:
    explicit CStatusDlg(QWidget* parent = nullptr);

    // Called once by Cancel, Esc or closing the window; the window stays until the run ends.
    void setCancelHandler(std::function<void()> handler) { cancelHandler = std::move(handler); }

    void setText(const std::string& text) override;
    void setStageBar(int maximum, int position) override;
    void setOverallBar(int maximum, int position) override;
    void pumpEvents() override;
    void repaint() override;

    QString text() const;
    const QProgressBar* stageBar() const { return stage; }
    const QProgressBar* overallBar() const { return overall; }
    QPushButton* cancelButton() const { return cancel; }
    bool cancelRequested() const { return cancelled; }

public slots:
    void reject() override;  // Esc

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void requestCancel();

    QLabel* label;
    QProgressBar* stage;
    QProgressBar* overall;
    QPushButton* cancel;
    std::function<void()> cancelHandler;
    bool cancelled = false;
};

}  // namespace vantorra
