#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace vantorra {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Vantorra");
    auto* name = new QLabel(QString("Vantorra Version %1").arg(VANTORRA_VERSION), this);
    auto* what = new QLabel("Panorama stitcher for overlapping JPEG photographs", this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(what);
    layout->addWidget(buttons);
}

}  // namespace vantorra
