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
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>

#include "app/mnemonics.h"

namespace vantorra {

namespace {

size_t slot(OptionField field) { return static_cast<size_t>(field); }

void plainMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, "Vantorra", text, QMessageBox::Ok, parent);
    box.exec();
}

// The first free row (an empty grid still counts one row).
int nextRow(const QGridLayout* grid) { return grid->count() == 0 ? 0 : grid->rowCount(); }

QString qtext(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

struct Page {
    std::string_view title;
    std::vector<std::string_view> groups;
};

// The table's groups on their pages: the panorama's shape, how it is drawn and written, and how
// the photographs are matched; a group the pages do not name gets a page of its own.
std::vector<Page> pagesOfGroups() {
    std::vector<Page> pages = {
        {"Panorama", {"Output Size", "Crop Settings", "Orientation Settings", "Image Rotation"}},
        {"Rendering", {"Rendering Options", "Other Options"}},
        {"Matching", {"Matching Options"}},
    };
    for (const OptionSpec& spec : optionTable()) {
        const bool known = std::any_of(pages.begin(), pages.end(), [&](const Page& page) {
            return std::find(page.groups.begin(), page.groups.end(), spec.group) != page.groups.end();
        });
        if (!known) pages.push_back({spec.group, {spec.group}});
    }
    return pages;
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

void setCaption(QWidget* widget, const QString& caption) {
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(caption);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(caption);
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
    setWindowTitle("Options — Vantorra");
    setModal(true);
    if (!messageSink) messageSink = [this](const QString& text) { plainMessage(this, text); };

    tabs = new QTabWidget(this);
    std::vector<std::string> titles;
    for (const Page& page : pagesOfGroups()) {
        captioned.emplace_back();
        tabs->addTab(makePage(page.groups), QString());
        titles.emplace_back(page.title);
    }

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    cancel = buttons->button(QDialogButtonBox::Cancel);
    restore = buttons->button(QDialogButtonBox::RestoreDefaults);
    ok->setText("&OK");
    cancel->setText("&Cancel");
    restore->setText("&Restore defaults");
    // Return means OK wherever the focus is, also on Restore defaults or Cancel.
    for (QAbstractButton* button : {cancel, restore}) static_cast<QPushButton*>(button)->setAutoDefault(false);
    static_cast<QPushButton*>(ok)->setDefault(true);
    // Only the controls change; Cancel still leaves every option as it was.
    connect(restore, &QAbstractButton::clicked, this, [this] {
        showOptions(defaults, degrees, *this);
        updateEnabled();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionsDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);

    std::string taken = "ocr";  // OK, Cancel, Restore defaults
    const std::vector<std::string> marked = withMnemonics(titles, taken);
    for (size_t i = 0; i < marked.size(); ++i) tabs->setTabText(static_cast<int>(i), QString::fromStdString(marked[i]));
    markMnemonics(taken);
    showOptions(members, degrees, *this);
    updateEnabled();
}

// The groups of a page in two columns, shared out in order.
QWidget* COptionsDlg::makePage(const std::vector<std::string_view>& names) {
    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    const size_t columnCount = names.size() > 1 ? 2 : 1;
    std::vector<QVBoxLayout*> columns;
    for (size_t c = 0; c < columnCount; ++c) columns.push_back(new QVBoxLayout);
    for (size_t g = 0; g < names.size(); ++g) columns[g * columnCount / names.size()]->addWidget(makeGroup(names[g]));
    for (QVBoxLayout* column : columns) {
        column->addStretch();
        row->addLayout(column);
    }
    return page;
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
    if (spec.choices.size() > kMostChoiceButtons) {
        addChoiceList(grid, spec);
        return;
    }
    if (!spec.caption.empty() && qtext(spec.caption).compare(qtext(group), Qt::CaseInsensitive) != 0) {
        auto* caption = new QLabel(qtext(spec.caption));
        caption->setToolTip(qtext(spec.tooltip));
        grid->addWidget(caption, nextRow(grid), 0, 1, 3);
    }
    for (size_t i = 0; i < spec.choices.size(); ++i) {
        const int row = nextRow(grid);
        grid->addWidget(makeChoice(spec, QString::fromStdString(spec.choices[i].caption)), row, 0);
        if (const OptionSpec* beside = besideChoice(spec, i)) {
            grid->addWidget(makeControl(*beside), row, 1);
            placed[slot(beside->field)] = true;
        }
    }
}

// A long list of choices: its caption and a drop-down list of them (no choice of such a list
// has an option beside it).
void COptionsDlg::addChoiceList(QGridLayout* grid, const OptionSpec& spec) {
    const int row = nextRow(grid);
    auto* caption = new QLabel(qtext(spec.caption));
    caption->setToolTip(qtext(spec.tooltip));
    auto* list = new QComboBox;
    for (const OptionChoice& choice : spec.choices) list->addItem(QString::fromStdString(choice.caption));
    list->setToolTip(qtext(spec.tooltip));
    connect(list, &QComboBox::currentIndexChanged, this, &COptionsDlg::updateEnabled);
    caption->setBuddy(list);
    controls[slot(spec.field)] = list;
    labels[slot(spec.field)] = caption;
    captioned.back().push_back({caption, std::string(spec.caption)});
    grid->addWidget(caption, row, 0);
    grid->addWidget(list, row, 1, 1, 2);
}

// A check box across the row, or a caption, the control and, for angles, the unit.
void COptionsDlg::addValueRow(QGridLayout* grid, const OptionSpec& spec) {
    const int row = nextRow(grid);
    if (spec.kind == OptionKind::Check) {
        grid->addWidget(makeControl(spec), row, 0, 1, 3);
        return;
    }
    auto* caption = new QLabel(qtext(spec.caption));
    caption->setToolTip(qtext(spec.tooltip));
    QWidget* field = makeControl(spec);
    caption->setBuddy(field);
    labels[slot(spec.field)] = caption;
    captioned.back().push_back({caption, std::string(spec.caption)});
    grid->addWidget(caption, row, 0);
    grid->addWidget(field, row, 1);
    if (spec.kind == OptionKind::Angle) grid->addWidget(new QLabel(angleUnit), row, 2);
}

QWidget* COptionsDlg::makeControl(const OptionSpec& spec) {
    QWidget* control = nullptr;
    if (spec.kind == OptionKind::Check) {
        auto* box = new QCheckBox(qtext(spec.caption));
        captioned.back().push_back({box, std::string(spec.caption)});
        connect(box, &QCheckBox::toggled, this, &COptionsDlg::updateEnabled);
        control = box;
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
    control->setToolTip(qtext(spec.tooltip));
    controls[slot(spec.field)] = control;
    return control;
}

QAbstractButton* COptionsDlg::makeChoice(const OptionSpec& spec, const QString& caption) {
    QButtonGroup*& buttons = groups[slot(spec.field)];
    if (buttons == nullptr) {
        buttons = new QButtonGroup(this);
        connect(buttons, &QButtonGroup::idToggled, this, [this](int, bool on) {
            if (on) updateEnabled();
        });
    }
    auto* button = new QRadioButton(caption);
    button->setToolTip(qtext(spec.tooltip));
    buttons->addButton(button, static_cast<int>(buttons->buttons().size()));
    captioned.back().push_back({button, caption.toStdString()});
    return button;
}

// The pages' captions: mnemonics unique on each page and against the buttons and page tabs,
// which are always there.
void COptionsDlg::markMnemonics(std::string taken) {
    for (const std::vector<Captioned>& page : captioned) {
        std::vector<std::string> captions;
        for (const Captioned& each : page) captions.push_back(each.caption);
        std::string pageTaken = taken;
        const std::vector<std::string> marked = withMnemonics(captions, pageTaken);
        for (size_t i = 0; i < page.size(); ++i) setCaption(page[i].widget, QString::fromStdString(marked[i]));
    }
}

bool COptionsDlg::selectionHolds(const OptionSelects& selects) const {
    const OptionSpec& target = optionSpec(selects.field);
    if (target.kind == OptionKind::Check) return checked(target.field) == (selects.value == "true");
    const int index = choice(target.field);
    return index >= 0 && static_cast<size_t>(index) < target.choices.size() &&
           target.choices[static_cast<size_t>(index)].name == selects.value;
}

void COptionsDlg::updateEnabled() {
    for (const OptionSpec& spec : optionTable()) {
        if (!spec.selects) continue;
        const bool applies = selectionHolds(*spec.selects);
        if (QWidget* field = controls[slot(spec.field)]) field->setEnabled(applies);
        if (QLabel* caption = labels[slot(spec.field)]) caption->setEnabled(applies);
    }
}

QLineEdit* COptionsDlg::edit(OptionField field) const { return qobject_cast<QLineEdit*>(controls[slot(field)]); }
QComboBox* COptionsDlg::combo(OptionField field) const { return qobject_cast<QComboBox*>(controls[slot(field)]); }
QCheckBox* COptionsDlg::checkBox(OptionField field) const { return qobject_cast<QCheckBox*>(controls[slot(field)]); }
QLabel* COptionsDlg::label(OptionField field) const { return labels[slot(field)]; }

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
    if (const QComboBox* list = combo(field)) return list->currentIndex();
    const QButtonGroup* buttons = groups[slot(field)];
    return buttons != nullptr ? buttons->checkedId() : -1;
}

void COptionsDlg::setChoice(OptionField field, int index) {
    if (QComboBox* list = combo(field)) list->setCurrentIndex(index);
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
// with that control focused (its page shown), and no member changes.
void COptionsDlg::accept() {
    if (const std::optional<FieldError> failure = takeOptions(*this, degrees, members)) {
        messageSink(QString::fromStdString(failure->message));
        if (QWidget* faulty = control(failure->field)) {
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->widget(i)->isAncestorOf(faulty)) tabs->setCurrentIndex(i);
            faulty->setFocus(Qt::OtherFocusReason);
        }
        if (QLineEdit* line = edit(failure->field)) line->selectAll();
        return;
    }
    QDialog::accept();
}

}  // namespace vantorra
