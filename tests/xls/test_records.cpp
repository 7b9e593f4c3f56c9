// Records, shared strings, cell values and the workbook loader, on record streams built
// byte by byte (tests/xls/biff_builder.h), so each case holds exactly its fault.
#include "biff_builder.h"

#include "xls/errors.h"
#include "xls/excelstring.h"
#include "xls/formula.h"
#include "xls/sst.h"
#include "xls/workbook.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quorvane::xls;
using namespace quorvane::xls::test;

namespace {

std::string loadError(const Bytes& stream)
{
    TWorkbook book;
    try {
        book.load(stream);
    } catch (const XlsError& e) {
        return e.what();
    }
    return "(loaded)";
}

const TWorkSheet& sheet(const TWorkbook& book, std::size_t i)
{
    return dynamic_cast<const TWorkSheet&>(*book.sheets().at(i));
}

Bytes resultNumber(double d)
{
    Bytes b;
    putF64(b, d);
    return b;
}
// A non-number cached result: type byte, value byte, then the 0xFFFF marker.
Bytes resultSpecial(std::uint8_t type, std::uint8_t value)
{
    return {type, 0, value, 0, 0, 0, 0xFF, 0xFF};
}

} // namespace

TEST(CellValues, RkDecoding)
{
    struct Case {
        const char* name;
        std::uint32_t rk;
        double expected;
    };
    const Case cases[] = {
        {"integer 0 (bit 1 set)", 0x00000002, 0.0},
        {"integer 150 divided by 100", (150u << 2) | 0x3, 1.5},
        {"negative integer -7", static_cast<std::uint32_t>(-7 * 4) | 0x2, -7.0},
        {"largest 30-bit integer", (0x1FFFFFFFu << 2) | 0x2, 536870911.0},
        {"smallest 30-bit integer", 0x80000002u, -536870912.0},
        {"float 0.5 (high half of the double)", 0x3FE00000, 0.5},
        {"float 123.0 divided by 100", 0x405EC001, 1.23},
        // The two low bits of the double's high half are lost: 1/3 reads back rounded.
        {"float keeps 30 bits", 0x3FD55555 & ~0x3u, [] {
             std::uint64_t bits = static_cast<std::uint64_t>(0x3FD55554u) << 32;
             double d;
             std::memcpy(&d, &bits, 8);
             return d;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeRK(c.rk), c.expected);
    }
}

TEST(CellValues, ErrorTexts)
{
    const std::pair<std::uint8_t, std::u16string> table[] = {
        {0x00, u"#NULL!"}, {0x07, u"#DIV/0!"}, {0x0F, u"#VALUE!"}, {0x17, u"#REF!"},
        {0x1D, u"#NAME?"}, {0x24, u"#NUM!"},   {0x2A, u"#N/A"},    {0x55, u"#NULL!"},
    };
    for (const auto& [code, text] : table) {
        SCOPED_TRACE(code);
        EXPECT_EQ(errorText(code), text);
    }
    EXPECT_FALSE(knownErrorText(0x55));
}

TEST(Strings, EightBitContinuedAsSixteenBit)
{
    // "ab" in the SST record, then a CONTINUE whose flags byte says 16-bit: "\u03A9c".
    Bytes sstBody;
    put32(sstBody, 1);
    put32(sstBody, 1);
    put16(sstBody, 4);
    sstBody.push_back(0);
    sstBody.push_back('a');
    sstBody.push_back('b');
    Bytes cont{1};
    put16(cont, 0x03A9);
    put16(cont, 'c');
    Biff b;
    b.bof(0x0005).boundSheet("S").rec(0x00FC, sstBody).rec(0x003C, cont).eof();
    b.bof(0x0010).labelSst(0, 0, 0).eof();
    TWorkbook book;
    book.load(b.data);
    ASSERT_EQ(book.sst().count(), 1u);
    EXPECT_EQ(book.sst().text(book.sst().entryAt(0)), u"ab\u03A9c");
    EXPECT_EQ(std::get<std::u16string>(sheet(book, 0).cells.cell(0, 0)->value()), u"ab\u03A9c");
    // One entry, now stored 16-bit as a whole.
    EXPECT_EQ(book.sst().storedForm(book.sst().entryAt(0))[2] & 0x01, 1);
}

TEST(Strings, SixteenBitContinuedAsEightBitAndRunsAcrossTheBoundary)
{
    // 16-bit "\u0416" then an 8-bit continuation "xy"; two runs whose bytes straddle the
    // next boundary without a flags byte.
    Bytes sstBody;
    put32(sstBody, 1);
    put32(sstBody, 1);
    put16(sstBody, 3);
    sstBody.push_back(0x09); // 16-bit, runs
    put16(sstBody, 2);
    put16(sstBody, 0x0416);
    Bytes cont1{0, 'x', 'y', 0, 0, 1};
    Bytes cont2{0, 1, 0, 2, 0};
    Biff b;
    b.bof(0x0005).rec(0x00FC, sstBody).rec(0x003C, cont1).rec(0x003C, cont2).eof();
    TWorkbook book;
    book.load(b.data);
    ASSERT_EQ(book.sst().count(), 1u);
    EXPECT_EQ(book.sst().text(book.sst().entryAt(0)), u"\u0416xy");
}

TEST(Strings, ReadingPastTheChainFails)
{
    struct Case {
        const char* name;
        Bytes sst;
        std::vector<Bytes> continues;
    };
    Bytes head;
    put32(head, 1);
    put32(head, 1);
    const Case cases[] = {
        {"characters cut short, no continuation", cat({head, Bytes{5, 0, 0, 'a', 'b'}}), {}},
        {"16-bit character split by the boundary", cat({head, Bytes{2, 0, 1, 'a'}}), {Bytes{1, 0, 'b', 0}}},
        {"runs cut short", cat({head, Bytes{1, 0, 0x08, 3, 0, 'a', 0, 0}}), {}},
        {"extension size beyond the data", cat({head, Bytes{1, 0, 0x04, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}}), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Biff b;
        b.bof(0x0005).rec(0x00FC, c.sst);
        for (const auto& k : c.continues)
            b.rec(0x003C, k);
        b.eof();
        EXPECT_EQ(loadError(b.data), "Error reading record");
    }
}

TEST(Strings, StoredFormRoundTrip)
{
    const TExcelString s = TExcelString::fromText(u"Gr\u00FC\u00DFe");
    EXPECT_FALSE(s.isWide()); // every character below 256
    const Bytes stored = s.storedForm();
    EXPECT_EQ(stored, str8("Gr\xFC\xDF" "e"));
    EXPECT_TRUE(TExcelString::fromText(u"\u03A9").isWide());
}

TEST(SharedStrings, OrderFindAndReferenceCounts)
{
    TSST sst;
    const Bytes longer = str8("abc");
    const Bytes b8 = str8("zz");
    const Bytes b16 = str16(u"zz");
    const std::uint32_t e1 = sst.addString(longer);
    const std::uint32_t e2 = sst.addString(b16);
    const std::uint32_t e3 = sst.addString(b8);
    // Order: by total length first (8-bit "zz" is 5 bytes, "abc" 6, 16-bit "zz" 7).
    ASSERT_EQ(sst.count(), 3u);
    EXPECT_EQ(sst.entries()[0], e3);
    EXPECT_EQ(sst.entries()[1], e1);
    EXPECT_EQ(sst.entries()[2], e2);
    // Same text, 8-bit and 16-bit: different entries.
    EXPECT_NE(e2, e3);
    EXPECT_EQ(sst.find(b16), e2);
    EXPECT_EQ(sst.find(str8("zy")), std::nullopt);
    EXPECT_EQ(sst.addString(b8), e3);
    EXPECT_EQ(sst.refCount(e3), 2);
    sst.release(e3);
    EXPECT_EQ(sst.refCount(e3), 1);
    // A count that reaches 0xFFFF stays there: the string is never taken for unused.
    for (int i = 0; i < 70000; ++i)
        sst.addRef(e1);
    EXPECT_EQ(sst.refCount(e1), 0xFFFF);
    sst.release(e1);
    EXPECT_EQ(sst.refCount(e1), 0xFFFF);
}

TEST(SharedStrings, LabelSstHoldsAReferenceAndIndexIsChecked)
{
    Biff ok;
    ok.globals({"S"}, {str8("x"), str8("y")});
    ok.bof(0x0010).labelSst(0, 0, 1).labelSst(1, 0, 1).eof();
    TWorkbook book;
    book.load(ok.data);
    const TCellRecord* c = sheet(book, 0).cells.cell(1, 0);
    const auto* label = dynamic_cast<const TLabelSSTRecord*>(c);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(book.sst().refCount(label->entry()), 2);
    EXPECT_EQ(std::get<std::u16string>(label->value()), u"y");

    Biff bad;
    bad.globals({"S"}, {str8("x")});
    bad.bof(0x0010).labelSst(0, 0, 1).eof();
    EXPECT_EQ(loadError(bad.data), "Error reading Excel records. File invalid");
}

TEST(Records, CellKindsAndTheirValues)
{
    Biff b;
    b.globals({"S"});
    b.bof(0x0010)
        .number(0, 0, 0.709175)
        .rk(0, 1, (150u << 2) | 0x3)
        .label(0, 2, str16(u"\u0394-Daten"))
        .boolErr(0, 3, 1, false)
        .boolErr(0, 4, 0, false)
        .boolErr(0, 5, 0x2A, true)
        .blank(0, 6)
        .eof();
    TWorkbook book;
    book.load(b.data);
    const TCells& cells = sheet(book, 0).cells;
    EXPECT_EQ(std::get<double>(cells.cell(0, 0)->value()), 0.709175);
    EXPECT_EQ(std::get<double>(cells.cell(0, 1)->value()), 1.5);
    EXPECT_EQ(std::get<std::u16string>(cells.cell(0, 2)->value()), u"\u0394-Daten");
    EXPECT_EQ(std::get<bool>(cells.cell(0, 3)->value()), true);
    EXPECT_EQ(std::get<bool>(cells.cell(0, 4)->value()), false);
    EXPECT_EQ(std::get<CellError>(cells.cell(0, 5)->value()).text, u"#N/A");
    EXPECT_TRUE(isEmpty(cells.cell(0, 6)->value()));
    EXPECT_EQ(cells.cell(0, 7), nullptr);
    EXPECT_EQ(cells.cell(0, 0)->cellValue().xf, 15);
}

TEST(Records, MulRkAndMulBlankExpandWithTheirOwnXf)
{
    Bytes mulrk;
    put16(mulrk, 4);
    put16(mulrk, 2);
    for (std::uint16_t k = 0; k < 3; ++k) {
        put16(mulrk, static_cast<std::uint16_t>(20 + k));
        put32(mulrk, (static_cast<std::uint32_t>(k + 1) << 2) | 0x2);
    }
    put16(mulrk, 4);
    Bytes mulblank;
    put16(mulblank, 5);
    put16(mulblank, 0);
    put16(mulblank, 30);
    put16(mulblank, 31);
    put16(mulblank, 1);
    Biff b;
    b.globals({"S"});
    b.bof(0x0010).rec(0x00BD, mulrk).rec(0x00BE, mulblank).eof();
    TWorkbook book;
    book.load(b.data);
    const TCells& cells = sheet(book, 0).cells;
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const TCellRecord* c = cells.cell(4, 2 + k);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->id(), 0x027E);
        EXPECT_EQ(c->xf(), 20 + k);
        EXPECT_EQ(std::get<double>(c->value()), k + 1.0);
    }
    EXPECT_EQ(cells.cell(4, 5), nullptr);
    EXPECT_EQ(cells.cell(5, 0)->xf(), 30);
    EXPECT_EQ(cells.cell(5, 1)->xf(), 31);
    EXPECT_EQ(cells.cell(5, 2), nullptr);
    // Rows with cells but no ROW record got one spanning their cells.
    ASSERT_NE(cells.rowRecord(4), nullptr);
    EXPECT_EQ(cells.rowRecord(4)->firstCol(), 2);
    EXPECT_EQ(cells.rowRecord(4)->lastColPlus1(), 5);
}

TEST(Records, FormulaCachedResultsAndTheirReset)
{
    const Bytes tokens{0x1E, 0x2A, 0x00}; // PtgInt 42
    Biff b;
    b.globals({"S"});
    b.bof(0x0010)
        .formula(0, 0, resultNumber(42.0), tokens)
        .formula(1, 0, resultSpecial(0, 0), tokens)
        .rec(0x0207, str8("abcdef"))
        .formula(2, 0, resultSpecial(1, 1), tokens)
        .formula(3, 0, resultSpecial(2, 0x07), tokens)
        .formula(4, 0, resultSpecial(3, 0), tokens)
        .formula(5, 0, resultSpecial(2, 0x55), tokens)
        .eof();
    TWorkbook book;
    book.load(b.data);
    const TCells& cells = sheet(book, 0).cells;
    EXPECT_EQ(std::get<double>(cells.cell(0, 0)->value()), 42.0);
    EXPECT_EQ(std::get<std::u16string>(cells.cell(1, 0)->value()), u"abcdef");
    EXPECT_EQ(std::get<bool>(cells.cell(2, 0)->value()), true);
    EXPECT_EQ(std::get<CellError>(cells.cell(3, 0)->value()).text, u"#DIV/0!");
    EXPECT_TRUE(isEmpty(cells.cell(4, 0)->value())); // type 3: empty text
    EXPECT_TRUE(isEmpty(cells.cell(5, 0)->value())); // error code outside the table
    EXPECT_TRUE(cells.cell(0, 0)->isFormula());
    // Every formula is kept as needing calculation.
    const ByteSpan body = cells.cell(0, 0)->body();
    EXPECT_EQ(body[6], 2);
    for (int i = 7; i < 12; ++i)
        EXPECT_EQ(body[i], 0) << i;
    EXPECT_EQ(getU16(body.data() + 12), 0xFFFF);
    EXPECT_EQ(body[14] & 0x02, 0x02);
    EXPECT_EQ(getU32(body.data() + 16), 0u);
}

TEST(Records, SharedFormulaIsExpandedAndRebased)
{
    // B1 = A1*2 shared down to B3: the SHRFMLA holds PtgRefN(row +0, col -1) PtgInt 2 PtgMul.
    Bytes shared;
    put16(shared, 0);
    put16(shared, 2);
    shared.push_back(1);
    shared.push_back(1);
    shared.push_back(0);
    shared.push_back(3);
    const Bytes tokens{0x4C, 0x00, 0x00, 0xFF, 0xC0, 0x1E, 0x02, 0x00, 0x05};
    put16(shared, static_cast<std::uint16_t>(tokens.size()));
    shared.insert(shared.end(), tokens.begin(), tokens.end());
    const Bytes exp{0x01, 0x00, 0x00, 0x01, 0x00}; // PtgExp anchor (0, 1)
    Biff b;
    b.globals({"S"});
    b.bof(0x0010)
        .formula(0, 1, resultNumber(2), exp)
        .rec(0x04BC, shared)
        .formula(1, 1, resultNumber(4), exp)
        .formula(2, 1, resultNumber(6), exp)
        .eof();
    TWorkbook book;
    book.load(b.data);
    const TCells& cells = sheet(book, 0).cells;
    for (std::uint16_t r = 0; r < 3; ++r) {
        SCOPED_TRACE(r);
        const auto* f = dynamic_cast<const TFormulaRecord*>(cells.cell(r, 1));
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->bodySize(), shared.size() + 12);
        const ByteSpan t = f->tokens();
        ASSERT_EQ(t.size(), tokens.size());
        EXPECT_EQ(t[0], 0x44); // PtgRef, value class
        EXPECT_EQ(getU16(t.data() + 1), r);
        EXPECT_EQ(getU16(t.data() + 3), 0xC000); // column A, both relative
        EXPECT_EQ(std::get<double>(f->value()), 2.0 * (r + 1));
    }
}

TEST(Records, UnsupportedTokenInASharedFormula)
{
    Bytes shared{0, 0, 0, 0, 0, 0, 0, 1};
    put16(shared, 2);
    shared.push_back(0x18); // PtgExtend: not handled
    shared.push_back(0x01);
    Biff b;
    b.globals({"S"});
    b.bof(0x0010).formula(4, 2, resultNumber(0), {0x01, 0x04, 0x00, 0x02, 0x00}).rec(0x04BC, shared).eof();
    EXPECT_EQ(loadError(b.data), "Formula at Row 5, column 3 is not supported. Token Id: 0x18");
}

TEST(Formula, TokenSizes)
{
    struct Case {
        const char* name;
        Bytes tokens;
        std::size_t size;
    };
    const Case cases[] = {
        {"PtgAdd", {0x03}, 1},
        {"PtgInt", {0x1E, 1, 0}, 3},
        {"PtgNum", {0x1F, 0, 0, 0, 0, 0, 0, 0, 0}, 9},
        {"PtgStr 8-bit", {0x17, 2, 0, 'a', 'b'}, 5},
        {"PtgStr 16-bit", {0x17, 1, 1, 'a', 0}, 5},
        {"PtgAttr sum", {0x19, 0x10, 0, 0}, 4},
        {"PtgAttr choose of 2", {0x19, 0x04, 2, 0, 0, 0, 0, 0, 0, 0}, 10},
        {"PtgRef3d (array class)", {0x7A, 0, 0, 0, 0, 0, 0}, 7},
        {"PtgArea3d", {0x3B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 11},
        {"PtgFuncVar", {0x42, 1, 0, 0}, 4},
        {"PtgNameX", {0x39, 0, 0, 0, 0, 0, 0}, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(formula::tokenSize(c.tokens, 0), c.size);
    }
    const Bytes cut{0x1F, 0, 0};
    EXPECT_EQ(formula::tokenSize(cut, 0), std::nullopt);
    const Bytes unknown{0x30};
    EXPECT_EQ(formula::walk(unknown, [](std::size_t, std::uint8_t) {}), std::uint8_t{0x30});
}

TEST(Loader, ReadRecordRulesAndFailures)
{
    struct Case {
        const char* name;
        Bytes stream;
        std::string error;
    };
    auto sheetWith = [](auto&& add) {
        Biff b;
        b.globals({"S"});
        b.bof(0x0010);
        add(b);
        b.eof();
        return b.data;
    };
    Biff biff5;
    biff5.bof(0x0005, 0x0500).eof();
    Biff encrypted;
    encrypted.bof(0x0005).rec(0x002F, {0, 0}).eof();
    Biff between;
    between.globals({"S"}).number(0, 0, 1);
    Biff cut;
    cut.globals({"S"}).bof(0x0010).number(0, 0, 1);
    Biff shortBody;
    shortBody.globals({"S"});
    shortBody.data.insert(shortBody.data.end(), {0x09, 0x08, 0x10, 0x00, 0x00, 0x06});
    Biff dupName;
    dupName.bof(0x0005).boundSheet("Data").boundSheet("Data").eof();

    const Case cases[] = {
        {"BIFF5 BOF", biff5.data, "Template file is saved with an invalid Excel version"},
        {"FILEPASS", encrypted.data, "File is password protected"},
        {"record between substreams", between.data, "Error reading Excel records. File invalid"},
        {"substream cut short", cut.data, "Error reading Excel records. File invalid"},
        {"body shorter than announced", shortBody.data, "Error reading Excel records. File invalid"},
        {"duplicate sheet name", dupName.data, "Sheet name already exists: Data"},
        {"STRING after a NUMBER", sheetWith([](Biff& b) { b.number(0, 0, 1).rec(0x0207, str8("x")); }),
         "Error reading Excel records. File invalid"},
        {"ARRAY after a NUMBER", sheetWith([](Biff& b) { b.number(0, 0, 1).rec(0x0221, Bytes(12, 0)); }),
         "Error reading Excel records. File invalid"},
        {"screen tip after a NUMBER", sheetWith([](Biff& b) { b.number(0, 0, 1).rec(0x0800, Bytes(10, 0)); }),
         "Error reading Excel records. File invalid"},
        {"SHRFMLA with no formula", sheetWith([](Biff& b) { b.rec(0x04BC, Bytes(10, 0)); }),
         "Error reading Excel records. File invalid"},
        {"BOF inside a worksheet", sheetWith([](Biff& b) { b.bof(0x0010); }),
         "Error reading Excel records. File invalid"},
        {"two ROW records for one row", sheetWith([](Biff& b) { b.row(3, 0, 1).row(3, 0, 1); }),
         "Duplicated ROW record"},
        {"NUMBER body too short", sheetWith([](Biff& b) { b.rec(0x0203, Bytes(8, 0)); }),
         "Error reading Excel records. File invalid"},
        {"LABEL text cut short", sheetWith([](Biff& b) { b.label(0, 0, Bytes{9, 0, 0, 'a'}); }),
         "Error reading record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(loadError(c.stream), c.error);
    }
}

TEST(Loader, ContinuationsChainAndAttachments)
{
    Biff b;
    b.globals({"S"});
    Bytes link(32, 0);
    b.bof(0x0010)
        .rec(0x1234, {1, 2, 3})
        .rec(0x003C, {4})
        .rec(0x003C, {5, 6})
        .formula(0, 0, resultNumber(1), {0x1E, 1, 0})
        .rec(0x0221, Bytes(14, 0))
        .rec(0x01B8, link)
        .rec(0x0800, Bytes(12, 0))
        .eof();
    TWorkbook book;
    book.load(b.data);
    const TWorkSheet& ws = sheet(book, 0);
    ASSERT_EQ(ws.head.size(), 1u);
    const TBaseRecord& unknown = *ws.head[0];
    EXPECT_EQ(unknown.bodySizeWithContinuations(), 6u);
    EXPECT_EQ(unknown.totalSize(), 4u + 3 + 4 + 1 + 4 + 2);
    std::vector<std::uint8_t> saved;
    unknown.clone()->save(saved);
    EXPECT_EQ(saved, (Bytes{0x34, 0x12, 3, 0, 1, 2, 3, 0x3C, 0, 1, 0, 4, 0x3C, 0, 2, 0, 5, 6}));
    const auto* f = dynamic_cast<const TFormulaRecord*>(ws.cells.cell(0, 0));
    ASSERT_NE(f, nullptr);
    EXPECT_NE(f->arrayRecord(), nullptr);
    ASSERT_EQ(ws.hyperlinks.size(), 1u);
    EXPECT_NE(ws.hyperlinks[0]->screenTip(), nullptr);
}

TEST(Loader, SheetKindsPlacementAndDefaults)
{
    Biff b;
    b.bof(0x0005);
    b.boundSheet("Data").boundSheet("Chart", 2).boundSheet("Macro", 1);
    b.rec(0x00E0, Bytes(20, 0)).rec(0x00E0, Bytes(20, 0)).rec(0x0293, Bytes(4, 0));
    b.rec(0x01BA, str8("ThisWorkbook")).rec(0x00D3, {});
    b.eof();
    Bytes merged;
    put16(merged, 1);
    put16(merged, 21);
    put16(merged, 22);
    put16(merged, 0);
    put16(merged, 2);
    b.bof(0x0010)
        .rec(0x0055, {10, 0})
        .rec(0x0225, {0, 0, 0x2C, 0x01})
        .row(0, 0, 1)
        .number(0, 0, 1)
        .window2()
        .rec(0x00E5, merged)
        .rec(0x00D7, {0, 0, 0, 0}) // DBCELL: dropped
        .eof();
    b.bof(0x0020).rec(0x1051, Bytes(8, 0)).rec(0x0809, {0, 6, 0x20, 0}).eof().eof();
    b.bof(0x0040).number(0, 0, 1).eof();
    TWorkbook book;
    book.load(b.data);
    const TWorkbookGlobals& g = book.globals();
    ASSERT_EQ(book.sheets().size(), 3u);
    EXPECT_NE(dynamic_cast<const TWorkSheet*>(book.sheets()[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<const TXlsChartSheet*>(book.sheets()[1].get()), nullptr);
    EXPECT_NE(dynamic_cast<const TXlsUnsupportedSheet*>(book.sheets()[2].get()), nullptr);
    EXPECT_EQ(g.xfs.size(), 2u);
    EXPECT_TRUE(g.hasMacros);
    EXPECT_EQ(g.codeName, u"ThisWorkbook");
    // The XF placeholder stands where the first XF stood; the palette insertion point is
    // after the STYLE record's position.
    ASSERT_FALSE(g.misc.empty());
    EXPECT_NE(dynamic_cast<const TSubListRecord*>(g.misc[0].get()), nullptr);
    EXPECT_EQ(g.paletteInsertionPoint, 1u);
    const TWorkSheet& ws = sheet(book, 0);
    EXPECT_EQ(ws.defaultColumnWidth, 10u * 293);
    EXPECT_EQ(ws.defaultRowHeight, 300);
    ASSERT_NE(ws.window2, nullptr);
    EXPECT_EQ(ws.head.size(), 2u); // DEFCOLWIDTH, DEFAULTROWHEIGHT
    ASSERT_EQ(ws.tail.size(), 1u); // WINDOW2
    EXPECT_EQ(ws.mergedRanges(), (std::vector<CellRange>{{21, 22, 0, 2}}));
    EXPECT_EQ(getU16(ws.cells.rowRecord(0)->body().data() + 8), 0); // cleared on reading
    const auto& chart = dynamic_cast<const TXlsChartSheet&>(*book.sheets()[1]);
    EXPECT_EQ(chart.records.size(), 3u); // chart AI and an embedded substream kept raw
}

TEST(Loader, LongContinueRunCostsNoStack)
{
    Biff b;
    b.globals({"S"});
    b.bof(0x0010).rec(0x1234, {1});
    for (int i = 0; i < 300000; ++i)
        b.rec(0x003C, {});
    b.eof();
    TWorkbook book;
    book.load(b.data);
    EXPECT_EQ(sheet(book, 0).head.at(0)->totalSize(), 5u + 4u * 300000);
}

TEST(Formula, ReferenceSitesForMovingRows)
{
    // =SUM(A2:B5)+C3+Sheet2!D4, then an invalid token.
    const Bytes tokens{0x25, 1, 0, 4, 0, 0x00, 0xC0, 0x01, 0xC0, // PtgArea A2:B5
                       0x44, 2, 0, 0x02, 0xC0,                  // PtgRef C3 (value class)
                       0x3A, 0, 0, 3, 0, 0x03, 0x00,            // PtgRef3d D4 absolute
                       0x03};
    const auto sites = formula::referenceSites(tokens);
    ASSERT_TRUE(sites);
    ASSERT_EQ(sites->size(), 4u);
    EXPECT_EQ((*sites)[0].rowField, 1u);
    EXPECT_EQ((*sites)[0].colField, 5u);
    EXPECT_EQ((*sites)[1].rowField, 3u);
    EXPECT_EQ((*sites)[1].colField, 7u);
    EXPECT_EQ((*sites)[2].rowField, 10u);
    EXPECT_EQ((*sites)[3].rowField, 17u);
    EXPECT_EQ(getU16(tokens.data() + (*sites)[3].rowField), 3);
    std::uint8_t bad = 0;
    EXPECT_FALSE(formula::referenceSites(Bytes{0x24, 0, 0, 0, 0, 0x31}, &bad));
    EXPECT_EQ(bad, 0x31);
}

TEST(Loader, CellsOutOfColumnOrderAreOrderedAndTheLaterDuplicateKept)
{
    Biff b;
    b.globals({"S"});
    b.bof(0x0010).number(0, 5, 5).number(0, 1, 1).number(0, 3, 3).number(0, 1, 11).number(2, 0, 7).eof();
    TWorkbook book;
    book.load(b.data);
    const TCells& cells = sheet(book, 0).cells;
    const auto* row = cells.row(0);
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->size(), 3u);
    EXPECT_EQ((*row)[0]->col(), 1);
    EXPECT_EQ((*row)[1]->col(), 3);
    EXPECT_EQ((*row)[2]->col(), 5);
    EXPECT_EQ(std::get<double>(cells.cell(0, 1)->value()), 11.0);
    EXPECT_EQ(cells.row(1)->size(), 0u);
    EXPECT_EQ(std::get<double>(cells.cell(2, 0)->value()), 7.0);
}

TEST(Records, EmptyLabelWithoutFlagsByte)
{
    // Some writers end an empty LABEL after its zero count.
    Biff b;
    b.globals({"S"});
    b.bof(0x0010).label(0, 0, Bytes{0, 0}).eof();
    TWorkbook book;
    book.load(b.data);
    EXPECT_EQ(std::get<std::u16string>(sheet(book, 0).cells.cell(0, 0)->value()), u"");
}

TEST(Records, ASecondContinuationIsRefused)
{
    TBaseRecord r(0x1234, Bytes{1});
    r.attachContinuation(std::make_unique<TContinueRecord>(0x003C, Bytes{2}));
    try {
        r.attachContinuation(std::make_unique<TContinueRecord>(0x003C, Bytes{3}));
        FAIL();
    } catch (const RecordError& e) {
        EXPECT_STREQ(e.what(), "Trying to add more than one CONTINUE record to the same record");
    }
}
