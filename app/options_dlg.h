#pragma once
// The Options dialog: every option of the option table, in the table's groups. Filling and
// reading back go through options_exchange; the dialog adds the widgets, the coupled controls and
// the checks on OK.

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "app/options_exchange.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QGridLayout;
class QGroupBox;

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

    // The controls, for the tests and the coupling.
    QLineEdit* edit(OptionField field) const;
    QComboBox* combo(OptionField field) const;
    QCheckBox* checkBox(OptionField field) const;
    QAbstractButton* choiceButton(OptionField group, int index) const;
    QWidget* control(OptionField field) const;
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
    QGroupBox* makeGroup(std::string_view name);
    void addValueRow(QGridLayout* grid, const OptionSpec& spec);
    void addChoiceRows(QGridLayout* grid, const OptionSpec& spec, std::string_view group);
    QWidget* makeControl(const OptionSpec& spec);
    QAbstractButton* makeChoice(OptionField group, const QString& caption);
    void couple();
    void whenEdited(OptionField field, const std::function<void()>& action);

    std::array<QWidget*, kOptionFieldCount> controls{};
    std::array<QButtonGroup*, kOptionFieldCount> groups{};
    StitchOptions members;
    StitchOptions defaults;
    bool degrees;
    QString angleUnit;
    std::array<bool, kOptionFieldCount> placed{};  // laid out already, beside the choice it selects
    MessageSink messageSink;
    QAbstractButton* ok = nullptr;
    QAbstractButton* cancel = nullptr;
    QAbstractButton* restore = nullptr;
};

}  // namespace vantorra
