#include "app/status_dlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace vantorra {

namespace {

QProgressBar* makeBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(false);
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
    setWindowTitle("Status");
    setModal(false);
    label = new QLabel("Static", this);
    label->setAlignment(Qt::AlignCenter);
    stage = makeBar(this);
    overall = makeBar(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    cancel = buttons->button(QDialogButtonBox::Cancel);
    connect(cancel, &QPushButton::clicked, this, &CStatusDlg::requestCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(stage);
    layout->addWidget(overall);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

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
    if (!cancelled) label->setText(QString::fromStdString(text));
}

void CStatusDlg::setStageBar(int maximum, int position) { setBar(stage, maximum, position); }

void CStatusDlg::setOverallBar(int maximum, int position) { setBar(overall, maximum, position); }

void CStatusDlg::pumpEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void CStatusDlg::repaint() { QWidget::repaint(); }

QString CStatusDlg::text() const { return label->text(); }

}  // namespace vantorra
