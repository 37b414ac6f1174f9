#pragma once
// The About box, shown modally from Help::About.

#include <QDialog>

namespace vantorra {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace vantorra
