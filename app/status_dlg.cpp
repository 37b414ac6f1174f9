#include "app/status_dlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/time_left.h"

namespace vantorra {

namespace {

constexpr int kRefreshMilliseconds = 100;

QProgressBar* makeBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(true);
    bar->setFormat("%p %");
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

// A bar with an empty range shows as empty, not as Qt's moving busy indicator, and a position
// outside the range is held at its end, as a plain progress control does.
void setBar(QProgressBar* bar, int maximum, int position) {
    const int top = std::max(maximum, 1);
    bar->setRange(0, top);
    bar->setValue(maximum <= 0 ? 0 : std::clamp(position, 0, top));
}

}  // namespace

CStatusDlg::CStatusDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Stitching — Vantorra");
    setModal(false);
    label = new QLabel("Static", this);
    stage = makeBar(this);
    label->setBuddy(stage);
    overallLabel = new QLabel("Overall", this);
    overall = makeBar(this);
    overallLabel->setBuddy(overall);
    remaining = new QLabel(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    cancel = buttons->button(QDialogButtonBox::Cancel);
    cancel->setText("&Cancel");
    connect(cancel, &QPushButton::clicked, this, &CStatusDlg::requestCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(stage);
    layout->addSpacing(6);
    layout->addWidget(overallLabel);
    layout->addWidget(overall);
    layout->addWidget(remaining);
    layout->addWidget(buttons);
    setMinimumWidth(420);
    sinceStart.start();
    refresh = new QTimer(this);
    refresh->setInterval(kRefreshMilliseconds);
    connect(refresh, &QTimer::timeout, this, &CStatusDlg::showReported);
    refresh->start();
}

bool CStatusDlg::onWindowThread() const { return QThread::currentThread() == thread(); }

void CStatusDlg::requestCancel() {
    if (cancelled) return;
    cancelled = true;
    cancel->setEnabled(false);
    label->setText("Cancelling…");
    if (cancelHandler) cancelHandler();
}

void CStatusDlg::reject() { requestCancel(); }

// The window belongs to the run: closing it stops the run, which then takes the window away.
void CStatusDlg::closeEvent(QCloseEvent* event) {
    requestCancel();
    event->ignore();
}

void CStatusDlg::setText(const std::string& text) {
    report([&](Shown& shown) { shown.text = text; });
}

void CStatusDlg::setStageBar(int maximum, int position) {
    report([&](Shown& shown) {
        shown.stageMaximum = maximum;
        shown.stagePosition = position;
    });
}

void CStatusDlg::setOverallBar(int maximum, int position) {
    report([&](Shown& shown) {
        shown.overallMaximum = maximum;
        shown.overallPosition = position;
    });
}

void CStatusDlg::showReported() {
    Shown now;
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (!reported.changed) return;
        reported.changed = false;
        now = reported;
    }
    if (!cancelled) label->setText(QString::fromStdString(now.text));
    setBar(stage, now.stageMaximum, now.stagePosition);
    setBar(overall, now.overallMaximum, now.overallPosition);
    const double fraction = now.overallMaximum > 0 ? static_cast<double>(now.overallPosition) / now.overallMaximum : 0.0;
    const std::optional<double> left = secondsLeft(fraction, sinceStart.elapsed() / 1000.0);
    remaining->setText(left ? QString::fromStdString(timeLeftText(*left)) : QString());
}

// On the window's thread (a run that reports from there) the events are handled here; a run on
// a thread of its own leaves them to the window's event loop, which never stops.
void CStatusDlg::pumpEvents() {
    if (onWindowThread()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CStatusDlg::repaint() {
    if (onWindowThread()) QWidget::repaint();
}

QString CStatusDlg::text() const { return label->text(); }

QString CStatusDlg::timeLeft() const { return remaining->text(); }

}  // namespace vantorra
