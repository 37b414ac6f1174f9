// The main window around a run, offscreen, with a recording engine: the preview and the
// photograph list after a run, Cancel in the status window, Esc, dropped files, shortcuts and
// the settings kept between starts.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/app_settings.h"
#include "app/mnemonics.h"
#include "app/panorama_view.h"
#include "app/result_panel.h"
#include "app/status_dlg.h"
#include "app/vantorra_dlg.h"
#include "app_fakes.h"
#include "app_test_dir.h"
#include "window_thread.h"

namespace vantorra::testing {
namespace {

namespace fs = std::filesystem;

// A panorama whose left half is red and right half blue.
Image twoColourPanorama(int rows, int cols) {
    Image image;
    image.allocate(rows, cols, 3);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) image.at(r, c, c < cols / 2 ? 0 : 2) = 230;
    return image;
}

class MainWindowTest : public InTempDirectory {
protected:
    void SetUp() override {
        InTempDirectory::SetUp();
        makeWindow(nullptr);
    }
    void TearDown() override {
        window.reset();
        InTempDirectory::TearDown();
    }
    void makeWindow(std::unique_ptr<QSettings> settings) {
        window.reset();
        auto fake = std::make_unique<FakeEngine>();
        engine = fake.get();
        window = std::make_unique<CVantorraDlg>(std::move(fake), nullptr, std::move(settings));
        window->show();
    }
    std::vector<std::string> threeImages() { return {touch("R.jpg"), touch("P.jpg"), touch("Q.jpg")}; }
    void openThree() { window->commands().openFiles(threeImages()); }

    FakeEngine* engine = nullptr;
    std::unique_ptr<CVantorraDlg> window;
};

TEST_F(MainWindowTest, OpensAtAUsableSizeAndResizes) {
    EXPECT_GE(window->width(), 900);
    EXPECT_GE(window->height(), 600);
    window->resize(1300, 800);
    EXPECT_EQ(window->size(), QSize(1300, 800));
    EXPECT_FALSE(window->resultPanel()->view()->hasPanorama());
}

TEST_F(MainWindowTest, ThePreviewShowsTheWrittenPanoramaFittedAndAtFullSize) {
    engine->panorama = twoColourPanorama(300, 1200);
    openThree();
    ASSERT_TRUE(fs::exists(folder / "pano.jpg"));
    PanoramaView* view = window->resultPanel()->view();
    ASSERT_TRUE(view->hasPanorama());
    EXPECT_TRUE(view->fitting());
    EXPECT_LT(view->zoom(), 1.0);  // 1200 pixels do not fit the preview area

    const QImage shot = view->viewport()->grab().toImage();
    const int middle = shot.height() / 2;
    const QColor left = shot.pixelColor(shot.width() / 2 - shot.width() / 5, middle);
    const QColor right = shot.pixelColor(shot.width() / 2 + shot.width() / 5, middle);
    EXPECT_GT(left.red(), 180);
    EXPECT_LT(left.blue(), 60);
    EXPECT_GT(right.blue(), 180);
    EXPECT_LT(right.red(), 60);

    // At 100 % one pixel of the panorama is one pixel on screen, read from the file, and the view
    // can be panned.
    view->actualSize();
    EXPECT_FALSE(view->fitting());
    EXPECT_EQ(view->zoom(), 1.0);
    EXPECT_EQ(view->panoramaSize(), QSize(1200, 300));
    EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 100));
    QTest::mouseMove(view->viewport(), QPoint(100, 100));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    EXPECT_EQ(view->horizontalScrollBar()->value(), 100);
    EXPECT_EQ(view->visibleRegion().left(), 100);
    EXPECT_TRUE(QTest::qWaitFor([view] { return view->showsFileRegion(); }, 5000));
    EXPECT_GT(view->filePixel(QPoint(300, 150)).red(), 180);
    EXPECT_GT(view->filePixel(QPoint(900, 150)).blue(), 180);
    const QImage atFull = view->viewport()->grab().toImage();
    EXPECT_GT(atFull.pixelColor(100, view->visibleRegion().height() / 2).red(), 180);  // panorama column 200

    const ResultPanel* panel = window->resultPanel();
    EXPECT_EQ(panel->pathLabel()->text(), QString::fromStdString(path("pano.jpg")));
    EXPECT_EQ(panel->sizeLabel()->text(), "1200 × 300, 25 % of full resolution (4800 × 1200)");
    EXPECT_TRUE(panel->openViewerButton()->isEnabled());
    EXPECT_TRUE(window->action("Stitch", "Render at Full Resolution")->isEnabled());
    EXPECT_EQ(window->windowTitle(), "pano.jpg — Vantorra");
}

// A reason is read in full, in the list's own colour, and in the tooltip too.
TEST_F(MainWindowTest, ThePhotographListMarksTheOneLeftOut) {
    engine->leftOut = 0;
    openThree();
    QListWidget* list = window->resultPanel()->photographList();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "P.jpg\nleft out: no overlap with the other photographs");
    EXPECT_EQ(list->item(0)->toolTip(),
              QString::fromStdString(path("P.jpg")) + "\nleft out: no overlap with the other photographs");
    EXPECT_FALSE(list->item(0)->data(ResultPanel::kUsedRole).toBool());
    for (int i : {1, 2}) {
        EXPECT_TRUE(list->item(i)->data(ResultPanel::kUsedRole).toBool()) << i;
        EXPECT_TRUE(list->item(i)->text().endsWith("\nused")) << i;
        EXPECT_FALSE(list->item(i)->icon().isNull());
    }
    EXPECT_EQ(list->item(0)->foreground().color(), list->item(1)->foreground().color());
    EXPECT_TRUE(list->wordWrap());
    EXPECT_EQ(list->textElideMode(), Qt::ElideNone);
    EXPECT_EQ(window->statusText(), QString::fromStdString("Panorama 3 × 2 written to " + path("pano.jpg") +
                                                           ": 2 of 3 photographs, 1 left out"));
}

TEST_F(MainWindowTest, CancelInTheStatusWindowOrClosingItEndsTheRunWithEarlierOutputsIntact) {
    openThree();
    std::ofstream(folder / "pano.jpg") << "earlier panorama";
    std::ofstream(folder / "pano.txt") << "earlier cameras";
    const std::function<void(CStatusDlg*)> ways[] = {
        [](CStatusDlg* status) { status->cancelButton()->click(); },
        [](CStatusDlg* status) { status->close(); },
        [](CStatusDlg* status) { QTest::keyClick(status, Qt::Key_Escape); },
    };
    for (const auto& cancel : ways) {
        bool statusWindowShown = false;
        engine->setCamerasValid(false);
        engine->duringRun = [&] {
            onWindowThread([&] {
                CStatusDlg* status = window->findChild<CStatusDlg*>();
                ASSERT_NE(status, nullptr);
                statusWindowShown = status->isVisible();
                cancel(status);
                EXPECT_TRUE(status->cancelRequested());
                EXPECT_FALSE(status->cancelButton()->isEnabled());
            });
        };
        window->action("Stitch", "Start")->trigger();
        EXPECT_TRUE(statusWindowShown);
        EXPECT_TRUE(engine->cancelled());
        EXPECT_TRUE(window->statusText().startsWith("Stitching cancelled"));
        EXPECT_EQ(fileContents(folder / "pano.jpg"), "earlier panorama");
        EXPECT_EQ(fileContents(folder / "pano.txt"), "earlier cameras");
        EXPECT_EQ(window->findChild<CStatusDlg*>(), nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->action("Stitch", "Start")->isEnabled());
    }
}

TEST_F(MainWindowTest, ClosingTheWindowDuringARunCancelsItAndThenCloses) {
    openThree();
    std::ofstream(folder / "pano.jpg") << "earlier panorama";
    engine->setCamerasValid(false);
    bool stillOpen = false;
    engine->duringRun = [&] {
        onWindowThread([&] {
            window->close();
            stillOpen = window->isVisible();  // the run must unwind before the window goes
        });
    };
    window->action("Stitch", "Start")->trigger();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(engine->cancelled());
    EXPECT_EQ(fileContents(folder / "pano.jpg"), "earlier panorama");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, EscDoesNotCloseTheWindowAndReturnPressesNoButton) {
    openThree();
    const size_t runs = engine->calls.size();
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(window.get(), key);
        QApplication::processEvents();
        EXPECT_TRUE(window->isVisible()) << key;
        EXPECT_EQ(window->result(), 0) << key;
    }
    // No button of the result panel took Return: no re-render, and the preview still fits.
    EXPECT_EQ(engine->calls.size(), runs);
    EXPECT_TRUE(window->resultPanel()->view()->fitting());
}

TEST_F(MainWindowTest, DroppedPhotographsOrAParameterFileAreOpened) {
    const std::vector<std::string> files = threeImages();
    auto drop = [this](const std::vector<std::string>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& file : paths) urls << QUrl::fromLocalFile(QString::fromStdString(file));
        urls << QUrl("https://example.invalid/remote.jpg");  // not a local file: ignored
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &dropped);
        EXPECT_TRUE(dropped.isAccepted());
        QApplication::processEvents();
    };
    drop(files);
    ASSERT_EQ(engine->calls.size(), 1u);
    EXPECT_EQ(engine->calls[0].kind, "stitch");
    EXPECT_EQ(engine->calls[0].names, (std::vector<std::string>{path("P.jpg"), path("Q.jpg"), path("R.jpg")}));
    drop({path("pano.txt")});
    ASSERT_EQ(engine->calls.size(), 2u);
    EXPECT_EQ(engine->calls[1].kind, "parameters");

    // A drag of something that is not a file is refused.
    QMimeData text;
    text.setText("hello");
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(MainWindowTest, EveryMenuHasAMnemonicAndTheCommandsTheirShortcuts) {
    const QMenuBar* bar = window->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 4);
    for (const QAction* top : bar->actions()) {
        const QMenu* menu = top->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(menu->title().contains('&')) << menu->title().toStdString();
        for (const QAction* entry : menu->actions()) {
            if (entry->isSeparator()) continue;
            EXPECT_TRUE(entry->text().contains('&')) << entry->text().toStdString();
        }
    }
    // Alt and a letter reach one thing in the window: the menus and the panel's buttons share
    // no mnemonic (Alt+F was once both the File menu and the Fit button).
    std::string taken;
    std::vector<std::string> captions;
    for (const QAction* top : bar->actions()) captions.push_back(top->text().toStdString());
    for (const QPushButton* button : window->findChildren<QPushButton*>()) captions.push_back(button->text().toStdString());
    for (const std::string& caption : captions) {
        const char key = mnemonicOf(caption);
        ASSERT_NE(key, 0) << caption;
        EXPECT_EQ(taken.find(key), std::string::npos) << caption << " shares its mnemonic";
        taken += key;
    }
    const struct {
        const char* menu;
        const char* item;
        QKeySequence keys;
    } shortcuts[] = {
        {"File", "Open", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"Stitch", "Start", QKeySequence(Qt::CTRL | Qt::Key_Return)},
        {"Edit", "Options", QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {"File", "Exit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    for (const auto& s : shortcuts) {
        const QAction* command = window->action(s.menu, s.item);
        ASSERT_NE(command, nullptr) << s.item;
        EXPECT_TRUE(command->shortcuts().contains(s.keys)) << s.item;
    }
    ASSERT_NE(window->action("File", "Save As"), nullptr);
    EXPECT_FALSE(window->action("File", "Save As")->isEnabled());  // nothing to save yet
    // Ctrl+Q closes the window.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, TheLastFolderAndTheOptionsAreRememberedBetweenStarts) {
    const QString file = QString::fromStdString(path("settings.ini"));
    auto settingsFile = [&] { return std::make_unique<QSettings>(file, QSettings::IniFormat); };
    makeWindow(settingsFile());
    EXPECT_EQ(engine->state.options.render.width, StitchOptions{}.render.width);  // nothing stored yet
    touch("trip/P.jpg");
    touch("trip/Q.jpg");
    window->openFiles({QString::fromStdString(path("trip/P.jpg")), QString::fromStdString(path("trip/Q.jpg"))});
    {
        QSettings stored(file, QSettings::IniFormat);
        StitchOptions changed;
        changed.render.width = 2222;
        changed.render.blendingMethod = "linear";
        changed.render.orientPsi = 0.5f;
        changed.feature.siftMinDim = 321;
        changed.systemMemory = int64_t{1} << 30;
        saveOptions(stored, changed);
    }
    fs::current_path(folder);
    makeWindow(settingsFile());
    EXPECT_EQ(window->commands().initialDirectory, path("trip"));
    const StitchOptions& options = engine->state.options;
    EXPECT_EQ(options.render.width, 2222);
    EXPECT_EQ(options.render.blendingMethod, "linear");
    EXPECT_EQ(options.render.orientPsi, 0.0f);  // one panorama's orientation is not the next one's
    EXPECT_EQ(options.feature.siftMinDim, 321);
    EXPECT_EQ(options.systemMemory, int64_t{1} << 30);

    // A damaged entry is refused whole: the built-in options stay.
    {
        QSettings stored(file, QSettings::IniFormat);
        stored.setValue("options/render/width", "0");
    }
    makeWindow(settingsFile());
    EXPECT_EQ(engine->state.options.render.width, StitchOptions{}.render.width);
    EXPECT_EQ(engine->state.options.feature.siftMinDim, StitchOptions{}.feature.siftMinDim);
}

}  // namespace
}  // namespace vantorra::testing
