#pragma once
// The status window of one run: the stage text, the stage bar and the overall bar. Modeless; the
// progress reporter drives it, and every report lets the rest of the program handle its events.

#include <QDialog>

#include "app/platform.h"

class QLabel;
class QProgressBar;

namespace vantorra {

class CStatusDlg : public QDialog, public StatusWindow {
    Q_OBJECT
public:
    explicit CStatusDlg(QWidget* parent = nullptr);

    void setText(const std::string& text) override;
    void setStageBar(int maximum, int position) override;
    void setOverallBar(int maximum, int position) override;
    void pumpEvents() override;
    void repaint() override;

    QString text() const;
    const QProgressBar* stageBar() const { return stage; }
    const QProgressBar* overallBar() const { return overall; }

private:
    QLabel* label;
    QProgressBar* stage;
    QProgressBar* overall;
};

}  // namespace vantorra
