// The real Options dialog driven offscreen: filling, typing, OK and Cancel.

#include "app/options_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include "app/mnemonics.h"
#include "pipeline/option_table.h"

namespace vantorra::testing {
namespace {

using F = OptionField;

class OptionsDlgTest : public ::testing::Test {
protected:
    // Runs the dialog as Edit::Options does, with `user` acting on it while it is open.
    bool runDialog(const std::function<void(COptionsDlg&)>& user) {
        dialog = std::make_unique<COptionsDlg>(options, nullptr,
                                               [this](const QString& text) { messages.push_back(text); });
        dialog->show();
        user(*dialog);
        if (dialog->result() != QDialog::Accepted || dialog->isVisible()) return false;
        return true;
    }
    bool okAndReadBack() {
        const bool registration = needsRegistration(options, dialog->values());
        options = dialog->values();
        registrationNeeded = registrationNeeded || registration;
        return registration;
    }
    static void type(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    StitchOptions options;
    bool registrationNeeded = false;
    std::vector<QString> messages;
    std::unique_ptr<COptionsDlg> dialog;
};

// Every option of the table is there with its plain caption and its tooltip; the literature's
// names are in the tooltips, never in a caption.
TEST_F(OptionsDlgTest, HasEveryGroupCaptionTooltipAndList) {
    COptionsDlg shown(options);
    EXPECT_EQ(shown.windowTitle(), "Options — Vantorra");
    QStringList groups;
    for (const QGroupBox* group : shown.findChildren<QGroupBox*>()) groups << group->title();
    QStringList captions, tooltips;
    for (const QLabel* label : shown.findChildren<QLabel*>()) captions << QString(label->text()).remove('&');
    for (const QAbstractButton* button : shown.findChildren<QAbstractButton*>())
        captions << QString(button->text()).remove('&');
    for (const QComboBox* list : shown.findChildren<QComboBox*>())  // a long list of choices
        for (int i = 0; i < list->count(); ++i) captions << list->itemText(i);
    for (const OptionSpec& spec : optionTable()) {
        SCOPED_TRACE(std::string(spec.key));
        EXPECT_TRUE(groups.contains(QString::fromUtf8(spec.group.data(), static_cast<int>(spec.group.size()))));
        const QWidget* control = shown.control(spec.field);
        ASSERT_NE(control, nullptr);
        EXPECT_FALSE(control->toolTip().isEmpty());
        tooltips << control->toolTip();
        if (spec.kind == OptionKind::Choice) {
            for (const OptionChoice& choice : spec.choices)
                EXPECT_TRUE(captions.contains(QString::fromStdString(choice.caption))) << choice.caption;
        }
    }
    for (const QString& caption : captions)
        for (const char* jargon : {"theta", "phi", "psi", "SIFT", "RANSAC", "alpha", "beta", "sigma"})
            EXPECT_FALSE(caption.contains(QRegularExpression(QString("\\b") + jargon + "\\b",
                                                             QRegularExpression::CaseInsensitiveOption)))
                << caption.toStdString();
    for (const char* jargon : {"theta", "phi", "psi", "SIFT", "RANSAC alpha", "RANSAC beta", "gain sigma"})
        EXPECT_TRUE(tooltips.filter(jargon, Qt::CaseInsensitive).size() > 0) << jargon;
    const QStringList percentages = {"100%", "50%", "25%", "10%"};
    for (F field : {F::ScaleText, F::FeatureScaleText}) {
        QStringList items;
        for (int i = 0; i < shown.combo(field)->count(); ++i) items << shown.combo(field)->itemText(i);
        EXPECT_EQ(items, percentages);
        EXPECT_TRUE(shown.combo(field)->isEditable());
    }
    QStringList memory;
    for (int i = 0; i < shown.combo(F::SystemMemoryText)->count(); ++i) memory << shown.combo(F::SystemMemoryText)->itemText(i);
    EXPECT_EQ(memory, (QStringList{"2.0", "1.0", "0.5", "0.25", "0.1"}));
    // Filled from the defaults.
    EXPECT_EQ(shown.edit(F::Width)->text(), "1400");
    EXPECT_EQ(shown.combo(F::ScaleText)->currentText(), "10%");
    EXPECT_EQ(shown.combo(F::SystemMemoryText)->currentText(), "0.25");
    EXPECT_EQ(shown.edit(F::ThetaMin)->text(), "-180");
    EXPECT_TRUE(shown.choiceButton(F::OutputSize, 0)->isChecked());
    EXPECT_TRUE(shown.choiceButton(F::Blending, 2)->isChecked());
    EXPECT_TRUE(shown.checkBox(F::AutoCrop)->isChecked());
}

// A field that only applies under a choice is enabled only while that choice holds.
TEST_F(OptionsDlgTest, DependentFieldsAreEnabledOnlyWhenTheyApply) {
    COptionsDlg shown(options);
    shown.show();
    struct Case {
        const char* what;
        std::function<void(COptionsDlg&)> set;
        std::vector<F> enabled, disabled;
    };
    const Case cases[] = {
        {"automatic crop", [](COptionsDlg& d) { d.setChecked(F::AutoCrop, true); }, {},
         {F::ThetaMin, F::ThetaMax, F::PhiMin, F::PhiMax}},
        {"manual crop", [](COptionsDlg& d) { d.checkBox(F::AutoCrop)->click(); },
         {F::ThetaMin, F::ThetaMax, F::PhiMin, F::PhiMax}, {}},
        {"linear blending", [](COptionsDlg& d) { d.choiceButton(F::Blending, 1)->click(); }, {},
         {F::BlendingBands, F::BlendingSigma}},
        {"multi-band blending", [](COptionsDlg& d) { d.choiceButton(F::Blending, 2)->click(); },
         {F::BlendingBands, F::BlendingSigma}, {}},
        {"no gain compensation", [](COptionsDlg& d) { d.setChecked(F::GainCompensation, false); }, {},
         {F::GainSigma, F::GainMean}},
        {"gain compensation", [](COptionsDlg& d) { d.checkBox(F::GainCompensation)->click(); },
         {F::GainSigma, F::GainMean}, {}},
        {"height", [](COptionsDlg& d) { d.choiceButton(F::OutputSize, 1)->click(); }, {F::Height},
         {F::Width, F::ScaleText}},
        {"feature scale", [](COptionsDlg& d) { d.choiceButton(F::FeatureSize, 1)->click(); }, {F::FeatureScaleText},
         {F::MinDim}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.set(shown);
        for (F field : c.enabled) EXPECT_TRUE(shown.control(field)->isEnabled());
        for (F field : c.disabled) {
            EXPECT_FALSE(shown.control(field)->isEnabled());
            if (QLabel* caption = shown.label(field)) {
                EXPECT_FALSE(caption->isEnabled());
            }
        }
    }
    for (F always : {F::OrientTheta, F::JpegQuality, F::Alpha, F::AutoStraighten}) EXPECT_TRUE(shown.control(always)->isEnabled());
    // Restore defaults enables what the defaults make apply.
    shown.restoreDefaultsButton()->click();
    EXPECT_TRUE(shown.control(F::Width)->isEnabled());
    EXPECT_FALSE(shown.control(F::ThetaMin)->isEnabled());
}

// Every button and labelled field reaches its control with Alt and a letter of its own: none
// clashes on a page, with the dialog's buttons or with the page tabs.
TEST_F(OptionsDlgTest, EveryButtonAndFieldHasAMnemonicOfItsOwn) {
    COptionsDlg shown(options);
    std::vector<std::string> always = {shown.okButton()->text().toStdString(), shown.cancelButton()->text().toStdString(),
                                       shown.restoreDefaultsButton()->text().toStdString()};
    for (int i = 0; i < shown.pages()->count(); ++i) always.push_back(shown.pages()->tabText(i).toStdString());
    for (int i = 0; i < shown.pages()->count(); ++i) {
        SCOPED_TRACE(shown.pages()->tabText(i).toStdString());
        std::vector<std::string> captions = always;
        const QWidget* page = shown.pages()->widget(i);
        for (const QAbstractButton* button : page->findChildren<QAbstractButton*>()) captions.push_back(button->text().toStdString());
        for (const QLabel* label : page->findChildren<QLabel*>())
            if (label->buddy() != nullptr) captions.push_back(label->text().toStdString());
        std::string seen;
        for (const std::string& caption : captions) {
            const char key = mnemonicOf(caption);
            EXPECT_NE(key, 0) << caption;
            EXPECT_EQ(seen.find(key), std::string::npos) << caption << " takes a letter already taken";
            seen += key;
        }
    }
    // Every field with a caption of its own has it as its label's buddy.
    for (const OptionSpec& spec : optionTable()) {
        if (QLabel* caption = shown.label(spec.field)) {
            EXPECT_EQ(caption->buddy(), shown.control(spec.field));
        }
    }
}

// Return means OK wherever the focus is, Restore defaults included.
TEST_F(OptionsDlgTest, ReturnIsOkEvenOnRestoreDefaults) {
    options.render.width = 640;
    ASSERT_TRUE(runDialog([](COptionsDlg& d) {
        d.restoreDefaultsButton()->setFocus();
        QTest::keyClick(d.restoreDefaultsButton(), Qt::Key_Return);
    }));
    EXPECT_EQ(dialog->values().render.width, 640);
    ASSERT_TRUE(runDialog([](COptionsDlg& d) { QTest::keyClick(d.edit(F::Width), Qt::Key_Return); }));
}

TEST_F(OptionsDlgTest, OkWithoutChangesChangesNothing) {
    const StitchOptions before = options;
    ASSERT_TRUE(runDialog([](COptionsDlg& d) { d.okButton()->click(); }));
    EXPECT_FALSE(okAndReadBack());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(options.render.width, before.render.width);
    EXPECT_EQ(options.render.scale, before.render.scale);
    EXPECT_EQ(options.ransac.beta, before.ransac.beta);
    EXPECT_EQ(options.systemMemory, before.systemMemory);
    EXPECT_EQ(options.render.blendingMethod, before.render.blendingMethod);
    EXPECT_NEAR(options.render.thetaMax, before.render.thetaMax, 1e-6f);
}

TEST_F(OptionsDlgTest, GainSigmaTakenWithGainCompensationWithoutRegistration) {
    ASSERT_TRUE(runDialog([](COptionsDlg& d) {
        EXPECT_FALSE(d.checkBox(F::GainCompensation)->isChecked());
        d.checkBox(F::GainCompensation)->click();
        type(d.edit(F::GainSigma), "0.3");
        d.okButton()->click();
    }));
    EXPECT_FALSE(okAndReadBack());
    EXPECT_TRUE(options.render.gainCompensation);
    EXPECT_FLOAT_EQ(options.render.gainSigma, 0.3f);
}

TEST_F(OptionsDlgTest, FiftyPercentSiftScaleNeedsRegistration) {
    ASSERT_TRUE(runDialog([](COptionsDlg& d) {
        d.choiceButton(F::FeatureSize, 1)->click();
        QComboBox* scale = d.combo(F::FeatureScaleText);
        scale->setCurrentIndex(1);
        EXPECT_FALSE(d.choiceButton(F::FeatureSize, 0)->isChecked());
        d.okButton()->click();
    }));
    EXPECT_TRUE(okAndReadBack());
    EXPECT_EQ(options.feature.siftScale, 0.5f);
    EXPECT_EQ(modeValue(options.feature.siftSizeMode), 1);
}

// A side below 2 pixels would write a useless picture over an earlier result, and one above
// what any format holds could only fail after the whole run.
TEST_F(OptionsDlgTest, OutOfRangeOutputSizesShowTheRangeAndKeepTheDialogOpen) {
    const QString expected =
        "Please enter an integer between 2 and 1048576. (a panorama side must be at least 2 pixels; a JPEG "
        "file holds at most 65500, a TIFF or PNG more)";
    const struct {
        F field;
        const char* text;
    } cases[] = {{F::Width, "0"}, {F::Width, "1"}, {F::Width, "1048577"}, {F::Width, "2000000"},
                 {F::Height, "0"}, {F::Height, "10000000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        messages.clear();
        const StitchOptions before = options;
        EXPECT_FALSE(runDialog([&c](COptionsDlg& d) {
            d.choiceButton(F::OutputSize, c.field == F::Width ? 0 : 1)->click();
            type(d.edit(c.field), c.text);
            d.okButton()->click();
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(d.focusWidget(), d.edit(c.field));
        }));
        EXPECT_EQ(messages, std::vector<QString>{expected});
        EXPECT_TRUE(dialog->values() == before);
        EXPECT_TRUE(dialog->pages()->currentWidget()->isAncestorOf(dialog->edit(c.field)));
    }
    // The bounds themselves are accepted.
    for (const char* text : {"2", "1048576"}) {
        messages.clear();
        EXPECT_TRUE(runDialog([text](COptionsDlg& d) {
            type(d.edit(F::Width), text);
            d.okButton()->click();
        }));
        EXPECT_TRUE(messages.empty()) << text;
    }
}

TEST_F(OptionsDlgTest, BadTextsGiveTheirMessagesInExchangeOrder) {
    runDialog([](COptionsDlg& d) {
        type(d.edit(F::BlendingSigma), "soft");
        type(d.edit(F::MinDim), "1.5");
        d.okButton()->click();
        EXPECT_EQ(d.focusWidget(), d.edit(F::MinDim));
        type(d.edit(F::MinDim), "300");
        d.okButton()->click();
        EXPECT_EQ(d.focusWidget(), d.edit(F::BlendingSigma));
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_EQ(messages, (std::vector<QString>{"Please enter an integer.", "Please enter a number."}));
}

TEST_F(OptionsDlgTest, CancelAfterEditsChangesNothing) {
    EXPECT_FALSE(runDialog([](COptionsDlg& d) {
        type(d.edit(F::Width), "640");
        type(d.edit(F::Alpha), "3");
        d.cancelButton()->click();
    }));
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(options.render.width, StitchOptions{}.render.width);
    EXPECT_EQ(options.ransac.alpha, StitchOptions{}.ransac.alpha);
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace vantorra::testing

namespace vantorra::testing {
namespace {

TEST(OptionsDlgDefaultsTest, RestoreDefaultsFillsTheBuiltInValuesAndOnlyOkTakesThem) {
    StitchOptions changed;
    changed.render.width = 640;
    changed.render.blendingMethod = "none";
    changed.ransac.alpha = 3.0f;
    changed.render.gainCompensation = true;
    const StitchOptions defaults;
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        COptionsDlg dialog(changed, nullptr, [](const QString&) {});
        dialog.show();
        ASSERT_NE(dialog.restoreDefaultsButton(), nullptr);
        EXPECT_EQ(dialog.restoreDefaultsButton()->text(), "&Restore defaults");
        dialog.restoreDefaultsButton()->click();
        EXPECT_EQ(dialog.edit(OptionField::Width)->text(), "1400");
        EXPECT_EQ(dialog.edit(OptionField::Alpha)->text(), "10");
        EXPECT_EQ(dialog.choice(OptionField::Blending), 2);
        EXPECT_FALSE(dialog.checked(OptionField::GainCompensation));
        (ok ? dialog.okButton() : dialog.cancelButton())->click();
        EXPECT_TRUE(dialog.values() == (ok ? defaults : changed));
    }
}

TEST(OptionsDlgDefaultsTest, AngleFieldsShowTheirUnit) {
    for (const bool degrees : {true, false}) {
        COptionsDlg dialog(StitchOptions{}, nullptr, {}, std::nullopt, degrees);
        int units = 0;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) units += label->text() == (degrees ? "°" : "rad");
        EXPECT_EQ(units, 7) << degrees;  // four crop limits and three orientation angles
    }
}

}  // namespace
}  // namespace vantorra::testing
