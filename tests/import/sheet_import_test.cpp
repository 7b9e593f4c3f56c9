// Raw points from a sheet: column and row entries, the end-of-data search and
// the import into SeaRaw and DeltaT, on workbooks written by xlwt and SheetJS
// (tests/fixtures/import/README.md).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/settings_store.h"
#include "data/table_file.h"
#include "import/sheet_import.h"
#include "spline/calc_fixture.h"
#include "xls/errors.h"
#include "xls/text.h"
#include "xls/xlsimport.h"

namespace quorvane {
namespace {

using Row = std::vector<std::optional<double>>;
constexpr std::nullopt_t null = std::nullopt;

const char* const Writers[] = {"xlwt-import.xls", "sheetjs-import.xls"};

/// What a number becomes through its 15-digit text, computed apart from the import.
double fifteen(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return std::strtod(buf, nullptr);
}

std::string fixture(const std::string& name) { return std::string(QUORVANE_TEST_FIXTURES) + "/import/" + name; }

/// A workbook opened as the import window opens it, with a sheet made active by name.
struct Workbook {
    explicit Workbook(const std::string& file)
    {
        reader.SetAdapter(&adapter);
        reader.OpenWorkbook(fixture(file));
    }
    void activate(const std::u16string& name)
    {
        for (int i = 1; i <= reader.SheetCount(); ++i) {
            reader.SetActiveSheet(i);
            if (reader.SheetName() == name)
                return;
        }
        FAIL() << "no sheet " << xls::toUtf8(name);
    }
    xls::TXLSAdapter adapter;
    xls::TXlsImport reader;
};

std::vector<Row> fileRows(const std::string& path)
{
    const data::TableFileData d = data::readTableFile(path);
    const std::size_t nf = d.fields.size();
    std::vector<Row> out(d.rowCount());
    for (std::size_t r = 0; r < d.rowCount(); ++r)
        for (std::size_t f = 0; f < nf; ++f)
            out[r].push_back((d.nulls[r] >> f) & 1u ? std::optional<double>() : d.values[r * nf + f]);
    return out;
}

/// Runs one import into freshly bound tables and keeps what it left behind.
struct ImportRun {
    ImportRun(const char* writer, const std::u16string& sheet, SheetImportRange range)
    {
        Workbook wb(writer);
        wb.activate(sheet);
        // Rows from an earlier import that must be replaced.
        test::appendRows(tables.dm.cdsSeaRaw, {{999, 1, 1}, {1000, 1, 1}});
        SheetImport import(wb.reader, tables.dm.cdsSeaRaw, tables.dm.cdsDeltaT, tables.internal, status);
        outcome = import.run(range);
    }
    std::vector<Row> seaRaw() const { return tables.dm.cdsSeaRaw.rows(); }
    std::vector<Row> deltaT() const { return tables.dm.cdsDeltaT.rows(); }

    test::BoundTables tables;
    test::RecordingStatus status;
    SheetImportOutcome outcome;
};

TEST(ColumnNumber, LettersNameColumns)
{
    struct Case {
        const char* entry;
        int expected;
    };
    const Case cases[] = {
        {"A", 1},    {" a ", 1},   {"a", 1},     {"Z", 26},  {"aa", 27}, {"A A", 27},
        {"IV", 256}, {"IW", 257},  {"ABC", 1},   // further characters are ignored
        {"0", OmittedColumn},                     // leaves the field empty
        {" 0 ", OmittedColumn}, {"00", -16 * 26 - 16}, // only a lone zero omits
        {"@", 0},    {"-A", -19 * 26 + 1},         // outside 1..256: every read fails
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(ColumnNumber(c.entry), c.expected);
    }
    for (const char* empty : {"", "   "}) {
        SCOPED_TRACE(empty);
        EXPECT_THROW(ColumnNumber(empty), RangeError);
    }
}

TEST(WholeNumber, DecimalOrHexadecimalWithNothingAfter)
{
    struct Case {
        const char* text;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"2", 2},          {"  500", 500},     {"+7", 7},        {"-3", -3},         {"0", 0},
        {"$1F", 31},       {"x1f", 31},        {"0X10", 16},     {"-$10", -16},      {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},            {"-2147483648", std::numeric_limits<int>::min()},
        {"2147483648", null},                  {"$100000000", null},
        {"", null},        {"  ", null},       {"-", null},      {"$", null},        {"0x", null},
        {"12 ", null},     {"1.5", null},      {"1e3", null},    {"abc", null},      {"$G", null},
        {"--1", null},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseWholeNumber(c.text), c.expected);
    }
}

TEST(ImportEntries, StoredInUpperCaseThenCheckedInOrder)
{
    struct Case {
        const char* name;
        ImportEntries entries;
        const char* error; ///< the message, "range" for a range error, nullptr for none
        ImportNumbers after;
    };
    const ImportNumbers before{7, 8, 9, 9, 9};
    const Case cases[] = {
        {"valid", {"2", "0x1f", " a ", "aa", "0"}, nullptr, {2, 31, 1, 27, OmittedColumn}},
        {"from row not a number", {"two", "3", "A", "B", "C"}, text::IncorrectFromRow, before},
        {"from row empty", {"", "3", "A", "B", "C"}, text::IncorrectFromRow, before},
        {"to row not a number", {"2", "3x", "A", "B", "C"}, text::IncorrectToRow, {2, 8, 9, 9, 9}},
        {"to row below from row", {"5", "4", "A", "B", "C"}, text::IncorrectRows, {5, 4, 9, 9, 9}},
        {"an empty column entry", {"2", "3", "A", " ", "C"}, "range", {2, 3, 1, 9, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImportNumbers numbers = before;
        try {
            const SheetImportRange r = convertImportEntries(c.entries, numbers);
            EXPECT_EQ(c.error, nullptr);
            EXPECT_EQ(r.fromRow, c.after.fromRow);
            EXPECT_EQ(r.errorColumn, c.after.yErrColumn);
        } catch (const ImportEntryError& e) {
            EXPECT_STREQ(e.what(), c.error);
        } catch (const RangeError& e) {
            EXPECT_STREQ(c.error, "range");
            EXPECT_STREQ(e.what(), "Range check error");
        }
        EXPECT_EQ(numbers.fromRow, c.after.fromRow);
        EXPECT_EQ(numbers.toRow, c.after.toRow);
        EXPECT_EQ(numbers.xColumn, c.after.xColumn);
        EXPECT_EQ(numbers.yColumn, c.after.yColumn);
        EXPECT_EQ(numbers.yErrColumn, c.after.yErrColumn);
    }

    SettingsStore store;
    storeImportEntries(store, {" 0x1f", "$a", " a ", "aa", "c"});
    EXPECT_EQ(store.text(key::FromRow), " 0X1F");
    EXPECT_EQ(store.text(key::ToRow), "$A");
    EXPECT_EQ(store.text(key::XColumn), " A ");
    EXPECT_EQ(store.text(key::YColumn), "AA");
    EXPECT_EQ(store.text(key::YErrColumn), "C");
}

TEST(CellText, KindsOfCells)
{
    EXPECT_EQ(cellText(xls::CellVariant()), "");
    EXPECT_EQ(cellText(xls::CellVariant(1.5)), "1.5");
    EXPECT_EQ(cellText(xls::CellVariant(0.70912345678901234)), "0.709123456789012");
    EXPECT_EQ(cellText(xls::CellVariant(u"Ölgehalt")), "Ölgehalt");
    EXPECT_EQ(cellText(xls::CellVariant(true)), "True");
    EXPECT_EQ(cellText(xls::CellVariant(xls::CellError{u"#N/A"})), "#N/A");
}

TEST(SheetImport, PointsSheetKeepsRowsWithNumericAgeAndY)
{
    // Rows 2 to 13 of Points, columns A to C: see make_fixtures.py for each row.
    const std::vector<Row> expectedRaw = {
        {5, 0.7085, 3e-5},  // row 3; equal ages keep the order they were posted
        {5, 0.7086, null},  // row 5: empty uncertainty stays empty
        {10, 0.7091, 2e-5}, // row 2
        {12.5, 0.709, 1e-4}, // row 7: numeric text
        {20.5, 0.709123456789012, 1e-5}, // row 6: 15 significant digits
        {50, 0.72, 0.2},    // row 11, after the empty age of row 10
    };
    const std::vector<Row> expectedDelta = {{5, 0}, {10, 5}, {12.5, 2.5}, {20.5, 8}, {50, 29.5}};
    for (const char* writer : Writers) {
        SCOPED_TRACE(writer);
        ImportRun run(writer, u"Points", {2, 13, 1, 2, 3});
        EXPECT_EQ(run.seaRaw(), expectedRaw);
        EXPECT_EQ(run.deltaT(), expectedDelta);
        EXPECT_EQ(fileRows(run.tables.file(run.tables.dm.cdsSeaRaw)), expectedRaw);
        EXPECT_EQ(fileRows(run.tables.file(run.tables.dm.cdsDeltaT)), expectedDelta);
        EXPECT_EQ(run.outcome.rowsRead, 12);
        EXPECT_EQ(run.outcome.imported, 6);
        EXPECT_EQ(run.status.textsOf(0).front(), "2");
        EXPECT_EQ(run.status.textsOf(0).back(), "13");
        EXPECT_EQ(run.status.panel(0), "");
        EXPECT_FALSE(run.tables.dm.cdsSeaRaw.controlsDisabled());
    }
}

TEST(SheetImport, RangesAndColumns)
{
    std::vector<Row> noErrorRows, noErrorDelta;
    for (int k = 1; k < 100; ++k) {
        noErrorRows.push_back({k, fifteen(0.7 + k / 1000.0), null});
        if (k > 1)
            noErrorDelta.push_back({k, 1});
    }
    struct Case {
        const char* name;
        const char16_t* sheet;
        SheetImportRange range;
        std::vector<Row> raw;
        std::vector<Row> delta;
    };
    const Case cases[] = {
        {"rows 2 to 3 import two rows", u"Points", {2, 3, 1, 2, 3}, {{5, 0.7085, 3e-5}, {10, 0.7091, 2e-5}}, {{10, 5}}},
        {"one row leaves DeltaT empty", u"Points", {2, 2, 1, 2, 3}, {{10, 0.7091, 2e-5}}, {}},
        {"every row dropped", u"Points", {4, 4, 1, 2, 3}, {}, {}},
        {"empty uncertainty column", u"NoError", {2, 100, 1, 2, 3}, noErrorRows, noErrorDelta},
        {"columns AA, AB and IV", u"Wide", {2, 4, 27, 28, 256},
         {{100, 0.72, 0.001}, {200, 0.73, 0.002}, {300, 0.74, 0.003}}, {{200, 100}, {300, 100}}},
        {"omitted uncertainty keeps the row with a word there", u"Points", {8, 9, 1, 2, OmittedColumn},
         {{40, 0.71, null}}, {}},
        {"a column beyond IV drops every row", u"Points", {2, 13, 257, 2, 3}, {}, {}},
        {"rows past the end of the data are empty", u"Points", {11, 500, 1, 2, 3}, {{50, 0.72, 0.2}}, {}},
        {"rows below 1 and past the last sheet row are dropped", u"Points", {-5, 2000000000, 1, 2, 3},
         {{5, 0.7085, 3e-5}, {5, 0.7086, null}, {10, 0.7091, 2e-5}, {12.5, 0.709, 1e-4},
          {20.5, 0.709123456789012, 1e-5}, {50, 0.72, 0.2}}, {{5, 0}, {10, 5}, {12.5, 2.5}, {20.5, 8}, {50, 29.5}}},
        {"to-row below from-row visits nothing", u"Points", {5, 4, 1, 2, 3}, {}, {}},
    };
    for (const char* writer : Writers) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(writer) + ": " + c.name);
            ImportRun run(writer, c.sheet, c.range);
            EXPECT_EQ(run.seaRaw(), c.raw);
            EXPECT_EQ(run.deltaT(), c.delta);
            EXPECT_EQ(fileRows(run.tables.file(run.tables.dm.cdsSeaRaw)), c.raw);
        }
    }
    // The loop stops at the last sheet row instead of running on to the to-row number.
    ImportRun far(Writers[0], u"Points", {65530, std::numeric_limits<int>::max(), 1, 2, 3});
    EXPECT_EQ(far.outcome.rowsRead, 7);
    EXPECT_EQ(far.status.textsOf(0).back(), "65536");
}

TEST(SheetImport, DeltaTIsSavedEvenWhenNotBound)
{
    // The moving-average window never binds DeltaT: the import still writes its internal file.
    test::BoundTables tables;
    tables.dm.cdsDeltaT.bindToFile("");
    Workbook wb(Writers[0]);
    wb.activate(u"Points");
    test::RecordingStatus status;
    SheetImport(wb.reader, tables.dm.cdsSeaRaw, tables.dm.cdsDeltaT, tables.internal, status).run({2, 3, 1, 2, 3});
    EXPECT_EQ(fileRows(tables.file(tables.dm.cdsDeltaT)), (std::vector<Row>{{10, 5}}));
}

void addDeltaRow(data::CurveTable& deltaT)
{
    deltaT.append();
    deltaT.setFloat(0, 1);
    deltaT.setFloat(1, 1);
    deltaT.post();
}

TEST(SheetImport, TableFailuresPassOn)
{
    Workbook wb(Writers[0]);
    wb.activate(u"Points");
    test::RecordingStatus status;
    {
        SCOPED_TRACE("SeaRaw closed: appending fails");
        test::BoundTables tables;
        tables.dm.cdsSeaRaw.close();
        addDeltaRow(tables.dm.cdsDeltaT);
        SheetImport import(wb.reader, tables.dm.cdsSeaRaw, tables.dm.cdsDeltaT, tables.internal, status);
        EXPECT_THROW(import.run({2, 3, 1, 2, 3}), data::TableError);
        EXPECT_EQ(tables.dm.cdsDeltaT.rowCount(), 1);
        EXPECT_FALSE(tables.dm.cdsSeaRaw.controlsDisabled());
        EXPECT_EQ(status.panel(0), "");
    }
    {
        SCOPED_TRACE("internal folder gone: saving SeaRaw fails, DeltaT is not rebuilt");
        test::BoundTables tables;
        addDeltaRow(tables.dm.cdsDeltaT);
        SheetImport import(wb.reader, tables.dm.cdsSeaRaw, tables.dm.cdsDeltaT, tables.internal + "/missing", status);
        EXPECT_THROW(import.run({2, 3, 1, 2, 3}), data::TableError);
        EXPECT_EQ(tables.dm.cdsSeaRaw.rowCount(), 2);
        EXPECT_EQ(tables.dm.cdsDeltaT.rowCount(), 1);
    }
}

TEST(FindLastRow, RaisesTheToRowToTheEndOfTheAgeColumn)
{
    struct Case {
        const char* name;
        const char16_t* sheet;
        int column;
        int toRowBefore;
        int toRowAfter;
    };
    const Case cases[] = {
        {"a word counts as data; the empty age of row 10 ends it", u"Points", 1, 0, 9},
        {"ends at row 100", u"NoError", 1, 0, 100},
        {"the to-row of an earlier import is kept when larger", u"NoError", 1, 500, 500},
        {"row 2 empty: nothing found", u"Row2Empty", 1, 0, 0},
        {"row 2 empty keeps the earlier to-row", u"Row2Empty", 1, 40, 40},
        {"an empty column", u"Points", 4, 7, 7},
        {"column AA", u"Wide", 27, 0, 4},
    };
    for (const char* writer : Writers) {
        Workbook wb(writer);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(writer) + ": " + c.name);
            wb.activate(c.sheet);
            int toRow = c.toRowBefore;
            findLastRow(wb.reader, c.column, toRow);
            EXPECT_EQ(toRow, c.toRowAfter);
        }
    }
}

TEST(FindLastRow, ErrorsPassOnAndKeepWhatWasRaised)
{
    Workbook wb(Writers[0]);
    wb.activate(u"Points");
    int toRow = 3;
    EXPECT_THROW(findLastRow(wb.reader, OmittedColumn, toRow), xls::QueryError);
    EXPECT_THROW(findLastRow(wb.reader, 257, toRow), xls::QueryError);
    EXPECT_EQ(toRow, 3);

    xls::TXLSAdapter adapter;
    xls::TXlsImport closed;
    closed.SetAdapter(&adapter);
    EXPECT_THROW(findLastRow(closed, 1, toRow), xls::QueryError);
    EXPECT_EQ(toRow, 3);
}

} // namespace
} // namespace quorvane
