#include <cmath>
#include <cstring>
// Cell encodings when a value is set, and the cell records the writer makes of them.
#include "write_support.h"

#include "xls/cellvalue.h"
#include "xls/errors.h"
#include "xls/write/cells.h"
#include "xls/write/messages.h"
#include "xls/write/writer.h"

#include <gtest/gtest.h>

using namespace quorvane::xls;
using namespace quorvane::xls::test;

namespace {

std::unique_ptr<TWorkbook> emptyBook()
{
    auto book = std::make_unique<TWorkbook>();
    book->load(emptyWorkbookStream());
    return book;
}

// The records of the first worksheet's substream in a written stream.
std::vector<WrittenRecord> sheetRecords(TWorkbook& book)
{
    const Bytes stream = saveToBytes(book);
    auto all = recordsOf(stream);
    std::vector<WrittenRecord> out;
    int bofs = 0;
    for (auto& r : all) {
        if (r.id == rid::Bof)
            ++bofs;
        if (bofs == 2)
            out.push_back(r);
    }
    return out;
}

std::uint16_t u16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }
std::uint32_t u32(const Bytes& b, std::size_t at) { return u16(b, at) | static_cast<std::uint32_t>(u16(b, at + 2)) << 16; }

TEST(EncodeRK, ValuesOfTheWorkedExamples)
{
    struct Case {
        const char* name;
        double x;
        std::optional<std::uint32_t> rk;
    } cases[] = {
        {"high half of the double", 0.5, 0x3FE00000u},
        {"high half of 123.0, divided by 100", 1.23, 0x405EC001u},
        {"30-bit integer", 123456789.0, 0x1D6F3456u},
        {"too large for 30 bits, not exact in 34 bits", 1e10, std::nullopt},
        {"zero", 0.0, 0x00000000u},
        {"negative integer", -1.0, 0xBFF00000u},
        {"largest 30-bit integer", 536870911.0, 0x7FFFFFFEu | 0x2u},
        {"-2^29 is exact in the high half", -536870912.0, 0xC1C00000u},
        {"smallest 30-bit integer not exact in the high half", -536870911.0, 0x80000006u},
        {"integer after scaling by 100", 12345.67, 0x004B5A1Fu},
        {"not a whole number even after scaling", 0.07, std::nullopt},
        {"a third needs a NUMBER", 1.0 / 3.0, std::nullopt},
        // Times 100 rounds to exactly 46, which would read back as 0.46: a NUMBER.
        {"scaling that rounds onto a whole number", 0.45999999999999996, std::nullopt},
        {"-0.0 keeps its sign in the high half", -0.0, 0x80000000u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto rk = encodeRK(c.x);
        EXPECT_EQ(rk, c.rk);
        if (rk)
            EXPECT_EQ(decodeRK(*rk), c.x);
    }
}

TEST(EncodeRK, EveryFormChosenReadsBackBitForBit)
{
    // Values with two decimals, and their neighbours one unit in the last place
    // away: the neighbours are where scaling by 100 rounds.
    int encoded = 0;
    for (int k = -200000; k <= 200000; k += 7) {
        const double base = k / 100.0;
        for (double x : {base, std::nextafter(base, 1e300), std::nextafter(base, -1e300)}) {
            if (const auto rk = encodeRK(x)) {
                ++encoded;
                const double back = decodeRK(*rk);
                ASSERT_EQ(std::memcmp(&back, &x, sizeof x), 0) << std::hexfloat << x << " read back as " << back;
            }
        }
    }
    EXPECT_GT(encoded, 50000) << "most two-decimal values still take the short form";
}

TEST(SetCellValue, RecordsByKind)
{
    auto book = emptyBook();
    TWorkSheet& ws = worksheet(*book, 0);
    struct Case {
        const char* name;
        CellVariant value;
        std::uint16_t id;
    } cases[] = {
        {"RK number", 0.5, rid::Rk},
        {"NUMBER", 1e10, rid::Number},
        {"text", std::u16string(u"Age"), rid::LabelSst},
        {"16-bit text", std::u16string(u"\u0394-Daten"), rid::LabelSst},
        {"boolean", true, rid::BoolErr},
    };
    int col = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setCellValue(ws, book->sst(), 0, col, c.value);
        const TCellRecord* cell = ws.cells.cell(0, col);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->id(), c.id);
        EXPECT_EQ(cell->xf(), DefaultCellXF);
        EXPECT_EQ(cell->value(), c.value);
        ++col;
    }
    // The ROW record spans the cells set.
    ASSERT_NE(ws.cells.rowRecord(0), nullptr);
    EXPECT_EQ(ws.cells.rowRecord(0)->firstCol(), 0);
    EXPECT_EQ(ws.cells.rowRecord(0)->lastColPlus1(), col);

    // An error value and an empty text store nothing where the format is the default.
    setCellValue(ws, book->sst(), 0, 0, CellError{u"#N/A"});
    EXPECT_EQ(ws.cells.cell(0, 0), nullptr);
    setCellValue(ws, book->sst(), 0, 2, std::u16string());
    EXPECT_EQ(ws.cells.cell(0, 2), nullptr);
    // Off the sheet.
    EXPECT_THROW(setCellValue(ws, book->sst(), 65536, 0, 1.0), QueryError);
    EXPECT_THROW(setCellValue(ws, book->sst(), 0, 256, 1.0), QueryError);
}

TEST(SetCellValue, FormatRule)
{
    auto book = emptyBook();
    TWorkSheet& ws = worksheet(*book, 0);
    TSST& sst = book->sst();
    // COLINFO for columns 3..4 with XF 21.
    Bytes colinfo;
    put16(colinfo, 3);
    put16(colinfo, 4);
    put16(colinfo, 2930);
    put16(colinfo, 21);
    put16(colinfo, 0);
    put16(colinfo, 0);
    ws.colInfos.push_back(std::make_unique<TColInfoRecord>(rid::ColInfo, colinfo));

    setCellValue(ws, sst, 1, 0, 2.0, 30);
    EXPECT_EQ(ws.cells.cell(1, 0)->xf(), 30) << "the XF given";
    setCellValue(ws, sst, 1, 0, 3.0);
    EXPECT_EQ(ws.cells.cell(1, 0)->xf(), 30) << "the XF of the cell already there";
    setCellValue(ws, sst, 1, 3, 3.0);
    EXPECT_EQ(ws.cells.cell(1, 3)->xf(), 21) << "the COLINFO covering the column";
    setCellValue(ws, sst, 1, 5, 3.0);
    EXPECT_EQ(ws.cells.cell(1, 5)->xf(), 15) << "nothing else gives one";

    // A row with a default format of its own (bit 7 at offset 12, XF in bits 0..11 at 14).
    auto row = TRowRecord::create(4, 0, 0, 255);
    row->mutableBody().data()[12] |= 0x80;
    putU16(row->mutableBody().data() + 14, 40);
    ws.cells.addRowRecord(std::move(row));
    setCellValue(ws, sst, 4, 3, 1.0);
    EXPECT_EQ(ws.cells.cell(4, 3)->xf(), 40) << "the row's format before the column's";

    // Empty: a BLANK only where the format differs from the position's default.
    setCellValue(ws, sst, 2, 3, CellVariant{}, 22);
    ASSERT_NE(ws.cells.cell(2, 3), nullptr);
    EXPECT_EQ(ws.cells.cell(2, 3)->id(), rid::Blank);
    setCellValue(ws, sst, 2, 3, CellVariant{}, 21);
    EXPECT_EQ(ws.cells.cell(2, 3), nullptr);
}

TEST(SetCellValue, SharedStringReferenceCounts)
{
    auto book = emptyBook();
    TWorkSheet& ws = worksheet(*book, 0);
    TSST& sst = book->sst();
    const std::u16string a = u"Ratio";
    setCellValue(ws, sst, 0, 0, a);
    setCellValue(ws, sst, 1, 0, a);
    ASSERT_EQ(sst.count(), 1u);
    const std::uint32_t entry = sst.entryAt(0);
    EXPECT_EQ(sst.refCount(entry), 2);
    setCellValue(ws, sst, 1, 0, std::u16string(u"Error"));
    EXPECT_EQ(sst.refCount(entry), 1);
    setCellValue(ws, sst, 0, 0, 7.0);
    EXPECT_EQ(sst.refCount(entry), 0);

    // The string no cell uses is not written: the SST holds "Error" alone.
    const Bytes stream = saveToBytes(*book);
    for (const auto& r : recordsOf(stream)) {
        if (r.id != rid::Sst)
            continue;
        EXPECT_EQ(u32(r.body, 0), 1u) << "total references";
        EXPECT_EQ(u32(r.body, 4), 1u) << "unique strings";
        EXPECT_EQ(r.body[8], 5);
    }
    auto reread = std::make_unique<TWorkbook>();
    reread->load(stream);
    EXPECT_EQ(worksheet(*reread, 0).cells.cell(1, 0)->value(), CellVariant(std::u16string(u"Error")));
}

TEST(SetCellValue, ATextLongerThanACellHoldsIsRefusedAndTheCellKept)
{
    auto book = emptyBook();
    TWorkSheet& ws = worksheet(*book, 0);
    setCellValue(ws, book->sst(), 0, 0, std::u16string(32767, u'x')); // the longest a cell holds
    EXPECT_EQ(std::get<std::u16string>(ws.cells.cell(0, 0)->value()).size(), 32767u);
    setCellValue(ws, book->sst(), 1, 0, 1.5);
    try {
        setCellValue(ws, book->sst(), 1, 0, std::u16string(70000, u'y')); // would wrap the 16-bit count
        FAIL() << "accepted";
    } catch (const WriteError& e) {
        EXPECT_STREQ(e.what(), "Text of 70000 characters is too long for a cell (at most 32767)");
    }
    EXPECT_EQ(ws.cells.cell(1, 0)->value(), CellVariant(1.5));
}

TEST(SetCellValue, RemovingCellsEmptiesRows)
{
    auto book = emptyBook();
    TWorkSheet& ws = worksheet(*book, 0);
    setCellValue(ws, book->sst(), 3, 1, 1.0);
    setCellValue(ws, book->sst(), 9, 2, 1.0);
    setCellValue(ws, book->sst(), 9, 6, 1.0);
    EXPECT_EQ(ws.cells.rowRecord(9)->firstCol(), 2);
    EXPECT_EQ(ws.cells.rowRecord(9)->lastColPlus1(), 7);
    removeCell(ws, 9, 2);
    removeCell(ws, 9, 6);
    EXPECT_EQ(ws.cells.rowRecord(9), nullptr) << "an unformatted row loses its ROW record";
    EXPECT_EQ(ws.cells.rowCount(), 4) << "rows emptied at the end are dropped";
    EXPECT_EQ(ws.cells.rowRecordCount(), 4);
}

TEST(WriteCells, RunsOfRkBecomeMulRk)
{
    // Three RK cells in columns 2, 3 and 5: one MULRK (2..3) and one RK (5); two blanks
    // in columns 7 and 8 join into a MULBLANK.
    auto book = emptyBook();
    TWorkSheet& ws = worksheet(*book, 0);
    setCellValue(ws, book->sst(), 0, 2, 1.0);
    setCellValue(ws, book->sst(), 0, 3, 2.0, 16);
    setCellValue(ws, book->sst(), 0, 5, 3.0);
    setCellValue(ws, book->sst(), 0, 7, CellVariant{}, 17);
    setCellValue(ws, book->sst(), 0, 8, CellVariant{}, 18);
    std::vector<std::uint16_t> ids;
    for (const auto& r : sheetRecords(*book)) {
        if (r.id == rid::MulRk) {
            EXPECT_EQ(r.body.size(), 6u + 12u);
            EXPECT_EQ(u16(r.body, 2), 2) << "first column";
            EXPECT_EQ(u16(r.body, 4), 15);
            EXPECT_EQ(u32(r.body, 6), *encodeRK(1.0));
            EXPECT_EQ(u16(r.body, 10), 16);
            EXPECT_EQ(u32(r.body, 12), *encodeRK(2.0));
            EXPECT_EQ(u16(r.body, 16), 3) << "last column";
        }
        if (r.id == rid::Rk)
            EXPECT_EQ(u16(r.body, 2), 5);
        if (r.id == rid::MulBlank) {
            EXPECT_EQ(r.body, (Bytes{0, 0, 7, 0, 17, 0, 18, 0, 8, 0}));
        }
        if (r.id == rid::Dimensions)
            EXPECT_EQ(r.body, (Bytes{0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 9, 0, 0, 0}));
        ids.push_back(r.id);
    }
    const std::vector<std::uint16_t> cellIds(std::find(ids.begin(), ids.end(), rid::Row), ids.end() - 2);
    EXPECT_EQ(cellIds, (std::vector<std::uint16_t>{rid::Row, rid::MulRk, rid::Rk, rid::MulBlank}));
}

TEST(WriteCells, RowsInBlocksOf32)
{
    auto book = emptyBook();
    TWorkSheet& ws = worksheet(*book, 0);
    for (int r : {0, 31, 32, 70})
        setCellValue(ws, book->sst(), r, 0, static_cast<double>(r));
    std::vector<std::pair<std::uint16_t, int>> order; // id, row
    for (const auto& r : sheetRecords(*book))
        if (r.id == rid::Row || r.id == rid::Rk)
            order.push_back({r.id, u16(r.body, 0)});
    const std::vector<std::pair<std::uint16_t, int>> expected = {
        {rid::Row, 0}, {rid::Row, 31}, {rid::Rk, 0}, {rid::Rk, 31},
        {rid::Row, 32}, {rid::Rk, 32}, {rid::Row, 70}, {rid::Rk, 70}};
    EXPECT_EQ(order, expected);
}

TEST(WriteCells, FormulaWithResetResultAndArray)
{
    Biff b;
    b.globals({"S"});
    b.bof(0x0010);
    Bytes result;
    putF64(result, 42.0);
    b.formula(1, 1, result, {0x1E, 0x2A, 0x00}); // =42
    b.rec(0x0221, Bytes{1, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 3, 0, 0x1E, 0x2A, 0x00});
    b.rec(0x0207, str8("cached"));
    b.window2();
    b.eof();
    auto book = std::make_unique<TWorkbook>();
    book->load(b.data);
    std::vector<std::uint16_t> ids;
    for (const auto& r : sheetRecords(*book)) {
        ids.push_back(r.id);
        if (r.id == rid::Formula) {
            EXPECT_EQ(r.body[6], 2);
            EXPECT_EQ(u16(r.body, 12), 0xFFFF);
            EXPECT_TRUE(r.body[14] & 0x02) << "calculate on load";
        }
    }
    const auto f = std::find(ids.begin(), ids.end(), rid::Formula);
    ASSERT_NE(f, ids.end());
    EXPECT_EQ(*(f + 1), rid::Array);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), rid::String), 0);
}

} // namespace
