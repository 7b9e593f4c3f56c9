// The template filler over templates that LibreOffice wrote (tests/fixtures/report),
// every output read back by python3-xlrd.
#include "support/temp_dir.h"
#include "write_support.h"

#include "xls/formula.h"
#include "xls/report/messages.h"
#include "xls/report/report.h"
#include "xls/report/rows.h"
#include "xls/text.h"
#include "xls/write/cells.h"
#include "xls/write/save.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace quorvane::xls {
namespace {

using test::xlrdPython;

std::string fixture(const std::string& name) { return std::string(QUORVANE_TEST_FIXTURES) + "/report/" + name; }

// A dataset of numeric fields held in memory, with the cursor protocol of a table.
class MemoryDataSet final : public IXlsDataSet {
public:
    class Field final : public IXlsField {
    public:
        Field(MemoryDataSet& d, int i, std::u16string name, bool visible) : d_(d), i_(i), name_(std::move(name)), visible_(visible) {}
        CellVariant value() const override { return d_.rows_.at(d_.pos_)[i_]; }
        double asFloat() const override
        {
            const auto* v = std::get_if<double>(&d_.rows_.at(d_.pos_)[i_]);
            return v ? *v : 0;
        }
        std::u16string displayName() const override { return u"Display " + name_; }
        std::u16string fieldName() const override { return name_; }
        bool visible() const override { return visible_; }
        bool isDateTime() const override { return name_ == u"When"; }
        bool isMemo() const override { return name_ == u"Memo"; }

    private:
        MemoryDataSet& d_;
        int i_;
        std::u16string name_;
        bool visible_;
    };

    MemoryDataSet(std::u16string name, std::vector<std::u16string> fields, std::vector<std::vector<CellVariant>> rows,
                  std::vector<bool> hidden = {})
        : name_(std::move(name)), rows_(std::move(rows))
    {
        for (std::size_t i = 0; i < fields.size(); ++i)
            fields_.push_back(std::make_unique<Field>(*this, static_cast<int>(i), fields[i], i >= hidden.size() || !hidden[i]));
    }
    std::u16string name() const override { return name_; }
    void open() override { active_ = true; ++opens; }
    void close() override { active_ = false; ++closes; }
    bool active() const override { return active_; }
    void first() override { pos_ = 0; }
    void last() override { pos_ = rows_.empty() ? 0 : rows_.size() - 1; }
    void next() override { if (pos_ < rows_.size()) ++pos_; }
    bool eof() const override { return pos_ >= rows_.size(); }
    int recordCount() const override { return static_cast<int>(rows_.size()); }
    int fieldCount() const override { return static_cast<int>(fields_.size()); }
    IXlsField& fieldByName(std::u16string_view n) override
    {
        for (auto& f : fields_)
            if (equalNoCase(f->fieldName(), n))
                return *f;
        throw std::runtime_error(toUtf8(name_) + ": Field '" + toUtf8(n) + "' not found");
    }
    IXlsField& field(int i) override { return *fields_.at(static_cast<std::size_t>(i)); }

    std::size_t pos() const { return pos_; }
    int opens = 0, closes = 0;
    bool active_ = true;

private:
    std::u16string name_;
    std::vector<std::unique_ptr<Field>> fields_;
    std::vector<std::vector<CellVariant>> rows_;
    std::size_t pos_ = 0;
};

std::vector<std::vector<CellVariant>> curveRows(int n)
{
    std::vector<std::vector<CellVariant>> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({1.5 + i, 0.70781 + i * 1e-5, 0.00002 * (i + 1)});
    return rows;
}

// What python3-xlrd reads: one line per cell (sheet, row, col, type, value, number
// format), note, merged range, page break and the selected sheet.
struct Seen {
    struct Cell {
        int type = 0;
        std::string value, format;
    };
    std::map<std::tuple<int, int, int>, Cell> cells;
    std::vector<std::tuple<int, int, int>> notes;
    std::vector<std::string> merged;
    std::vector<std::pair<int, int>> breaks;
    std::vector<int> selected;
    const Cell* at(int s, int r, int c) const
    {
        auto it = cells.find({s, r, c});
        return it == cells.end() ? nullptr : &it->second;
    }
};

constexpr const char* XlrdDump = R"(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1], formatting_info=True)
for si, s in enumerate(b.sheets()):
    for r in range(s.nrows):
        for c in range(s.ncols):
            cell = s.cell(r, c)
            if cell.ctype in (0, 6): continue
            fmt = b.format_map[b.xf_list[cell.xf_index].format_key].format_str
            print('cell\t%d\t%d\t%d\t%d\t%s\t%s' % (si, r, c, cell.ctype, repr(cell.value) if cell.ctype == 2 else cell.value, fmt))
    for (r, c) in s.cell_note_map: print('note\t%d\t%d\t%d' % (si, r, c))
    for m in s.merged_cells: print('merged\t%d\t%s' % (si, ','.join(map(str, m))))
    for br in s.horizontal_page_breaks: print('break\t%d\t%d' % (si, br[0]))
    if s.sheet_selected: print('selected\t%d' % si)
)";

Seen readBack(const std::string& python, const std::string& path, const std::string& dir)
{
    const std::string script = dir + "/dump.py";
    std::ofstream(script) << XlrdDump;
    FILE* p = ::popen((python + " " + script + " '" + path + "' 2>&1").c_str(), "r");
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << out;
    Seen seen;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> f;
        std::istringstream parts(line);
        for (std::string x; std::getline(parts, x, '\t');)
            f.push_back(x);
        if (f[0] == "cell" && f.size() == 7)
            seen.cells[{std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3])}] = {std::stoi(f[4]), f[5], f[6]};
        else if (f[0] == "note")
            seen.notes.emplace_back(std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3]));
        else if (f[0] == "merged")
            seen.merged.push_back(f[1] + ":" + f[2]);
        else if (f[0] == "break")
            seen.breaks.emplace_back(std::stoi(f[1]), std::stoi(f[2]));
        else if (f[0] == "selected")
            seen.selected.push_back(std::stoi(f[1]));
    }
    return seen;
}

std::string num(double v)
{
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
}

// Rows referenced by the first PtgRef/PtgArea tokens of a formula cell (0-based).
std::vector<int> formulaRows(const TWorkSheet& sheet, int row, int col)
{
    const auto* f = dynamic_cast<const TFormulaRecord*>(sheet.cells.cell(row, col));
    std::vector<int> rows;
    if (!f)
        return rows;
    const ByteSpan t = f->tokens();
    for (std::size_t i = 0; i < t.size();) {
        const std::uint8_t base = formula::baseId(t[i]);
        if (base == formula::PtgRef) rows.push_back(getU16(t.data() + i + 1));
        if (base == formula::PtgArea) { rows.push_back(getU16(t.data() + i + 1)); rows.push_back(getU16(t.data() + i + 3)); }
        if (base == formula::PtgRef3d) rows.push_back(getU16(t.data() + i + 3));
        if (base == 0x2A || base == 0x2B || base == 0x3C || base == 0x3D) rows.push_back(-1);
        const auto size = formula::tokenSize(t, i);
        if (!size) break;
        i += *size;
    }
    return rows;
}

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(fixture("band_report.xls")))
            GTEST_SKIP() << "fixtures missing";
        report.Adapter = &adapter;
        report.DataModule = &module;
        report.Template = fixture("band_report.xls");
        report.FileName = dir.file("out.xls");
    }

    // A copy of the band template with some cells of the first sheet changed (0-based).
    std::string variant(const std::vector<std::tuple<int, int, std::u16string>>& cells)
    {
        auto file = adapter.createFile();
        file->connect();
        file->openFile(fixture("band_report.xls"));
        auto& sheet = static_cast<TWorkSheet&>(*file->workbook().sheets()[0]);
        for (const auto& [r, c, text] : cells)
            setCellValue(sheet, file->workbook().sst(), r, c, text);
        const std::string path = dir.file("variant" + std::to_string(++variants) + ".xls");
        saveFile(*file, path);
        return path;
    }

    std::string run(MemoryDataSet& ds)
    {
        module.addDataSet(ds);
        report.Run();
        auto python = xlrdPython();
        if (!python)
            return {};
        return *python;
    }

    test::TempDir dir;
    TXLSAdapter adapter;
    TXlsDataModule module;
    TXlsReport report;
    int variants = 0;
};

TEST_F(ReportTest, ThreeRecordsFillThreeRowsInTheTemplateFormatsAndTheRowsBelowFollow)
{
    MemoryDataSet ds(u"cdsSeaSpl", {u"Age", u"Ratio", u"Error"}, curveRows(3));
    const std::string python = run(ds);
    EXPECT_TRUE(ds.eof()) << "a band's dataset is left at its end";

    auto file = adapter.createFile();
    file->connect();
    file->openFile(report.FileName);
    const auto& sheet = static_cast<const TWorkSheet&>(*file->workbook().sheets()[0]);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(formulaRows(sheet, 2 + i, 3), (std::vector<int>{2 + i, 2 + i})) << "B+C of its own row";
    }
    EXPECT_EQ(formulaRows(sheet, 5, 1), (std::vector<int>{2, 4})) << "a sum over the band grows with it";
    const auto& other = static_cast<const TWorkSheet&>(*file->workbook().sheets()[1]);
    EXPECT_EQ(formulaRows(other, 0, 0), (std::vector<int>{5})) << "another sheet's reference follows";

    if (python.empty())
        GTEST_SKIP() << "python3-xlrd not found";
    const Seen seen = readBack(python, report.FileName, dir.path());
    const auto rows = curveRows(3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        for (int c = 0; c < 3; ++c) {
            const auto* cell = seen.at(0, 2 + i, c);
            ASSERT_NE(cell, nullptr);
            EXPECT_EQ(cell->type, 2) << "a bare tag gives a number";
            EXPECT_EQ(std::stod(cell->value), std::get<double>(rows[i][c]));
            EXPECT_EQ(cell->format, c == 0 ? "0.000" : "0.00000");
        }
        const auto* label = seen.at(0, 2 + i, 4);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->type, 1) << "an embedded tag gives text";
        EXPECT_EQ(label->value, "Age: " + num(1.5 + i) + " Ma");
    }
    ASSERT_NE(seen.at(0, 5, 0), nullptr);
    EXPECT_EQ(seen.at(0, 5, 0)->value, "After band") << "the delete-row marker's row is gone";
    EXPECT_EQ(seen.notes, (std::vector<std::tuple<int, int, int>>{{0, 5, 0}}));
    EXPECT_EQ(seen.at(0, 6, 0), nullptr) << "the page-break marker is emptied";
    EXPECT_EQ(seen.breaks, (std::vector<std::pair<int, int>>{{0, 6}}));
    ASSERT_NE(seen.at(0, 7, 0), nullptr);
    EXPECT_EQ(seen.at(0, 7, 0)->value, "New page");
    EXPECT_EQ(seen.merged, (std::vector<std::string>{"0:0,1,0,4"})) << "the merged title stays";
    EXPECT_EQ(seen.selected, (std::vector<int>{0})) << "the output opens on its first sheet";
}

TEST_F(ReportTest, AnEmptyTableRemovesTheBandRow)
{
    MemoryDataSet ds(u"cdsSeaSpl", {u"Age", u"Ratio", u"Error"}, {});
    const std::string python = run(ds);
    auto file = adapter.createFile();
    file->connect();
    file->openFile(report.FileName);
    const auto& sheet = static_cast<const TWorkSheet&>(*file->workbook().sheets()[0]);
    EXPECT_EQ(formulaRows(sheet, 2, 1), (std::vector<int>{-1})) << "a sum over the deleted band is a reference error";
    if (python.empty())
        GTEST_SKIP() << "python3-xlrd not found";
    const Seen seen = readBack(python, report.FileName, dir.path());
    ASSERT_NE(seen.at(0, 2, 0), nullptr);
    EXPECT_EQ(seen.at(0, 2, 0)->value, "After band");
    EXPECT_EQ(seen.notes, (std::vector<std::tuple<int, int, int>>{{0, 2, 0}}));
    EXPECT_EQ(seen.breaks, (std::vector<std::pair<int, int>>{{0, 3}}));
}

TEST_F(ReportTest, DataSetAndFieldNamesIgnoreLetterCase)
{
    // The band name says cdsSeaSpl, one tag CDSSEASPL##error; the dataset is registered in
    // yet another case.
    MemoryDataSet ds(u"CdsSEASPL", {u"AGE", u"ratio", u"Error"}, curveRows(2));
    const std::string python = run(ds);
    if (python.empty())
        GTEST_SKIP() << "python3-xlrd not found";
    const Seen seen = readBack(python, report.FileName, dir.path());
    for (int i = 0; i < 2; ++i)
        for (int c = 0; c < 3; ++c) {
            SCOPED_TRACE(testing::Message() << i << "," << c);
            ASSERT_NE(seen.at(0, 2 + i, c), nullptr);
            EXPECT_EQ(std::stod(seen.at(0, 2 + i, c)->value), std::get<double>(curveRows(2)[i][c]));
        }
}

TEST_F(ReportTest, FailuresCarryTheirTextsAndWriteNothing)
{
    struct Case {
        const char* name;
        std::u16string cell; // put at A3
        std::string error;
    };
    const Case cases[] = {
        {"unknown dataset", u"##cdsNoSuch##Age", "Can\u00B4t find the dataset cdsNoSuch"},
        {"unknown field", u"##cdsSeaSpl##Nope", "cdsSeaSpl: Field 'Nope' not found"},
        {"embedded tag without its end", u"Age <##cdsSeaSpl##Age",
         "Cell at Row 3, Column 1, Sheet 1 with value \"Age <##cdsSeaSpl##Age\" refers to an invalid field."},
        {"property not published", u"#.Secret", "Property \"Secret\" has not been defined or is not published"},
        {"index into a scalar property", u"#.Title#.1", "The property \"Title\" has only 0 dimensions"},
        {"too many indexes", u"#.Levels#.1#.2", "The property \"Levels\" has only 1 dimensions"},
        {"index out of range", u"#.Levels#.7", "The index \"7\" of the property \"Levels\" is not in the range 1-3"},
        {"unreadable property", u"#.Broken", "Error trying to retrieve property \"Broken\". Verify it is a variant"},
    };
    MemoryDataSet ds(u"cdsSeaSpl", {u"Age", u"Ratio", u"Error"}, curveRows(3));
    module.addDataSet(ds);
    module.addProperty(u"Title", [] { return PublishedValue(CellVariant(std::u16string(u"Curve"))); });
    module.addProperty(u"Levels", [] { return PublishedValue(VariantArray{{{1, 3}}, {1.0, 2.0, 3.0}}); });
    module.addProperty(u"Broken", []() -> PublishedValue { throw std::runtime_error("no"); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        report.Template = variant({{2, 0, c.cell}});
        try {
            report.Run();
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
        EXPECT_FALSE(std::filesystem::exists(report.FileName));
    }
}

TEST_F(ReportTest, PropertiesAndTheValueListFillTheirCells)
{
    MemoryDataSet ds(u"cdsSeaSpl", {u"Age", u"Ratio", u"Error"}, curveRows(1));
    module.addDataSet(ds);
    module.addProperty(u"Title", [] { return PublishedValue(CellVariant(std::u16string(u"Curve"))); });
    module.addProperty(u"Made", [] { return PublishedValue(PublishedDate{45000.5}); });
    module.addProperty(u"Levels", [] { return PublishedValue(VariantArray{{{1, 3}}, {10.0, 20.0, 30.0}}); });
    module.addMethod(u"Twice", [](const std::vector<int>& a) { return CellVariant(2.0 * (a.empty() ? 0 : a[0])); });
    report.Values = {{u"Title", CellVariant(std::u16string(u"from the list"))}};
    // Cells outside the band are not parsed: put the tags in the band row.
    report.Template = variant({{2, 0, u"#.title"}, {2, 1, u"#.Made"}, {2, 2, u"<#.Levels#.2> and <#.Twice#.21>"},
                               {2, 4, u"#.Levels#.3"}});
    report.Run();
    const auto python = xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    const Seen seen = readBack(*python, report.FileName, dir.path());
    struct Want {
        int col, type;
        std::string value;
    };
    for (const Want& w : {Want{0, 1, "from the list"}, Want{1, 2, "45000.5"}, Want{2, 1, "20 and 42"}, Want{4, 2, "30.0"}}) {
        SCOPED_TRACE(w.col);
        ASSERT_NE(seen.at(0, 2, w.col), nullptr);
        EXPECT_EQ(seen.at(0, 2, w.col)->type, w.type);
        EXPECT_EQ(seen.at(0, 2, w.col)->value, w.value);
    }
}

TEST_F(ReportTest, AWholeDataSetTagBecomesAHeaderAndOneRowPerRecord)
{
    // The band runs once over its one record; the table lists another dataset.
    MemoryDataSet band(u"cdsSeaSpl", {u"Age"}, {{0.0}});
    MemoryDataSet ds(u"cdsTable", {u"Age", u"Ratio", u"Error"}, curveRows(3), {false, true, false});
    module.addDataSet(band);
    module.addDataSet(ds);
    report.UseHiddenFields = false;
    report.Template = variant({{2, 0, u"##cdsTable##*"}, {2, 1, u""}, {2, 2, u""}, {2, 4, u""}});
    report.Run();
    const auto python = xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    const Seen seen = readBack(*python, report.FileName, dir.path());
    ASSERT_NE(seen.at(0, 2, 0), nullptr);
    EXPECT_EQ(seen.at(0, 2, 0)->value, "Display Age");
    EXPECT_EQ(seen.at(0, 2, 1)->value, "Display Error") << "the hidden field is left out";
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(seen.at(0, 3 + i, 0), nullptr);
        EXPECT_EQ(std::stod(seen.at(0, 3 + i, 0)->value), 1.5 + i);
        EXPECT_EQ(std::stod(seen.at(0, 3 + i, 1)->value), std::get<double>(curveRows(3)[i][2]));
    }
    ASSERT_NE(seen.at(0, 6, 0), nullptr);
    EXPECT_EQ(seen.at(0, 6, 0)->value, "After band") << "the rows below make room for the table";
}

TEST_F(ReportTest, ChildBandsRepeatInsideEachRecordOfTheirParent)
{
    MemoryDataSet master(u"master", {u"Age"}, {{1.0}, {2.0}});
    MemoryDataSet detail(u"detail", {u"Age"}, {{10.0}, {20.0}, {30.0}});
    module.addDataSet(master);
    module.addDataSet(detail);
    report.Template = fixture("nested_bands.xls");
    report.Run();
    const auto python = xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    const Seen seen = readBack(*python, report.FileName, dir.path());
    const std::vector<std::string> want = {"Head", "M 1", "10.0", "20.0", "30.0", "end of master",
                                           "M 2", "10.0", "20.0", "30.0", "end of master", "Foot"};
    for (std::size_t r = 0; r < want.size(); ++r) {
        SCOPED_TRACE(r);
        ASSERT_NE(seen.at(0, static_cast<int>(r), 0), nullptr);
        EXPECT_EQ(seen.at(0, static_cast<int>(r), 0)->value, want[r]);
    }
}

TEST_F(ReportTest, ARunLeavesDataSetsAsItFoundThem)
{
    MemoryDataSet ds(u"cdsSeaSpl", {u"Age", u"Ratio", u"Error"}, curveRows(2));
    ds.active_ = false;
    module.addDataSet(ds);
    report.Run();
    EXPECT_EQ(ds.opens, 1);
    EXPECT_EQ(ds.closes, 1) << "a dataset the run opened is closed again";
    EXPECT_FALSE(ds.active());
}

TEST_F(ReportTest, RunRefusesWhatItCannotDo)
{
    MemoryDataSet ds(u"cdsSeaSpl", {u"Age", u"Ratio", u"Error"}, curveRows(70000));
    module.addDataSet(ds);
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string error;
    };
    const Case cases[] = {
        {"copies beyond the last row", [] {}, "Ivalid arguments to call InsertAndCopyRows"},
        {"no adapter", [&] { report.Adapter = nullptr; }, "There is no Adapter linked to the report"},
        {"missing template", [&] { report.Adapter = &adapter; report.Template = dir.file("none.xls"); },
         "Can't find the file \"" + dir.file("none.xls") + "\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        try {
            report.Run();
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
        EXPECT_FALSE(std::filesystem::exists(report.FileName));
    }
}

TEST_F(ReportTest, AnExistingOutputIsNotOverwritten)
{
    MemoryDataSet ds(u"cdsSeaSpl", {u"Age", u"Ratio", u"Error"}, curveRows(1));
    module.addDataSet(ds);
    std::ofstream(report.FileName) << "keep";
    try {
        report.Run();
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Can't write to file \"" + report.FileName + "\". Check it is not in use by another user");
    }
    std::ifstream in(report.FileName);
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "keep");
}

TEST_F(ReportTest, NotesOfAWholeDataSetTableNameEachRecord)
{
    // band_table_note.xls: the tag ##cdsTable##* in the band row A2, a note with
    // "Age <##cdsTable##Age> Ma" on A3, the row that becomes the table's records.
    MemoryDataSet band(u"cdsSeaSpl", {u"Age"}, {{0.0}});
    MemoryDataSet ds(u"cdsTable", {u"Age", u"Ratio"}, {{1.5, 0.7}, {2.5, 0.8}, {3.5, 0.9}});
    module.addDataSet(band);
    module.addDataSet(ds);
    report.Template = fixture("band_table_note.xls");
    report.Run();
    const auto python = xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    const std::string script = dir.file("notes.py");
    std::ofstream(script) << "import sys, xlrd\n"
                             "s = xlrd.open_workbook(sys.argv[1], formatting_info=True).sheet_by_index(0)\n"
                             "for (r, c), n in sorted(s.cell_note_map.items()): print('%d %d %s' % (r, c, n.text))\n"
                             "print('after', s.cell_value(5, 0))\n";
    FILE* p = ::popen((*python + " " + script + " '" + report.FileName + "' 2>&1").c_str(), "r");
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << out;
    EXPECT_EQ(out, "2 0 Age 1.5 Ma\n3 0 Age 2.5 Ma\n4 0 Age 3.5 Ma\nafter After\n");
}

TEST_F(ReportTest, PartAndRowHandlersMayChangeWhatIsWritten)
{
    MemoryDataSet ds(u"cdsSeaSpl", {u"Age", u"Ratio", u"Error"}, curveRows(2));
    module.addDataSet(ds);
    // Each Age part of the embedded tag in E3 is written in kilo-years.
    report.OnGetCellValueX = [](int, int, int col, const TOneBandValue& part, CellVariant& v) {
        if (col == 4 && part.kind == TOneBandValue::Kind::Field && equalNoCase(part.field->fieldName(), u"Age"))
            v = std::get<double>(v) * 1000;
    };
    std::vector<std::pair<int, int>> rows; // output row, template row
    std::vector<int> columns;
    report.OnGetCellValueXRow = [&](int, int row, int templateRow, std::vector<std::pair<int, CellVariant>>& values) {
        rows.emplace_back(row, templateRow);
        columns.clear();
        for (auto& [col, v] : values) {
            columns.push_back(col);
            if (col == 1)
                { const std::string t = "row " + std::to_string(row); v = std::u16string(t.begin(), t.end()); }
        }
    };
    report.Run();
    EXPECT_EQ(rows, (std::vector<std::pair<int, int>>{{2, 2}, {3, 2}}));
    EXPECT_EQ(columns, (std::vector<int>{0, 1, 2, 4})) << "the band row's parsed cells, the formula left out";
    const auto python = xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    const Seen seen = readBack(*python, report.FileName, dir.path());
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(seen.at(0, 2 + i, 4), nullptr);
        EXPECT_EQ(seen.at(0, 2 + i, 4)->value, "Age: " + num((1.5 + i) * 1000) + " Ma");
        ASSERT_NE(seen.at(0, 2 + i, 1), nullptr);
        EXPECT_EQ(seen.at(0, 2 + i, 1)->value, "row " + std::to_string(2 + i));
        EXPECT_EQ(std::stod(seen.at(0, 2 + i, 0)->value), 1.5 + i) << "a column the handlers leave is as the table says";
    }
}

TEST(BandNames, DataSetNamesEndEachAtTheirUnderscores)
{
    struct Case {
        std::u16string name;
        std::vector<std::u16string> want;
    };
    const Case cases[] = {
        {u"__cdsSeaSpl__", {u"cdsSeaSpl"}},
        {u"__a__b__", {u"a", u"b"}},
        {u"Sheet1!__a__", {u"a"}},
        {u"__open", {u"open"}},
        {u"_single_", {}},
        {u"Plain", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.name));
        EXPECT_EQ(bandDataSetNames(c.name), c.want);
    }
}

} // namespace
} // namespace quorvane::xls
