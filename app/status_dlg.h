#pragma once
// The status window of one run: what the run is doing above the stage's bar, the overall bar
// below its label, both with their percentage, the time left once it can be estimated, and
// Cancel. Modeless. The progress reporter drives it from the thread the run goes on: what it is
// told is kept under a lock and shown by the window's own thread a few times a second (at once
// when it is told on that thread), so a run never waits for the window nor touches its widgets.

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <mutex>
#include <string>

#include "app/platform.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vantorra {

class CStatusDlg : public QDialog, public StatusWindow {
    Q_OBJECT
public:
    explicit CStatusDlg(QWidget* parent = nullptr);

    // Called once by Cancel, Esc or closing the window; the window stays until the run ends.
    void setCancelHandler(std::function<void()> handler) { cancelHandler = std::move(handler); }

    // ProgressView, from any thread.
    void setText(const std::string& text) override;
    void setStageBar(int maximum, int position) override;
    void setOverallBar(int maximum, int position) override;
    void pumpEvents() override;
    void repaint() override;

    QString text() const;
    QString timeLeft() const;
    const QProgressBar* stageBar() const { return stage; }
    const QProgressBar* overallBar() const { return overall; }
    QPushButton* cancelButton() const { return cancel; }
    bool cancelRequested() const { return cancelled; }

public slots:
    void reject() override;  // Esc

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // What the run last reported.
    struct Shown {
        std::string text = "Static";
        int stageMaximum = 100, stagePosition = 0;
        int overallMaximum = 100, overallPosition = 0;
        bool changed = true;
    };
    void requestCancel();
    // From any thread: `change` applied to the report under the lock, shown at once when called
    // on the window's thread (else at the next refresh).
    template <typename Change>
    void report(Change change) {
        {
            const std::lock_guard<std::mutex> guard(lock);
            change(reported);
            reported.changed = true;
        }
        if (onWindowThread()) showReported();
    }
    // On the window's thread: the last report onto the widgets.
    void showReported();
    bool onWindowThread() const;

    QLabel* label;
    QProgressBar* stage;
    QLabel* overallLabel;
    QProgressBar* overall;
    QLabel* remaining;
    QPushButton* cancel;
    QTimer* refresh;
    QElapsedTimer sinceStart;
    std::function<void()> cancelHandler;
    bool cancelled = false;
    mutable std::mutex lock;
    Shown reported;  // guarded by lock
};

}  // namespace vantorra
