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

#include <algorithm>
#include <string_view>

namespace vantorra {

namespace {

size_t slot(OptionField field) { return static_cast<size_t>(field); }

void plainMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, "vantorra", text, QMessageBox::Ok, parent);
    box.exec();
}

// The first free row (an empty grid still counts one row).
int nextRow(const QGridLayout* grid) { return grid->count() == 0 ? 0 : grid->rowCount(); }

QString qtext(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

// The table's groups, in three columns: the ones the dialog has always shown first, in their
// places, then any other in the order it first appears in the table.
std::vector<std::string_view> groupNames() {
    std::vector<std::string_view> names = {"Output Size",    "Crop Settings",    "Orientation Settings",
                                           "Image Rotation", "Rendering Options", "Matching Options",
                                           "Other Options"};
    for (const OptionSpec& spec : optionTable())
        if (std::find(names.begin(), names.end(), spec.group) == names.end()) names.push_back(spec.group);
    return names;
}

// The row a choice's button carries beside it: the one option of the group that selects it.
const OptionSpec* besideChoice(const OptionSpec& choice, size_t index) {
    const OptionSpec* found = nullptr;
    for (const OptionSpec& spec : optionTable()) {
        if (!spec.selects || spec.selects->field != choice.field || spec.group != choice.group) continue;
        if (spec.selects->value != choice.choices[index].name) continue;
        if (found != nullptr) return nullptr;  // more than one: they go below
        found = &spec;
    }
    return found;
}

}  // namespace

COptionsDlg::COptionsDlg(const StitchOptions& options, QWidget* parent, MessageSink sink,
                         std::optional<StitchOptions> defaultOptions, bool anglesInDegrees)
    : QDialog(parent),
      members(options),
      defaults(defaultOptions ? *defaultOptions : StitchOptions{}),
      degrees(anglesInDegrees),
      angleUnit(anglesInDegrees ? "°" : "rad"),
      messageSink(std::move(sink)) {
    setWindowTitle("Options");
    setModal(true);
    if (!messageSink) messageSink = [this](const QString& text) { plainMessage(this, text); };

    // Three columns, the groups shared out in table order.
    const std::vector<std::string_view> names = groupNames();
    std::array<QVBoxLayout*, 3> columns{new QVBoxLayout, new QVBoxLayout, new QVBoxLayout};
    for (size_t g = 0; g < names.size(); ++g) columns[g * columns.size() / names.size()]->addWidget(makeGroup(names[g]));
    auto* row = new QHBoxLayout;
    for (QVBoxLayout* column : columns) {
        column->addStretch();
        row->addLayout(column);
    }

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    cancel = buttons->button(QDialogButtonBox::Cancel);
    restore = buttons->button(QDialogButtonBox::RestoreDefaults);
    restore->setText("&Restore defaults");
    // Only the controls change; Cancel still leaves every option as it was.
    connect(restore, &QAbstractButton::clicked, this, [this] { showOptions(defaults, degrees, *this); });
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionsDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);

    showOptions(members, degrees, *this);
    couple();
}

QGroupBox* COptionsDlg::makeGroup(std::string_view name) {
    auto* group = new QGroupBox(qtext(name));
    auto* grid = new QGridLayout(group);
    for (const OptionSpec& spec : optionTable()) {
        if (spec.group != name || placed[slot(spec.field)]) continue;
        if (!spec.heading.empty()) grid->addWidget(new QLabel(qtext(spec.heading)), nextRow(grid), 0, 1, 3);
        if (spec.kind == OptionKind::Choice) addChoiceRows(grid, spec, name);
        else addValueRow(grid, spec);
    }
    return group;
}

// A caption above the buttons when it has one, then a button per choice with the option that
// selects it beside it.
void COptionsDlg::addChoiceRows(QGridLayout* grid, const OptionSpec& spec, std::string_view group) {
    if (!spec.caption.empty() && qtext(spec.caption).compare(qtext(group), Qt::CaseInsensitive) != 0)
        grid->addWidget(new QLabel(qtext(spec.caption)), nextRow(grid), 0, 1, 3);
    for (size_t i = 0; i < spec.choices.size(); ++i) {
        const int row = nextRow(grid);
        grid->addWidget(makeChoice(spec.field, QString::fromStdString(spec.choices[i].caption)), row, 0);
        if (const OptionSpec* beside = besideChoice(spec, i)) {
            grid->addWidget(makeControl(*beside), row, 1);
            placed[slot(beside->field)] = true;
        }
    }
}

// A check box across the row, or a caption, the control and, for angles, the unit.
void COptionsDlg::addValueRow(QGridLayout* grid, const OptionSpec& spec) {
    const int row = nextRow(grid);
    if (spec.kind == OptionKind::Check) {
        grid->addWidget(makeControl(spec), row, 0, 1, 3);
        return;
    }
    grid->addWidget(new QLabel(qtext(spec.caption)), row, 0);
    grid->addWidget(makeControl(spec), row, 1);
    if (spec.kind == OptionKind::Angle) grid->addWidget(new QLabel(angleUnit), row, 2);
}

QWidget* COptionsDlg::makeControl(const OptionSpec& spec) {
    QWidget* control = nullptr;
    if (spec.kind == OptionKind::Check) {
        control = new QCheckBox(qtext(spec.caption));
    } else if (!spec.presets.empty()) {
        auto* combo = new QComboBox;
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        for (std::string_view preset : spec.presets) combo->addItem(qtext(preset));
        control = combo;
    } else {
        auto* edit = new QLineEdit;
        edit->setMinimumWidth(70);
        control = edit;
    }
    controls[slot(spec.field)] = control;
    return control;
}

QAbstractButton* COptionsDlg::makeChoice(OptionField group, const QString& caption) {
    QButtonGroup*& buttons = groups[slot(group)];
    if (buttons == nullptr) buttons = new QButtonGroup(this);
    auto* button = new QRadioButton(caption);
    buttons->addButton(button, static_cast<int>(buttons->buttons().size()));
    return button;
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

// Typing in an option that selects a choice or check (a width selects the width size mode,
// a crop angle switches automatic cropping off) does so at once, as the command line does.
void COptionsDlg::couple() {
    for (const OptionSpec& spec : optionTable()) {
        if (!spec.selects) continue;
        const OptionSpec& target = optionSpec(spec.selects->field);
        const std::string value(spec.selects->value);
        whenEdited(spec.field, [this, &target, value] {
            if (target.kind == OptionKind::Check) return setChecked(target.field, value == "true");
            for (size_t i = 0; i < target.choices.size(); ++i)
                if (target.choices[i].name == value) setChoice(target.field, static_cast<int>(i));
        });
    }
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
    if (const std::optional<FieldError> failure = takeOptions(*this, degrees, members)) {
        messageSink(QString::fromStdString(failure->message));
        if (QWidget* faulty = control(failure->field)) faulty->setFocus(Qt::OtherFocusReason);
        if (QLineEdit* line = edit(failure->field)) line->selectAll();
        return;
    }
    QDialog::accept();
}

}  // namespace vantorra
