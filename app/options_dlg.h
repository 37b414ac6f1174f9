#pragma once
// The Options dialog: every option of the option table, in the table's groups on three pages,
// each with the table's plain caption and tooltip and a mnemonic of its own. Filling and reading
// back go through options_exchange; the dialog adds the widgets, the enabling of the fields that
// apply only under a choice (the table's `selects`) and the checks on OK, its default button.

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/options_exchange.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QGridLayout;
class QGroupBox;
class QTabWidget;

namespace vantorra {

class COptionsDlg : public QDialog, public OptionsControls {
    Q_OBJECT
public:
    // Shows a validation message; the default is a plain message box over the dialog.
    using MessageSink = std::function<void(const QString&)>;

    // "Restore defaults" shows `defaultOptions` (the built-in options when not given); angles are
    // shown and labelled in degrees or radians.
    explicit COptionsDlg(const StitchOptions& options, QWidget* parent = nullptr, MessageSink sink = {},
                         std::optional<StitchOptions> defaultOptions = std::nullopt, bool anglesInDegrees = true);

    // The options as read back by the last successful OK (the ones shown before that).
    const StitchOptions& values() const { return members; }

    // The controls, for the tests.
    QLineEdit* edit(OptionField field) const;
    QComboBox* combo(OptionField field) const;
    QCheckBox* checkBox(OptionField field) const;
    QAbstractButton* choiceButton(OptionField group, int index) const;
    QWidget* control(OptionField field) const;
    // The label in front of a field (none for check boxes and the fields beside a choice).
    QLabel* label(OptionField field) const;
    QTabWidget* pages() const { return tabs; }
    QAbstractButton* okButton() const { return ok; }
    QAbstractButton* cancelButton() const { return cancel; }
    QAbstractButton* restoreDefaultsButton() const { return restore; }

    // OptionsControls
    std::string text(OptionField field) const override;
    void setText(OptionField field, const std::string& text) override;
    int choice(OptionField field) const override;
    void setChoice(OptionField field, int index) override;
    bool checked(OptionField field) const override;
    void setChecked(OptionField field, bool on) override;

public slots:
    void accept() override;

private:
    // A caption that gets its mnemonic once its page is complete.
    struct Captioned {
        QWidget* widget;  // a QLabel (with its buddy) or a button
        std::string caption;
    };
    QWidget* makePage(const std::vector<std::string_view>& groups);
    QGroupBox* makeGroup(std::string_view name);
    void addValueRow(QGridLayout* grid, const OptionSpec& spec);
    // Choices beyond this many are a drop-down list, not a button each.
    static constexpr size_t kMostChoiceButtons = 5;
    void addChoiceRows(QGridLayout* grid, const OptionSpec& spec, std::string_view group);
    void addChoiceList(QGridLayout* grid, const OptionSpec& spec);
    QWidget* makeControl(const OptionSpec& spec);
    QAbstractButton* makeChoice(const OptionSpec& spec, const QString& caption);
    void markMnemonics(std::string taken);
    // Enables each field whose choice holds; called whenever a choice or check changes.
    void updateEnabled();
    bool selectionHolds(const OptionSelects& selects) const;

    std::array<QWidget*, kOptionFieldCount> controls{};
    std::array<QLabel*, kOptionFieldCount> labels{};
    std::array<QButtonGroup*, kOptionFieldCount> groups{};
    StitchOptions members;
    StitchOptions defaults;
    bool degrees;
    QString angleUnit;
    std::array<bool, kOptionFieldCount> placed{};  // laid out already, beside the choice it selects
    std::vector<std::vector<Captioned>> captioned;   // per page
    MessageSink messageSink;
    QTabWidget* tabs = nullptr;
    QAbstractButton* ok = nullptr;
    QAbstractButton* cancel = nullptr;
    QAbstractButton* restore = nullptr;
};

}  // namespace vantorra
