// Records that name rows besides the cells: array formulas, data tables, validations,
// conditional-format rules and chart series, on a template that LibreOffice wrote
// (tests/fixtures/report/band_kept_records.xls), after band rows are copied or deleted.
#include "support/temp_dir.h"
#include "write_support.h"

#include "xls/formula.h"
#include "xls/report/report.h"
#include "xls/report/rows.h"
#include "xls/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace quorvane::xls {
namespace {

std::string fixture(const std::string& name) { return std::string(QUORVANE_TEST_FIXTURES) + "/report/" + name; }

// Ages and ratios in memory, read through the cursor protocol of a table.
class Points final : public IXlsDataSet {
public:
    class Field final : public IXlsField {
    public:
        Field(Points& p, int i) : p_(p), i_(i) {}
        CellVariant value() const override { return asFloat(); }
        double asFloat() const override { return i_ == 0 ? p_.rows[p_.pos].first : p_.rows[p_.pos].second; }
        std::u16string displayName() const override { return fieldName(); }
        std::u16string fieldName() const override { return i_ == 0 ? u"Age" : u"Ratio"; }
        bool visible() const override { return true; }
        bool isDateTime() const override { return false; }
        bool isMemo() const override { return false; }

    private:
        Points& p_;
        int i_;
    };
    explicit Points(std::vector<std::pair<double, double>> r) : rows(std::move(r)) {}
    std::u16string name() const override { return u"cdsSeaSpl"; }
    void open() override {}
    void close() override {}
    bool active() const override { return true; }
    void first() override { pos = 0; }
    void last() override { pos = rows.empty() ? 0 : rows.size() - 1; }
    void next() override { if (pos < rows.size()) ++pos; }
    bool eof() const override { return pos >= rows.size(); }
    int recordCount() const override { return static_cast<int>(rows.size()); }
    int fieldCount() const override { return 2; }
    IXlsField& fieldByName(std::u16string_view n) override
    {
        for (auto& f : fields)
            if (equalNoCase(f.fieldName(), n))
                return f;
        throw std::runtime_error("Field '" + toUtf8(n) + "' not found");
    }
    IXlsField& field(int i) override { return fields[static_cast<std::size_t>(i)]; }

    std::vector<std::pair<double, double>> rows;
    std::size_t pos = 0;
    Field fields[2] = {Field(*this, 0), Field(*this, 1)};
};

using Rows = std::vector<int>;

// The rows a token array names, in token order: a PtgRefN/PtgAreaN row marked relative
// counts from `base`; -1 for a reference error.
Rows namedRows(ByteSpan t, int base = 0)
{
    Rows rows;
    for (std::size_t i = 0; i < t.size();) {
        const std::uint8_t b = formula::baseId(t[i]);
        auto at = [&](std::size_t row, std::size_t col, bool relForm) {
            const int r = getU16(t.data() + i + row);
            rows.push_back(relForm && (getU16(t.data() + i + col) & 0x8000) ? base + static_cast<std::int16_t>(r) : r);
        };
        switch (b) {
        case formula::PtgExp: case formula::PtgTbl: rows.push_back(getU16(t.data() + i + 1)); break;
        case formula::PtgRef: at(1, 3, false); break;
        case formula::PtgArea: at(1, 5, false); at(3, 7, false); break;
        case formula::PtgRefN: at(1, 3, true); break;
        case formula::PtgAreaN: at(1, 5, true); at(3, 7, true); break;
        case formula::PtgRef3d: at(3, 5, false); break;
        case formula::PtgArea3d: at(3, 7, false); at(5, 9, false); break;
        case 0x2A: case 0x2B: case 0x3C: case 0x3D: rows.push_back(-1); break;
        default: break;
        }
        const auto size = formula::tokenSize(t, i);
        if (!size)
            break;
        i += *size;
    }
    return rows;
}

// The first rows of ranges held at `at` as count, then 8 bytes a range.
Rows rangeRows(ByteSpan b, std::size_t at)
{
    Rows rows;
    for (std::size_t i = 0, n = getU16(b.data() + at); i < n; ++i)
        rows.push_back(getU16(b.data() + at + 2 + 8 * i));
    return rows;
}

// What a row move must keep in step, read back by the engine.
struct Kept {
    std::vector<std::pair<Rows, Rows>> validations;  // ranges' first rows, formula 1's rows
    std::vector<std::pair<Rows, Rows>> condFormats;  // ranges' first rows, rule's rows
    std::vector<std::pair<int, Rows>> arrays;        // anchor row, the array's rows then its formula's
    std::vector<std::pair<int, Rows>> arrayMembers;  // row of a PtgExp cell, the anchor it names
    std::vector<Rows> series;                        // rows of each chart reference
    std::uint32_t validationCount = 0;               // DVAL's
};

Kept keptOf(const TWorkbook& book)
{
    Kept k;
    const auto& s = static_cast<const TWorkSheet&>(*book.sheets()[0]);
    std::vector<const TBaseRecord*> records;
    for (const RecordList* list : {&s.head, &s.tail})
        for (const auto& r : *list)
            records.push_back(r.get());
    for (const TBaseRecord* r : records) {
        const ByteSpan b = r->body();
        if (r->id() == rid::DVal)
            k.validationCount = getU32(b.data() + 14);
        if (r->id() != 0x01BE)
            continue;
        std::size_t at = 4;
        for (int i = 0; i < 4; ++i)
            at += 3 + getU16(b.data() + at) * ((b[at + 2] & 1) ? 2 : 1);
        const std::size_t f1 = getU16(b.data() + at), f2 = getU16(b.data() + at + 4 + f1);
        const Rows ranges = rangeRows(b, at + 8 + f1 + f2);
        k.validations.push_back({ranges, namedRows(b.subspan(at + 4, f1), ranges.at(0))});
    }
    for (const auto& cf : s.condFormats) {
        const Rows ranges = rangeRows(cf.record->body(), 12);
        const ByteSpan rb = cf.rules.at(0)->body();
        const std::size_t f1 = getU16(rb.data() + 2), f2 = getU16(rb.data() + 4);
        k.condFormats.push_back({ranges, namedRows(rb.subspan(rb.size() - f1 - f2, f1), ranges.at(0))});
    }
    for (int r = 0; r < s.cells.rowCount(); ++r)
        for (const auto& c : *s.cells.row(r)) {
            const auto* f = dynamic_cast<const TFormulaRecord*>(c.get());
            if (!f)
                continue;
            if (const TArrayRecord* a = f->arrayRecord()) {
                const ByteSpan b = a->body();
                Rows rows{getU16(b.data()), getU16(b.data() + 2)};
                for (int x : namedRows(b.subspan(14, getU16(b.data() + 12))))
                    rows.push_back(x);
                k.arrays.push_back({r, rows});
            } else if (f->tokens().size() == 5 && formula::baseId(f->tokens()[0]) == formula::PtgExp) {
                k.arrayMembers.push_back({r, namedRows(f->tokens())});
            }
        }
    for (const auto& r : s.drawing.records)
        if (r->id() == rid::ChartAI && r->body()[1] == 2)
            k.series.push_back(namedRows(r->body().subspan(8, getU16(r->body().data() + 6))));
    return k;
}

class KeptRecords : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(fixture("band_kept_records.xls")))
            GTEST_SKIP() << "fixture missing";
        module.addDataSet(points);
        report.Adapter = &adapter;
        report.DataModule = &module;
        report.Template = fixture("band_kept_records.xls");
        report.FileName = dir.file("out.xls");
    }

    std::unique_ptr<TXLSFile> open(const std::string& path)
    {
        auto file = adapter.createFile();
        file->connect();
        file->openFile(path);
        return file;
    }

    test::TempDir dir;
    TXLSAdapter adapter;
    TXlsDataModule module;
    Points points{{}};
    TXlsReport report;
};

TEST_F(KeptRecords, TheTemplateHoldsWhatTheCasesNeed)
{
    // Row 1 (0-based) is the band; C4 (row 3) the limit; B6:B7 the list.
    const Kept k = keptOf(open(report.Template)->workbook());
    EXPECT_EQ(k.validations, (std::vector<std::pair<Rows, Rows>>{{{1}, {3}}, {{3}, {5, 6}}}));
    ASSERT_EQ(k.condFormats.size(), 2u);
    EXPECT_EQ(k.condFormats[1].second.back(), 6) << "the rule below the band names $B$7";
    EXPECT_EQ(k.arrays, (std::vector<std::pair<int, Rows>>{{1, {1, 1, 1, 1}}}));
    EXPECT_EQ(k.series, (std::vector<Rows>{{1}, {1}}));
}

TEST_F(KeptRecords, CopiedBandRowsTakeTheirRecordsAlongAndTheRestFollows)
{
    points.rows = {{1.5, 0.70781}, {2.5, 0.70782}, {3.5, 0.70783}};
    report.Run();
    auto out = open(report.FileName);
    const Kept k = keptOf(out->workbook());
    // Two copies of row 1: the limit C4 is now row 5, the list B6:B7 rows 7 and 8.
    EXPECT_EQ(k.validations, (std::vector<std::pair<Rows, Rows>>{{{1, 2, 3}, {5}}, {{5}, {7, 8}}}));
    EXPECT_EQ(k.validationCount, 2u);
    ASSERT_EQ(k.condFormats.size(), 2u);
    EXPECT_EQ(k.condFormats[0].first, (Rows{1, 2, 3})) << "the band's rule applies to every copy";
    EXPECT_EQ(k.condFormats[0].second.back(), 5) << "$C$4 follows";
    EXPECT_EQ(k.condFormats[0].second.front(), 4) << "a relative row below the band follows too";
    EXPECT_EQ(k.condFormats[1].first, (Rows{5}));
    EXPECT_EQ(k.condFormats[1].second, (Rows{8, 8})) << "a relative row and $B$7 both follow the moved rule";
    EXPECT_EQ(k.arrays, (std::vector<std::pair<int, Rows>>{{1, {1, 1, 1, 1}}, {2, {2, 2, 2, 2}}, {3, {3, 3, 3, 3}}}));
    EXPECT_EQ(k.arrayMembers, (std::vector<std::pair<int, Rows>>{{1, {1}}, {2, {2}}, {3, {3}}}))
        << "each copy's second cell names its own anchor";
    EXPECT_EQ(k.series, (std::vector<Rows>{{1, 3}, {1, 3}})) << "a series over the band row covers its copies";

    const auto python = test::xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    const test::SeenBook seen = test::xlrdCells(*python, report.FileName, test::formulaCells(out->workbook()));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen.sheets.at(0).at({1 + i, 0}).number, points.rows[i].first);
        EXPECT_EQ(seen.sheets.at(0).at({1 + i, 1}).number, points.rows[i].second);
    }
    EXPECT_EQ(seen.sheets.at(0).at({5, 2}).number, 1.5) << "the limit moved with its rows";
}

TEST_F(KeptRecords, ADeletedBandTakesItsRecordsAlong)
{
    report.Run();
    auto out = open(report.FileName);
    const Kept k = keptOf(out->workbook());
    EXPECT_EQ(k.validations, (std::vector<std::pair<Rows, Rows>>{{{2}, {4, 5}}}));
    EXPECT_EQ(k.validationCount, 1u) << "DVAL counts the validation that is left";
    ASSERT_EQ(k.condFormats.size(), 1u);
    EXPECT_EQ(k.condFormats[0].first, (Rows{2}));
    EXPECT_EQ(k.condFormats[0].second, (Rows{5, 5}));
    EXPECT_TRUE(k.arrays.empty());
    EXPECT_EQ(k.series, (std::vector<Rows>{{-1}, {-1}})) << "a series over deleted cells is a reference error";

    const auto python = test::xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    const test::SeenBook seen = test::xlrdCells(*python, report.FileName, test::formulaCells(out->workbook()));
    EXPECT_EQ(seen.sheets.at(0).at({2, 0}).text, "Below");
    EXPECT_EQ(seen.sheets.at(0).at({2, 2}).number, 1.5);
}

TEST_F(KeptRecords, ADataTableKeepsItsRangeAndInputCells)
{
    // A two-input data table over C2:D2 (anchored on the band's formula cell C2) whose
    // input cells are C4, below the band, and A2, in it.
    struct Case {
        const char* name;
        std::function<void(TWorkbook&)> move;
        int anchor;        // row of the anchor cell afterwards
        Rows rangeInputs;  // first and last row, first and second input cell's row
        std::uint8_t flags;
        int copy;          // row of a copied table, or -1
    };
    const Case cases[] = {
        {"two copies of the band", [](TWorkbook& b) { insertAndCopyRows(b, 0, 1, 1, 2); }, 1, {1, 1, 5, 1}, 0x08, 3},
        {"the first input's row deleted", [](TWorkbook& b) { deleteRows(b, 0, 3, 3); }, 1, {1, 1, 3, 1}, 0x18, -1},
        {"a row above deleted", [](TWorkbook& b) { deleteRows(b, 0, 0, 0); }, 0, {0, 0, 2, 0}, 0x08, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = open(report.Template);
        auto& sheet = static_cast<TWorkSheet&>(*file->workbook().sheets()[0]);
        test::Bytes body;
        for (std::uint16_t v : {1, 1}) test::put16(body, v);
        body.push_back(2);
        body.push_back(3);
        test::put16(body, 0x0008); // two input cells
        for (std::uint16_t v : {3, 2, 1, 0}) test::put16(body, v);
        auto* anchor = dynamic_cast<TFormulaRecord*>(sheet.cells.cell(1, 2));
        ASSERT_NE(anchor, nullptr);
        anchor->attachTable(std::make_unique<TTableRecord>(rid::Table, ByteSpan(body.data(), body.size())));
        c.move(file->workbook());
        const auto* kept = dynamic_cast<const TFormulaRecord*>(sheet.cells.cell(c.anchor, 2));
        ASSERT_TRUE(kept && kept->tableRecord());
        const ByteSpan b = kept->tableRecord()->body();
        EXPECT_EQ((Rows{getU16(b.data()), getU16(b.data() + 2), getU16(b.data() + 8), getU16(b.data() + 12)}),
                  c.rangeInputs);
        EXPECT_EQ(b[6], c.flags);
        if (c.copy < 0)
            continue;
        const auto* copy = dynamic_cast<const TFormulaRecord*>(sheet.cells.cell(c.copy, 2));
        ASSERT_TRUE(copy && copy->tableRecord()) << "a copied anchor has its own table";
        EXPECT_EQ(getU16(copy->tableRecord()->body().data()), c.copy);
    }
}

} // namespace
} // namespace quorvane::xls
