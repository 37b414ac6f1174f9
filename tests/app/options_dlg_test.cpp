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
#include <QTest>

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

TEST_F(OptionsDlgTest, HasEveryGroupCaptionAndList) {
    COptionsDlg shown(options);
    EXPECT_EQ(shown.windowTitle(), "Options");
    QStringList groups;
    for (const QGroupBox* group : shown.findChildren<QGroupBox*>()) groups << group->title();
    for (const char* title : {"Output Size", "Crop Settings", "Orientation Settings", "Image Rotation",
                              "Rendering Options", "Matching Options", "Other Options"}) {
        EXPECT_TRUE(groups.contains(title)) << title;
    }
    QStringList captions;
    for (const QLabel* label : shown.findChildren<QLabel*>()) captions << label->text();
    for (const QAbstractButton* button : shown.findChildren<QAbstractButton*>()) captions << button->text();
    for (const char* caption :
         {"Width (pixels)", "Height (pixels)", "Scale (%)", "Auto Crop", "Manual crop settings:", "Theta min",
          "Theta max", "Phi min", "Phi max", "Auto Straighten", "Manual orientation settings:", "Theta", "Phi",
          "Psi", "None", "Clockwise", "Anticlockwise", "Upside Down", "Blending Method:", "Linear", "Multi-Band",
          "Multi-Band blending options:", "Blending bands", "Blending sigma", "Gain Compensation", "Gain sigma",
          "Gain mean", "SIFT Image Size:", "Min dim (pixels)", "RANSAC Parameters:", "Alpha", "Beta",
          "Max iterations", "System Memory (GB)", "JPEG Quality"}) {
        EXPECT_TRUE(captions.contains(caption)) << caption;
    }
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
    for (QWidget* widget : shown.findChildren<QWidget*>()) EXPECT_TRUE(widget->isEnabled());
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

TEST_F(OptionsDlgTest, GainSigmaChecksGainCompensationWithoutRegistration) {
    ASSERT_TRUE(runDialog([](COptionsDlg& d) {
        EXPECT_FALSE(d.checkBox(F::GainCompensation)->isChecked());
        type(d.edit(F::GainSigma), "0.3");
        EXPECT_TRUE(d.checkBox(F::GainCompensation)->isChecked());
        d.okButton()->click();
    }));
    EXPECT_FALSE(okAndReadBack());
    EXPECT_TRUE(options.render.gainCompensation);
    EXPECT_FLOAT_EQ(options.render.gainSigma, 0.3f);
}

TEST_F(OptionsDlgTest, FiftyPercentSiftScaleChecksScaleAndNeedsRegistration) {
    ASSERT_TRUE(runDialog([](COptionsDlg& d) {
        QComboBox* scale = d.combo(F::FeatureScaleText);
        scale->setCurrentIndex(1);
        emit scale->activated(1);  // what choosing an entry of the list sends
        EXPECT_TRUE(d.choiceButton(F::FeatureSize, 1)->isChecked());
        EXPECT_FALSE(d.choiceButton(F::FeatureSize, 0)->isChecked());
        d.okButton()->click();
    }));
    EXPECT_TRUE(okAndReadBack());
    EXPECT_EQ(options.feature.siftScale, 0.5f);
    EXPECT_EQ(modeValue(options.feature.siftSizeMode), 1);
}

TEST_F(OptionsDlgTest, TypingSelectsTheChoiceItBelongsTo) {
    runDialog([](COptionsDlg& d) {
        type(d.edit(F::Height), "900");
        EXPECT_TRUE(d.choiceButton(F::OutputSize, 1)->isChecked());
        QTest::keyClicks(d.combo(F::ScaleText)->lineEdit(), "5");
        EXPECT_TRUE(d.choiceButton(F::OutputSize, 2)->isChecked());
        type(d.edit(F::Width), "800");
        EXPECT_TRUE(d.choiceButton(F::OutputSize, 0)->isChecked());
        EXPECT_FALSE(d.choiceButton(F::OutputSize, 1)->isChecked());
        d.choiceButton(F::Blending, 0)->click();
        type(d.edit(F::BlendingBands), "4");
        EXPECT_TRUE(d.choiceButton(F::Blending, 2)->isChecked());
        d.choiceButton(F::Blending, 1)->click();
        type(d.edit(F::BlendingSigma), "3");
        EXPECT_TRUE(d.choiceButton(F::Blending, 2)->isChecked());
        QTest::keyClicks(d.combo(F::FeatureScaleText)->lineEdit(), "%");
        EXPECT_TRUE(d.choiceButton(F::FeatureSize, 1)->isChecked());
        type(d.edit(F::MinDim), "300");
        EXPECT_TRUE(d.choiceButton(F::FeatureSize, 0)->isChecked());
        for (F crop : {F::ThetaMin, F::ThetaMax, F::PhiMin, F::PhiMax}) {
            d.checkBox(F::AutoCrop)->setChecked(true);
            type(d.edit(crop), "10");
            EXPECT_FALSE(d.checkBox(F::AutoCrop)->isChecked());
        }
        d.checkBox(F::GainCompensation)->setChecked(false);
        type(d.edit(F::GainMean), "0.9");
        EXPECT_TRUE(d.checkBox(F::GainCompensation)->isChecked());
    });
}

// A side below 2 pixels would write a useless picture over an earlier result, and one above
// what a JPEG file holds could only fail after the whole run.
TEST_F(OptionsDlgTest, OutOfRangeOutputSizesShowTheRangeAndKeepTheDialogOpen) {
    const QString expected =
        "Please enter an integer between 2 and 65500. (a panorama side must be at least 2 pixels, and a "
        "JPEG file holds at most 65500)";
    const struct {
        F field;
        const char* text;
    } cases[] = {{F::Width, "0"}, {F::Width, "1"}, {F::Width, "65501"}, {F::Width, "200000"},
                 {F::Height, "0"}, {F::Height, "100000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        messages.clear();
        const StitchOptions before = options;
        EXPECT_FALSE(runDialog([&c](COptionsDlg& d) {
            type(d.edit(c.field), c.text);
            d.okButton()->click();
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(d.focusWidget(), d.edit(c.field));
        }));
        EXPECT_EQ(messages, std::vector<QString>{expected});
        EXPECT_TRUE(dialog->values() == before);
    }
    // The bounds themselves are accepted.
    for (const char* text : {"2", "65500"}) {
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
