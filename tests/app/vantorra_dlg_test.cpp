// The main window with a recording engine: menu, caption, status line, message boxes through the
// Qt platform, commands disabled during a run and a close that waits for the run.

#include "app/vantorra_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/qt_platform.h"
#include "app_fakes.h"
#include "app_test_dir.h"
#include "window_thread.h"

namespace vantorra::testing {
namespace {

// Closes the next message box as soon as it is shown and keeps its text.
void answerNextMessage(std::vector<QString>& texts) {
    QTimer::singleShot(0, [&texts] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        texts.push_back(box->text());
        box->accept();
    });
}

class VantorraDlgTest : public InTempDirectory {
protected:
    void SetUp() override {
        InTempDirectory::SetUp();
        auto fake = std::make_unique<FakeEngine>();
        engine = fake.get();
        window = std::make_unique<CVantorraDlg>(std::move(fake));
        window->show();
    }
    void TearDown() override {
        window.reset();
        InTempDirectory::TearDown();
    }
    FakeEngine* engine = nullptr;
    std::unique_ptr<CVantorraDlg> window;
};

TEST_F(VantorraDlgTest, HasCaptionMenuAndStatusLine) {
    EXPECT_EQ(window->windowTitle(), "Vantorra");
    EXPECT_EQ(window->statusText(), "Select File::Open to begin");
    const std::pair<const char*, const char*> commands[] = {
        {"File", "Open"}, {"File", "Exit"}, {"Edit", "Options"}, {"Stitch", "Start"}, {"Help", "About"}};
    for (const auto& [menu, item] : commands) {
        ASSERT_NE(window->action(menu, item), nullptr) << menu << "::" << item;
        EXPECT_TRUE(window->action(menu, item)->isEnabled());
    }
}

TEST_F(VantorraDlgTest, StitchStartWithoutImagesShowsTheMessage) {
    std::vector<QString> messages;
    answerNextMessage(messages);
    window->action("Stitch", "Start")->trigger();
    EXPECT_EQ(messages, std::vector<QString>{"Use File::Open to select images first"});
    EXPECT_TRUE(window->isVisible());
}

TEST_F(VantorraDlgTest, RunDisablesCommandsAndExitCancelsItThenCloses) {
    engine->state.takeCameras("", FakeEngine::photographsOf({"/photos/a.jpg", "/photos/b.jpg"}), {}, {});
    engine->setCamerasValid(false);
    std::vector<QString> messages;
    bool openEnabled = true, startEnabled = true, optionsEnabled = true, aboutEnabled = false;
    bool visibleAfterExit = false;
    QString statusDuringRun;
    engine->duringRun = [&] {
        onWindowThread([&] {
            openEnabled = window->action("File", "Open")->isEnabled();
            startEnabled = window->action("Stitch", "Start")->isEnabled();
            optionsEnabled = window->action("Edit", "Options")->isEnabled();
            aboutEnabled = window->action("Help", "About")->isEnabled();
            statusDuringRun = window->statusText();
            window->action("File", "Exit")->trigger();
            visibleAfterExit = window->isVisible();
            answerNextMessage(messages);
        });
    };
    window->action("Stitch", "Start")->trigger();
    EXPECT_FALSE(openEnabled);
    EXPECT_FALSE(startEnabled);
    EXPECT_FALSE(optionsEnabled);
    EXPECT_TRUE(aboutEnabled);
    EXPECT_EQ(statusDuringRun, "Stitching 2 photographs…");
    EXPECT_TRUE(visibleAfterExit);
    // The exit cancelled the run: no panorama, no message, and the window closed after it.
    EXPECT_TRUE(engine->cancelled());
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(std::filesystem::exists("pano.jpg"));
    EXPECT_TRUE(window->statusText().startsWith("Stitching cancelled"));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(VantorraDlgTest, FileDialogStartsInImagesTestWhenThereAndChoosingEntersTheFolder) {
    const QString here = QDir::currentPath();
    EXPECT_EQ(QString::fromStdString(fileDialogStart("images/test")), here);
    touch("images/test/a.jpg");
    EXPECT_EQ(QString::fromStdString(fileDialogStart("images/test")), here + "/images/test");
    ASSERT_TRUE(enterFolderOf(path("images/test/a.jpg")));
    EXPECT_EQ(QDir::currentPath(), here + "/images/test");
}

// The work goes on another thread while the window's events are handled; what it throws comes
// back to the caller instead of ending the program.
TEST(QtPlatformTest, BackgroundWorkRunsOffTheWindowThreadAndItsFailureComesBack) {
    QWidget owner;
    QtPlatform platform(&owner, {});
    std::thread::id workedOn;
    bool eventHandled = false;
    QTimer::singleShot(0, [&] { eventHandled = true; });
    platform.runInBackground([&] {
        workedOn = std::this_thread::get_id();
        // Waits for the window's thread to handle the timer: that thread must not be blocked.
        for (int i = 0; i < 500 && !eventHandled; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    EXPECT_NE(workedOn, std::this_thread::get_id());
    EXPECT_TRUE(eventHandled);
    EXPECT_THROW(platform.runInBackground([] { throw std::runtime_error("disk gone"); }), std::runtime_error);
}

}  // namespace
}  // namespace vantorra::testing
