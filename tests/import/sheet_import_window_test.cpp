// The import window driven offscreen on the workbooks of tests/fixtures/import,
// with the open dialog answered by the scripted dialog service.
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "app/settings/settings_store.h"
#include "import/sheet_import.h"
#include "import/window/sheet_import_window.h"
#include "platform/ui/panel_status_bar.h"
#include "spline/calc_fixture.h"
#include "support/modal_guard.h"
#include "support/scripted_dialogs.h"
#include "work/nspl.h"
#include "xls/grid/sheetstyle.h"
#include "xls/grid/xlsgrid.h"

namespace quorvane {
namespace {

const QString FixtureFolder = QStringLiteral(QUORVANE_TEST_FIXTURES "/import");
QString workbook(const char* name) { return FixtureFolder + '/' + QString::fromLatin1(name); }

class SheetImportWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        settingsStore().clear();
        importNumbers() = {};
        SettingsStore& s = settingsStore();
        s.setText(key::InternalFiles, tables.internal);
        s.setText(key::DataImportPath, tables.dir.path() + "/");
        s.setText(key::FromRow, "2");
        s.setText(key::ToRow, "3");
        s.setText(key::XColumn, "A");
        s.setText(key::YColumn, "B");
        s.setText(key::YErrColumn, "C");
    }
    void TearDown() override
    {
        settingsStore().clear();
        importNumbers() = {};
    }
    /// A window shown as the callers show it, its open dialog answered with `file` (or cancelled).
    std::unique_ptr<TfmSheetImport> open(std::optional<QString> file)
    {
        dialogs.openAnswers.push_back(file);
        auto w = std::make_unique<TfmSheetImport>(tables.dm);
        w->OpenDialogSprdSheet.fileName = QStringLiteral("SeaRaw");
        w->show();
        return w;
    }
    static void setEntries(TfmSheetImport& w, const char* from, const char* to, const char* x, const char* y,
                           const char* err)
    {
        w.eFromRow->setText(QString::fromLatin1(from));
        w.eToRow->setText(QString::fromLatin1(to));
        w.eX->setText(QString::fromLatin1(x));
        w.eY->setText(QString::fromLatin1(y));
        w.eYerr->setText(QString::fromLatin1(err));
    }
    static QStringList tabs(const TfmSheetImport& w)
    {
        QStringList out;
        for (int i = 0; i < w.TabControlTabs->count(); ++i)
            out << w.TabControlTabs->tabText(i);
        return out;
    }

    test::BoundTables tables;
    test::ScriptedDialogs dialogs;
};

TEST_F(SheetImportWindow, OpeningAWorkbookListsItsSheetsAndFindsTheLastRow)
{
    for (const char* file : {"xlwt-import.xls", "sheetjs-import.xls"}) {
        SCOPED_TRACE(file);
        auto w = open(workbook(file));
        EXPECT_EQ(w->windowTitle(), "Import spreadsheet");
        ASSERT_EQ(dialogs.openAsked.size(), 1u);
        const ui::FileDialogOptions& asked = dialogs.openAsked[0];
        EXPECT_EQ(asked.fileName, "SeaRaw");
        EXPECT_EQ(asked.initialFolder.toStdString(), tables.dir.path() + "/");
        EXPECT_EQ(asked.defaultSuffix, "xls");
        EXPECT_EQ(settingsStore().text(key::DataImportPath), FixtureFolder.toStdString() + "/");

        const QStringList sheets{"Points", "NoError", "Row2Empty", "Wide"};
        EXPECT_EQ(tabs(*w), sheets);
        ASSERT_EQ(w->cbSheetName->count(), 4);
        EXPECT_EQ(w->cbSheetName->itemText(3), "Wide");
        EXPECT_FALSE(w->cbSheetName->isEditable());
        EXPECT_EQ(w->TabControlTabs->currentIndex(), 0);
        EXPECT_EQ(w->cbSheetName->currentIndex(), 0);
        EXPECT_EQ(w->XlsImport1().ActiveSheet(), 1);
        for (QWidget* shown : {w->TabControl, static_cast<QWidget*>(w->bbImport),
                               static_cast<QWidget*>(w->gbDefineFields), static_cast<QWidget*>(w->gbDefineRows)})
            EXPECT_TRUE(shown->isVisible()) << shown->objectName().toStdString();
        EXPECT_EQ(w->eFromRow->text(), "2");
        EXPECT_EQ(w->eToRow->text(), "9"); // the word of row 4 counts, the empty age of row 10 ends it
        EXPECT_EQ(w->sbFindLastRow->toolTip(), "Find end of file");
        dialogs.openAsked.clear();
        importNumbers() = {};
        settingsStore().setText(key::DataImportPath, tables.dir.path() + "/");
    }
}

TEST_F(SheetImportWindow, CancelledOpenDialogShowsOnlyCancelOpenAndTheSheetList)
{
    auto w = open(std::nullopt);
    for (QWidget* hidden : {w->TabControl, static_cast<QWidget*>(w->bbImport),
                            static_cast<QWidget*>(w->gbDefineFields), static_cast<QWidget*>(w->gbDefineRows)})
        EXPECT_FALSE(hidden->isVisible()) << hidden->objectName().toStdString();
    for (QWidget* shown : {static_cast<QWidget*>(w->bbCancel), static_cast<QWidget*>(w->bbOpenSheet),
                           static_cast<QWidget*>(w->gbDefineTabSheet), static_cast<QWidget*>(w->sbSheet)})
        EXPECT_TRUE(shown->isVisible()) << shown->objectName().toStdString();
    EXPECT_EQ(w->eToRow->text(), "3");
    EXPECT_EQ(settingsStore().text(key::DataImportPath), tables.dir.path() + "/");
}

TEST_F(SheetImportWindow, ChangingTheSheetByEitherSelectorMovesTheOther)
{
    struct Case {
        const char* name;
        bool byTab;
        int position;
        int toRowBefore;
        const char* toRowShown;
    };
    const Case cases[] = {
        {"tab to NoError", true, 1, 0, "100"},
        {"list to NoError", false, 1, 0, "100"},
        {"row 2 empty, no import yet", false, 2, 0, "0"},
        {"row 2 empty after an import to row 40", true, 2, 40, "40"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto w = open(workbook("xlwt-import.xls"));
        importNumbers().toRow = c.toRowBefore;
        if (c.byTab)
            w->TabControlTabs->setCurrentIndex(c.position);
        else
            w->cbSheetName->setCurrentIndex(c.position);
        EXPECT_EQ(w->TabControlTabs->currentIndex(), c.position);
        EXPECT_EQ(w->cbSheetName->currentIndex(), c.position);
        EXPECT_EQ(w->XlsImport1().ActiveSheet(), c.position + 1);
        EXPECT_EQ(w->eToRow->text(), c.toRowShown);
        importNumbers() = {};
    }
}

TEST_F(SheetImportWindow, OkImportsAndClosesWithOk)
{
    auto w = open(workbook("sheetjs-import.xls"));
    setEntries(*w, "2", "13", " a ", "b", "C");
    QTest::mouseClick(w->bbImport, Qt::LeftButton);
    EXPECT_EQ(w->result(), QDialog::Accepted);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(tables.dm.cdsSeaRaw.rowCount(), 6);
    EXPECT_EQ(tables.dm.cdsDeltaT.rowCount(), 5);
    EXPECT_EQ(w->sbSheet->panelText(0), "");
    EXPECT_EQ(settingsStore().text(key::XColumn), " A ");
    EXPECT_EQ(importNumbers().toRow, 13);
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(SheetImportWindow, TheToRowCarriesOverToTheNextWindow)
{
    {
        auto w = open(workbook("xlwt-import.xls"));
        w->cbSheetName->setCurrentIndex(1); // NoError, ages in rows 2 to 100
        setEntries(*w, "2", "500", "A", "B", "C");
        QTest::mouseClick(w->bbImport, Qt::LeftButton);
        EXPECT_EQ(tables.dm.cdsSeaRaw.rowCount(), 99); // rows 101 to 500 are empty
    }
    auto next = open(workbook("sheetjs-import.xls"));
    next->cbSheetName->setCurrentIndex(1);
    EXPECT_EQ(next->eToRow->text(), "500");
}

TEST_F(SheetImportWindow, RefusedEntriesKeepTheWindowOpenButAreStored)
{
    struct Case {
        const char* name;
        const char* entries[5];
        const char* shown;
    };
    const Case cases[] = {
        {"from row", {"two", "13", "A", "B", "C"}, "Incorrect value entered for From row"},
        {"to row", {"2", "", "A", "B", "C"}, "Incorrect value entered for To row"},
        {"rows", {"9", "8", "A", "B", "C"}, "Incorrect values entered for rows to import"},
        {"empty column", {"2", "13", "A", "", "C"}, "Range check error"}, // the default error display
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.shown.clear();
        test::appendRows(tables.dm.cdsSeaRaw, {{1, 2, 3}});
        auto w = open(workbook("xlwt-import.xls"));
        setEntries(*w, c.entries[0], c.entries[1], c.entries[2], c.entries[3], c.entries[4]);
        QTest::mouseClick(w->bbImport, Qt::LeftButton);
        EXPECT_EQ(dialogs.messages(), std::vector<std::string>{c.shown});
        EXPECT_TRUE(w->isVisible());
        EXPECT_NE(w->result(), QDialog::Accepted);
        EXPECT_EQ(tables.dm.cdsSeaRaw.rowCount(), 1); // nothing imported
        EXPECT_EQ(settingsStore().text(key::FromRow), QString::fromLatin1(c.entries[0]).toUpper().toStdString());
        EXPECT_EQ(settingsStore().text(key::ToRow), c.entries[1]);
        tables.dm.cdsSeaRaw.emptyTable();
    }
}

TEST_F(SheetImportWindow, CancelStoresNothing)
{
    auto w = open(workbook("xlwt-import.xls"));
    setEntries(*w, "5", "6", "z", "y", "x");
    QTest::mouseClick(w->bbCancel, Qt::LeftButton);
    EXPECT_EQ(w->result(), QDialog::Rejected);
    EXPECT_FALSE(w->isVisible());
    const SettingsStore& s = settingsStore();
    EXPECT_EQ(s.text(key::FromRow), "2");
    EXPECT_EQ(s.text(key::ToRow), "3");
    EXPECT_EQ(s.text(key::XColumn), "A");
    EXPECT_EQ(s.text(key::YColumn), "B");
    EXPECT_EQ(s.text(key::YErrColumn), "C");
}

TEST_F(SheetImportWindow, TheCallersProcedurePlacesShowsStoresAndSetsNSpl)
{
    struct Case {
        const char* name;
        const char* entries[5];
        bool ok;
        int rows;
        int nspl;
    };
    const Case cases[] = {
        {"rows 2 to 3", {"2", "3", "A", "B", "C"}, true, 2, 4},
        {"every row dropped", {"4", "4", "A", "B", "C"}, true, 0, DefaultNSpl},
        {"cancelled", {"2", "3", "A", "B", "C"}, false, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tables.dm.cdsSeaRaw.emptyTable();
        test::appendRows(tables.dm.cdsSeaRaw, {{1, 2, 3}});
        const PositionKeys k = positionKeys("Sheet");
        SettingsStore& s = settingsStore();
        s.setInteger(k.left, 40);
        s.setInteger(k.top, 50);
        s.setInteger(k.height, 430);
        s.setInteger(k.width, 610);
        NSpl() = 7;
        dialogs.openAnswers.push_back(workbook("xlwt-import.xls"));
        dialogs.openAsked.clear();
        QSize placedSize;
        test::ModalGuard guard([&](QWidget* modal) {
            auto* w = qobject_cast<TfmSheetImport*>(modal);
            ASSERT_NE(w, nullptr);
            placedSize = w->size();
            w->move(70, 80); // the position stored back on OK
            setEntries(*w, c.entries[0], c.entries[1], c.entries[2], c.entries[3], c.entries[4]);
            QTest::mouseClick(c.ok ? w->bbImport : w->bbCancel, Qt::LeftButton);
        });
        const int result = openSheetImport(nullptr, tables.dm, QString::fromLatin1(text::MovAvImportFileName));
        EXPECT_TRUE(guard.answered());
        EXPECT_EQ(result, c.ok ? QDialog::Accepted : QDialog::Rejected);
        ASSERT_EQ(dialogs.openAsked.size(), 1u);
        EXPECT_EQ(dialogs.openAsked[0].fileName, "MovAv");
        EXPECT_EQ(placedSize, QSize(610, 430));
        EXPECT_EQ(tables.dm.cdsSeaRaw.rowCount(), c.rows);
        EXPECT_EQ(NSpl(), c.nspl);
        EXPECT_EQ(s.integer(k.left), c.ok ? 70 : 40);
        EXPECT_EQ(s.integer(k.top), c.ok ? 80 : 50);
    }
}

// ---- the sheet grid ------------------------------------------------------------------
// xlwt-layout.xls: sheet Narrow (A 2048 and B 4096 wide, row 3 600 twips high, three
// points) and sheet Broad (A 6144, B 8192, row 2 600 twips, four points); Ratio is
// formatted "0.000". At 70 % a width w shows as round(w / (256 / 7) * 0.7) pixels and a
// height h as round(h / 15 * 0.7).

xls::TWorkSheet& sheetOf(TfmSheetImport& w, int n)
{
    return dynamic_cast<xls::TWorkSheet&>(*w.XlsImport1().File()->workbook().sheets().at(n - 1));
}

void selectSheet(TfmSheetImport& w, bool byTab, int position)
{
    if (byTab)
        w.TabControlTabs->setCurrentIndex(position);
    else
        w.cbSheetName->setCurrentIndex(position);
}

/// Opens the editor of data cell (row, col) of the grid and types `text` into it.
QWidget* typeIntoCell(TfmSheetImport& w, int row, int col, const QString& text)
{
    const QModelIndex cell = w.Data->model()->index(row - 1, col - 1);
    w.Data->setCurrentIndex(cell);
    w.Data->edit(cell);
    auto* editor = qobject_cast<QLineEdit*>(w.Data->indexWidget(cell));
    if (!editor)
        return nullptr;
    editor->selectAll();
    QTest::keyClicks(editor, text);
    return editor;
}

TEST_F(SheetImportWindow, TheGridShowsTheFirstSheetAtSeventyPercentAboveTheTabs)
{
    auto w = open(workbook("xlwt-layout.xls"));
    w->resize(640, 480);
    ASSERT_NE(w->Data, nullptr);
    EXPECT_EQ(w->Data->objectName(), "Data");
    EXPECT_TRUE(w->Data->isVisible());
    EXPECT_EQ(w->Data->parentWidget(), w->TabControl);
    EXPECT_EQ(w->Data->XlsImport(), &w->XlsImport1());
    EXPECT_FALSE(w->Data->ReadOnly());
    EXPECT_FALSE(w->Data->FormulaReadOnly());
    EXPECT_FALSE(w->Data->FullWorksheet());
    EXPECT_FALSE(w->Data->UseFixedCells());
    EXPECT_FALSE(w->Data->HideCursor());
    EXPECT_EQ(w->Data->PrintLineWidth(), 0);
    EXPECT_TRUE(w->Data->IsLoaded());
    EXPECT_EQ(w->Data->Zoom(), 70);
    // The grid fills the area above the tab strip, which is as high as its tabs.
    QCoreApplication::processEvents();
    EXPECT_EQ(w->TabControlTabs->height(), w->TabControlTabs->sizeHint().height());
    EXPECT_GT(w->TabControlTabs->height(), 0);
    EXPECT_LE(w->Data->geometry().bottom(), w->TabControlTabs->geometry().top());
    EXPECT_GT(w->Data->height(), w->TabControlTabs->height());

    EXPECT_EQ(w->Data->RowCount(), 5); // header row and rows 1 to 4
    EXPECT_EQ(w->Data->CellText(1, 1), "Age");
    EXPECT_EQ(w->Data->CellText(2, 1), "10");
    EXPECT_EQ(w->Data->CellText(2, 2), "0.709"); // through its number format
    EXPECT_EQ(w->Data->ColumnPixels(1), 39);     // 2048 units
    EXPECT_EQ(w->Data->ColumnPixels(2), 78);     // 4096 units
    EXPECT_EQ(w->Data->RowPixels(3), 28);        // 600 twips
    EXPECT_EQ(w->Data->HeaderColumnWidth(), 34); // 48 pixels at 70 %
}

TEST_F(SheetImportWindow, ChangingTheSheetReloadsTheGridWithThatSheetsOwnLayout)
{
    for (const bool byTab : {true, false}) {
        SCOPED_TRACE(byTab ? "by tab" : "by list");
        auto w = open(workbook("xlwt-layout.xls"));
        w->Data->horizontalHeader()->resizeSection(1, 100); // column B of Narrow

        selectSheet(*w, byTab, 1);
        EXPECT_EQ(w->Data->Zoom(), 70);
        EXPECT_EQ(w->Data->RowCount(), 6);
        EXPECT_EQ(w->Data->CellText(2, 1), "1.5");
        EXPECT_EQ(w->Data->CellText(5, 2), "0.710");
        // Broad shows its own sizes, not the ones Narrow was shown with.
        EXPECT_EQ(w->Data->ColumnPixels(1), 118); // 6144 units
        EXPECT_EQ(w->Data->ColumnPixels(2), 157); // 8192 units
        EXPECT_EQ(w->Data->RowPixels(2), 28);
        EXPECT_EQ(w->Data->RowPixels(3), 12); // 255 twips
        EXPECT_EQ(xls::grid::columnSize(sheetOf(*w, 2), 1).width, 8192u);
        // Leaving Narrow stored the dragged width into it, converted back at 70 %.
        EXPECT_EQ(xls::grid::columnSize(sheetOf(*w, 1), 1).width, std::lround(100 * 256.0 / 7.0 / 0.7));
        EXPECT_EQ(xls::grid::columnSize(sheetOf(*w, 1), 0).width, 2048u);
        EXPECT_EQ(w->eToRow->text(), "5");

        selectSheet(*w, byTab, 0);
        EXPECT_EQ(w->Data->CellText(2, 1), "10");
        EXPECT_EQ(w->Data->ColumnPixels(2), 100);
        EXPECT_EQ(w->Data->ColumnPixels(1), 39);
        importNumbers() = {};
    }
}

TEST_F(SheetImportWindow, AValueTypedIntoTheGridIsImported)
{
    enum How { Clicked, EnterTwice, PressedFromCode, SheetLeftFirst };
    struct Case {
        const char* name;
        How how;
    };
    const Case cases[] = {
        {"OK clicked, which takes the focus", Clicked},
        {"Enter ends the edit, a second Enter presses OK", EnterTwice},
        {"OK pressed with the editor still open", PressedFromCode},
        {"sheet left and chosen again", SheetLeftFirst},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto w = open(workbook("xlwt-layout.xls"));
        setEntries(*w, "2", "4", "A", "B", "0");
        QWidget* editor = typeIntoCell(*w, 3, 1, QStringLiteral("25"));
        ASSERT_NE(editor, nullptr);
        switch (c.how) {
        case Clicked: QTest::mouseClick(w->bbImport, Qt::LeftButton); break;
        case EnterTwice:
            QTest::keyClick(editor, Qt::Key_Return);
            QCoreApplication::processEvents();
            EXPECT_EQ(w->result(), 0); // the first Enter belongs to the editor
            EXPECT_EQ(w->Data->CellText(3, 1), "25");
            QTest::keyClick(w->Data, Qt::Key_Return);
            break;
        case PressedFromCode: w->bbImport->click(); break;
        case SheetLeftFirst:
            w->cbSheetName->setCurrentIndex(1);
            w->cbSheetName->setCurrentIndex(0);
            EXPECT_EQ(w->Data->CellText(3, 1), "25");
            QTest::mouseClick(w->bbImport, Qt::LeftButton);
            break;
        }
        EXPECT_EQ(w->result(), QDialog::Accepted);
        ASSERT_EQ(tables.dm.cdsSeaRaw.rowCount(), 3);
        const int age = tables.dm.cdsSeaRaw.field("Age");
        EXPECT_EQ(tables.dm.cdsSeaRaw.value(0, age), 10);
        EXPECT_EQ(tables.dm.cdsSeaRaw.value(1, age), 25); // typed over 20
        EXPECT_EQ(tables.dm.cdsSeaRaw.value(2, age), 30);
        tables.dm.cdsSeaRaw.emptyTable();
    }
}

TEST_F(SheetImportWindow, AWorkbookThatFailsToOpenTakesTheGridAway)
{
    auto w = open(workbook("xlwt-layout.xls"));
    const QString notAWorkbook = QString::fromStdString(tables.dir.path() + "/notes.xls");
    QFile f(notAWorkbook);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a workbook\n");
    f.close();
    dialogs.openAnswers.push_back(notAWorkbook);
    EXPECT_ANY_THROW(w->bbOpenSheetClick()); // to the default error display
    EXPECT_FALSE(w->XlsImport1().IsOpen());
    EXPECT_FALSE(w->Data->isVisible()); // it showed the workbook the reader has closed
    EXPECT_FALSE(w->grab().isNull());

    // A workbook opened next brings it back.
    dialogs.openAnswers.push_back(workbook("xlwt-layout.xls"));
    w->bbOpenSheetClick();
    EXPECT_TRUE(w->Data->isVisible());
    EXPECT_EQ(w->Data->CellText(2, 1), "10");
}

} // namespace
} // namespace quorvane
