#include "app/options_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantorra {

namespace {

size_t slot(OptionField field) { return static_cast<size_t>(field); }

const QStringList kPercentages = {"100%", "50%", "25%", "10%"};
const QStringList kMemorySizes = {"2.0", "1.0", "0.5", "0.25", "0.1"};

void plainMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, "vantorra", text, QMessageBox::Ok, parent);
    box.exec();
}

// The first free row (an empty grid still counts one row).
int nextRow(const QGridLayout* grid) { return grid->count() == 0 ? 0 : grid->rowCount(); }

// A caption to the left of its control, on one row of a group's grid.
void addRow(QGridLayout* grid, const QString& caption, QWidget* control) {
    const int row = nextRow(grid);
    grid->addWidget(new QLabel(caption), row, 0);
    grid->addWidget(control, row, 1);
}

void addWide(QGridLayout* grid, QWidget* widget) { grid->addWidget(widget, nextRow(grid), 0, 1, 3); }

// An angle row: caption, edit and the unit the edit is read in.
void addAngleRow(QGridLayout* grid, const QString& caption, QWidget* control, const QString& unit) {
    const int row = nextRow(grid);
    grid->addWidget(new QLabel(caption), row, 0);
    grid->addWidget(control, row, 1);
    grid->addWidget(new QLabel(unit), row, 2);
}

}  // namespace

COptionsDlg::COptionsDlg(const OptionsDialogValues& values, QWidget* parent, MessageSink sink,
                         std::optional<OptionsDialogValues> defaultValues, bool anglesInDegrees)
    : QDialog(parent),
      members(values),
      defaults(defaultValues ? *defaultValues : fillOptionsDialog(StitchOptions{}, anglesInDegrees)),
      angleUnit(anglesInDegrees ? "°" : "rad"),
      messageSink(std::move(sink)) {
    setWindowTitle("Options");
    setModal(true);
    if (!messageSink) messageSink = [this](const QString& text) { plainMessage(this, text); };

    auto* left = new QVBoxLayout;
    left->addWidget(outputSizeGroup());
    left->addWidget(cropGroup());
    left->addWidget(orientationGroup());
    left->addStretch();
    auto* middle = new QVBoxLayout;
    middle->addWidget(rotationGroup());
    middle->addWidget(renderingGroup());
    middle->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(matchingGroup());
    right->addWidget(otherGroup());
    right->addStretch();

    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(middle);
    columns->addLayout(right);

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    cancel = buttons->button(QDialogButtonBox::Cancel);
    restore = buttons->button(QDialogButtonBox::RestoreDefaults);
    restore->setText("&Restore defaults");
    // Only the controls change; Cancel still leaves every option as it was.
    connect(restore, &QAbstractButton::clicked, this, [this] { showValues(defaults, *this); });
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionsDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(buttons);

    showValues(members, *this);
    couple();
}

QLineEdit* COptionsDlg::makeEdit(OptionField field) {
    auto* edit = new QLineEdit;
    edit->setMinimumWidth(70);
    controls[slot(field)] = edit;
    return edit;
}

QComboBox* COptionsDlg::makeCombo(OptionField field, const QStringList& items) {
    auto* combo = new QComboBox;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    controls[slot(field)] = combo;
    return combo;
}

QCheckBox* COptionsDlg::makeCheck(OptionField field, const QString& caption) {
    auto* box = new QCheckBox(caption);
    controls[slot(field)] = box;
    return box;
}

QAbstractButton* COptionsDlg::makeChoice(OptionField group, const QString& caption) {
    QButtonGroup*& buttons = groups[slot(group)];
    if (buttons == nullptr) buttons = new QButtonGroup(this);
    auto* button = new QRadioButton(caption);
    buttons->addButton(button, static_cast<int>(buttons->buttons().size()));
    return button;
}

QGroupBox* COptionsDlg::outputSizeGroup() {
    auto* group = new QGroupBox("Output Size");
    auto* grid = new QGridLayout(group);
    grid->addWidget(makeChoice(OptionField::OutputSize, "Width (pixels)"), 0, 0);
    grid->addWidget(makeEdit(OptionField::Width), 0, 1);
    grid->addWidget(makeChoice(OptionField::OutputSize, "Height (pixels)"), 1, 0);
    grid->addWidget(makeEdit(OptionField::Height), 1, 1);
    grid->addWidget(makeChoice(OptionField::OutputSize, "Scale (%)"), 2, 0);
    grid->addWidget(makeCombo(OptionField::ScaleText, kPercentages), 2, 1);
    return group;
}

QGroupBox* COptionsDlg::cropGroup() {
    auto* group = new QGroupBox("Crop Settings");
    auto* grid = new QGridLayout(group);
    addWide(grid, makeCheck(OptionField::AutoCrop, "Auto Crop"));
    addWide(grid, new QLabel("Manual crop settings:"));
    addAngleRow(grid, "Theta min", makeEdit(OptionField::ThetaMin), angleUnit);
    addAngleRow(grid, "Theta max", makeEdit(OptionField::ThetaMax), angleUnit);
    addAngleRow(grid, "Phi min", makeEdit(OptionField::PhiMin), angleUnit);
    addAngleRow(grid, "Phi max", makeEdit(OptionField::PhiMax), angleUnit);
    return group;
}

QGroupBox* COptionsDlg::orientationGroup() {
    auto* group = new QGroupBox("Orientation Settings");
    auto* grid = new QGridLayout(group);
    addWide(grid, makeCheck(OptionField::AutoStraighten, "Auto Straighten"));
    addWide(grid, new QLabel("Manual orientation settings:"));
    addAngleRow(grid, "Theta", makeEdit(OptionField::OrientTheta), angleUnit);
    addAngleRow(grid, "Phi", makeEdit(OptionField::OrientPhi), angleUnit);
    addAngleRow(grid, "Psi", makeEdit(OptionField::OrientPsi), angleUnit);
    return group;
}

QGroupBox* COptionsDlg::rotationGroup() {
    auto* group = new QGroupBox("Image Rotation");
    auto* column = new QVBoxLayout(group);
    for (const char* caption : {"None", "Clockwise", "Anticlockwise", "Upside Down"}) {
        column->addWidget(makeChoice(OptionField::Rotation, caption));
    }
    return group;
}

QGroupBox* COptionsDlg::renderingGroup() {
    auto* group = new QGroupBox("Rendering Options");
    auto* grid = new QGridLayout(group);
    addWide(grid, new QLabel("Blending Method:"));
    for (const char* caption : {"None", "Linear", "Multi-Band"}) {
        addWide(grid, makeChoice(OptionField::Blending, caption));
    }
    addWide(grid, new QLabel("Multi-Band blending options:"));
    addRow(grid, "Blending bands", makeEdit(OptionField::BlendingBands));
    addRow(grid, "Blending sigma", makeEdit(OptionField::BlendingSigma));
    addWide(grid, makeCheck(OptionField::GainCompensation, "Gain Compensation"));
    addRow(grid, "Gain sigma", makeEdit(OptionField::GainSigma));
    addRow(grid, "Gain mean", makeEdit(OptionField::GainMean));
    return group;
}

QGroupBox* COptionsDlg::matchingGroup() {
    auto* group = new QGroupBox("Matching Options");
    auto* grid = new QGridLayout(group);
    addWide(grid, new QLabel("SIFT Image Size:"));
    int row = nextRow(grid);
    grid->addWidget(makeChoice(OptionField::FeatureSize, "Min dim (pixels)"), row, 0);
    grid->addWidget(makeEdit(OptionField::MinDim), row, 1);
    row = nextRow(grid);
    grid->addWidget(makeChoice(OptionField::FeatureSize, "Scale (%)"), row, 0);
    grid->addWidget(makeCombo(OptionField::FeatureScaleText, kPercentages), row, 1);
    addWide(grid, new QLabel("RANSAC Parameters:"));
    addRow(grid, "Alpha", makeEdit(OptionField::Alpha));
    addRow(grid, "Beta", makeEdit(OptionField::Beta));
    addRow(grid, "Max iterations", makeEdit(OptionField::MaxIterations));
    addWide(grid, new QLabel("Bundle Adjustment:"));
    addWide(grid, makeCheck(OptionField::RefineRegistration, "Refine registration"));
    return group;
}

QGroupBox* COptionsDlg::otherGroup() {
    auto* group = new QGroupBox("Other Options");
    auto* grid = new QGridLayout(group);
    addRow(grid, "System Memory (GB)", makeCombo(OptionField::SystemMemoryText, kMemorySizes));
    addRow(grid, "JPEG Quality", makeEdit(OptionField::JpegQuality));
    addRow(grid, "Threads (0: every core)", makeEdit(OptionField::Threads));
    return group;
}

// Typing in a field selects the choice it belongs to. Only the user's own edits count: filling
// the dialog must not move the choices it has just set.
void COptionsDlg::whenEdited(OptionField field, const std::function<void()>& action) {
    if (QComboBox* box = combo(field)) {
        connect(box, &QComboBox::activated, this, [action](int) { action(); });
        connect(box->lineEdit(), &QLineEdit::textEdited, this, [action](const QString&) { action(); });
    } else if (QLineEdit* line = edit(field)) {
        connect(line, &QLineEdit::textEdited, this, [action](const QString&) { action(); });
    }
}

void COptionsDlg::couple() {
    using F = OptionField;
    whenEdited(F::Width, [this] { setChoice(F::OutputSize, 0); });
    whenEdited(F::Height, [this] { setChoice(F::OutputSize, 1); });
    whenEdited(F::ScaleText, [this] { setChoice(F::OutputSize, 2); });
    for (F field : {F::BlendingBands, F::BlendingSigma}) whenEdited(field, [this] { setChoice(F::Blending, 2); });
    whenEdited(F::MinDim, [this] { setChoice(F::FeatureSize, 0); });
    whenEdited(F::FeatureScaleText, [this] { setChoice(F::FeatureSize, 1); });
    for (F field : {F::ThetaMin, F::ThetaMax, F::PhiMin, F::PhiMax}) {
        whenEdited(field, [this] { setChecked(F::AutoCrop, false); });
    }
    for (F field : {F::GainSigma, F::GainMean}) whenEdited(field, [this] { setChecked(F::GainCompensation, true); });
}

QLineEdit* COptionsDlg::edit(OptionField field) const { return qobject_cast<QLineEdit*>(controls[slot(field)]); }
QComboBox* COptionsDlg::combo(OptionField field) const { return qobject_cast<QComboBox*>(controls[slot(field)]); }
QCheckBox* COptionsDlg::checkBox(OptionField field) const { return qobject_cast<QCheckBox*>(controls[slot(field)]); }

QAbstractButton* COptionsDlg::choiceButton(OptionField group, int index) const {
    const QButtonGroup* buttons = groups[slot(group)];
    return buttons != nullptr ? buttons->button(index) : nullptr;
}

QWidget* COptionsDlg::control(OptionField field) const {
    if (QWidget* widget = controls[slot(field)]) return widget;
    return choiceButton(field, 0);
}

std::string COptionsDlg::text(OptionField field) const {
    if (const QComboBox* box = combo(field)) return box->currentText().toStdString();
    if (const QLineEdit* line = edit(field)) return line->text().toStdString();
    return {};
}

void COptionsDlg::setText(OptionField field, const std::string& value) {
    const QString shown = QString::fromStdString(value);
    if (QComboBox* box = combo(field)) box->setEditText(shown);
    if (QLineEdit* line = edit(field)) line->setText(shown);
}

int COptionsDlg::choice(OptionField field) const {
    const QButtonGroup* buttons = groups[slot(field)];
    return buttons != nullptr ? buttons->checkedId() : -1;
}

void COptionsDlg::setChoice(OptionField field, int index) {
    if (QAbstractButton* button = choiceButton(field, index)) button->setChecked(true);
}

bool COptionsDlg::checked(OptionField field) const {
    const QCheckBox* box = checkBox(field);
    return box != nullptr && box->checkState() != Qt::Unchecked;
}

void COptionsDlg::setChecked(OptionField field, bool on) {
    if (QCheckBox* box = checkBox(field)) box->setChecked(on);
}

// OK takes every member in exchange order; the first field that fails keeps the dialog open
// with that control focused, and no member changes.
void COptionsDlg::accept() {
    if (const std::optional<FieldError> failure = takeValues(*this, members)) {
        messageSink(QString::fromStdString(failure->message));
        if (QWidget* faulty = control(failure->field)) faulty->setFocus(Qt::OtherFocusReason);
        if (QLineEdit* line = edit(failure->field)) line->selectAll();
        return;
    }
    QDialog::accept();
}

}  // namespace vantorra
