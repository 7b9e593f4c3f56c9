// The main window driven offscreen: defaults on a first start, the settings
// written on every way of closing, the calculation-window procedure, the About box.
#include <fstream>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/settings/settings_store.h"
#include "app/window_placement.h"
#include "data/dm_sea.h"
#include "support/modal_guard.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "work/nspl.h"

namespace quorvane::app {
namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

/// A settings file and an internal folder of the test's own, and a data module.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settingsStore().clear();
        setSettingsFilePath(dir.file("Quorvane.INI"));
        dm = std::make_unique<data::TdmSea>();
        data::setDmSea(dm.get());
    }
    void TearDown() override
    {
        data::setDmSea(nullptr);
        dm.reset();
        settingsStore().clear();
    }
    /// A settings file with the given lines and the internal folder in the temp dir.
    void writeSettings(const std::string& extra)
    {
        std::ofstream(dir.file("Quorvane.INI")) << "[File Paths]\nInternal files=" << dir.file("internal") << "\n"
                                                << extra;
    }

    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    std::unique_ptr<data::TdmSea> dm;
};

TEST_F(MainWindowTest, FirstStartUsesTheDefaultsAndSeedsTheInternalFolder)
{
    writeSettings("");
    NSpl() = 7;
    TfmMain w;
    w.show();
    EXPECT_EQ(w.x(), 1);
    EXPECT_EQ(w.y(), 1);
    EXPECT_EQ(w.height(), 480);
    EXPECT_EQ(w.width(), 800);
    EXPECT_EQ(NSpl(), 15000);
    EXPECT_EQ(w.windowTitle(), "Time series curve fitting");
    EXPECT_TRUE(std::filesystem::exists(dir.file("internal/SeaSplP.cds")));
    w.close();
}

TEST_F(MainWindowTest, AStoredPositionIsAppliedUnchangedEvenOffScreen)
{
    writeSettings("[Form positions]\nMain Left=-3000\nMain Top=5000\nMain Height=300\nMain Width=0x320\n");
    TfmMain w;
    w.show();
    EXPECT_EQ(w.pos(), QPoint(-3000, 5000));
    EXPECT_EQ(w.size(), QSize(800, 300));
    w.close();
}

TEST_F(MainWindowTest, EveryWayOfClosingWritesTheSettingsWithTheLastPosition)
{
    struct Way {
        const char* name;
        std::function<void(TfmMain&)> close;
    };
    const Way ways[] = {
        {"window frame", [](TfmMain& w) { w.close(); }},
        {"Exit button", [](TfmMain& w) { QTest::mouseClick(w.findChild<QPushButton*>("bbExit"), Qt::LeftButton); }},
        {"Exit menu item", [](TfmMain& w) { w.findChild<QAction*>("Exit1")->trigger(); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        std::filesystem::remove(dir.file("Quorvane.INI"));
        writeSettings("");
        TfmMain w;
        w.show();
        w.move(40, 60);
        w.resize(640, 420);
        way.close(w);
        EXPECT_FALSE(w.isVisible());
        const std::string ini = readFile(dir.file("Quorvane.INI"));
        EXPECT_NE(ini.find("Main Left=40\n"), std::string::npos) << ini;
        EXPECT_NE(ini.find("Main Top=60\n"), std::string::npos);
        EXPECT_NE(ini.find("Main Height=420\n"), std::string::npos);
        EXPECT_NE(ini.find("Main Width=640\n"), std::string::npos);
        EXPECT_NE(ini.find("Students t multiplier=1.96"), std::string::npos) << "the whole store is written";
    }
}

TEST_F(MainWindowTest, AFailedSettingsWriteIsShownAndTheWindowStaysOpen)
{
    writeSettings("");
    TfmMain w;
    w.show();
    // A folder where the settings file should be: nothing can be written there.
    std::filesystem::remove(dir.file("Quorvane.INI"));
    std::filesystem::create_directory(dir.file("Quorvane.INI"));
    w.close();
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].rfind("Unable to write to ", 0), 0u) << dialogs.messages()[0];
    std::filesystem::remove(dir.file("Quorvane.INI"));
    w.close();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, TheMenuHasEveryItemWithItsCaption)
{
    TfmMain w;
    struct Item {
        const char* name;
        const char* caption;
    };
    const Item items[] = {
        {"ExportSpline", "&Spline"},
        {"ExportSplineP", "S&pline +95% envelope"},
        {"ExportSplineM", "Sp&line -95% envelope"},
        {"ExportMovingAverage", "&Moving Average"},
        {"Printersetup1", "Printer se&tup"},
        {"Exit1", "E&xit"},
        {"MovingAverage1", "&Moving average"},
        {"Spline1", "&Spline"},
        {"CompareGraphs1", "&Compare Graphs"},
        {"About1", "&About"},
    };
    for (const Item& i : items) {
        SCOPED_TRACE(i.name);
        auto* a = w.findChild<QAction*>(i.name);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(), QString::fromUtf8(i.caption));
    }
    QStringList top;
    for (QAction* a : w.menuBar()->actions())
        top << a->text();
    EXPECT_EQ(top, (QStringList{"&File", "&Define Curve", "&Compare Graphs", "&Help"}));
    QStringList file;
    for (QAction* a : w.findChild<QMenu*>("File1")->actions())
        file << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(file, (QStringList{"&Export curve data", "-", "Printer se&tup", "-", "E&xit"}));
    EXPECT_EQ(w.findChild<QWidget*>("Panel1")->height(), 41);
    EXPECT_EQ(w.findChild<QPushButton*>("bbExit")->text(), "E&xit");
}

TEST_F(MainWindowTest, PrinterSetupRunsTheDialogOnTheApplicationPrinter)
{
    TfmMain w;
    w.findChild<QAction*>("Printersetup1")->trigger();
    EXPECT_EQ(dialogs.printerSetupCalls, 1);
}

/// What a stand-in calculation window saw of itself while it was shown.
struct Seen {
    QPoint at;
    QSize size;
    bool destroyed = false;
};

/// A stand-in calculation window: records where it was placed, moves itself and
/// closes with a chosen result (a negative one throws, as an error would).
class StandIn : public QDialog {
public:
    StandIn(QWidget* owner, int result, Seen& seen) : QDialog(owner), result_(result), seen_(seen) {}
    ~StandIn() override { seen_.destroyed = true; }
    int exec() override
    {
        seen_.at = pos();
        seen_.size = size();
        move(300, 200);
        if (result_ < 0)
            throw Error("stand-in failure");
        return result_;
    }

private:
    int result_;
    Seen& seen_;
};

TEST_F(MainWindowTest, ACalculationWindowIsPlacedShownAndDestroyedAndStoresItsPositionOnlyOnOk)
{
    struct Case {
        const char* name;
        int result;
        bool stored;
    };
    const Case cases[] = {{"cancel", QDialog::Rejected, false}, {"OK", QDialog::Accepted, true}, {"error", -1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoadSettings(settingsStore(), dir.file("none.INI")); // the defaults: 1, 50, 530, 800
        Seen seen;
        const auto create = [&](QWidget* owner) { return std::unique_ptr<QDialog>(new StandIn(owner, c.result, seen)); };
        bool failed = false;
        try {
            EXPECT_EQ(runPlacedDialog(nullptr, "Spline", create), c.result);
        } catch (const Error& e) {
            failed = true;
            EXPECT_STREQ(e.what(), "stand-in failure");
        }
        EXPECT_EQ(failed, c.result < 0);
        EXPECT_TRUE(seen.destroyed);
        EXPECT_EQ(seen.at, QPoint(1, 50));
        EXPECT_EQ(seen.size, QSize(800, 530));
        EXPECT_EQ(settingsStore().integer("Spline Left"), c.stored ? 300 : 1);
        EXPECT_EQ(settingsStore().integer("Spline Top"), c.stored ? 200 : 50);
        EXPECT_EQ(settingsStore().integer("Spline Width"), 800);
    }
}

TEST_F(MainWindowTest, EachCalculationCommandShowsItsWindowPlacedFromItsPositions)
{
    struct Case {
        const char* action;
        const char* prefix;
        const char* caption;
        QRect at;
    };
    const Case cases[] = {{"Spline1", "Spline", "Fit Weighted Spline", QRect(40, 30, 846, 520)},
                          {"MovingAverage1", "Moving Average", "Fit Moving Average", QRect(60, 20, 654, 520)},
                          {"CompareGraphs1", "Graph", "Comparative graphs", QRect(80, 10, 700, 500)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        const std::string p = c.prefix;
        writeSettings("[Form positions]\n" + p + " Left=" + std::to_string(c.at.x()) + "\n" + p +
                      " Top=" + std::to_string(c.at.y()) + "\n" + p + " Height=" + std::to_string(c.at.height()) +
                      "\n" + p + " Width=" + std::to_string(c.at.width()) + "\n");
        dialogs.shown.clear();
        TfmMain w;
        w.show();
        QString caption;
        QRect placed;
        test::ModalGuard close([&](QWidget* m) {
            caption = m->windowTitle();
            placed = QRect(m->x(), m->y(), m->width(), m->height());
            static_cast<QDialog*>(m)->reject();
        });
        w.findChild<QAction*>(c.action)->trigger();
        EXPECT_TRUE(close.answered());
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(placed, c.at);
        EXPECT_TRUE(dialogs.shown.empty());
        EXPECT_EQ(w.findChild<QDialog*>(), nullptr); // destroyed when it closed
    }
}

TEST(DefaultErrorDisplay, AnErrorLeavingAnEventHandlerIsShownAndTheApplicationGoesOn)
{
    test::ScriptedDialogs dialogs;
    QObject target;
    int after = 0;
    QMetaObject::invokeMethod(&target, [] { throw Error("Range check error"); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(&target, [&] { ++after; }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{"Range check error"});
    EXPECT_EQ(after, 1) << "the next event is still handled";
}

TEST(AboutBox, ShowsItsTextsAndClosesByOkAndByEnter)
{
    {
        TAboutBox box(nullptr);
        EXPECT_EQ(box.windowTitle(), "About Quorvane");
        EXPECT_EQ(box.size(), QSize(298, 213));
        EXPECT_EQ(box.findChild<QLabel*>("ProductName")->text(), "Quorvane");
        EXPECT_EQ(box.findChild<QLabel*>("Version")->text(), "Version 2.0");
        EXPECT_EQ(box.findChild<QLabel*>("Comments")->text(),
                  "Software for calculating moving average and splines curves from age vs composition data");
        test::ModalGuard ok([](QWidget* w) {
            QTest::mouseClick(w->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
        });
        EXPECT_EQ(box.exec(), QDialog::Accepted);
    }
    {
        TAboutBox box(nullptr);
        test::ModalGuard enter([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
        EXPECT_EQ(box.exec(), QDialog::Accepted);
    }
}

} // namespace
} // namespace quorvane::app
