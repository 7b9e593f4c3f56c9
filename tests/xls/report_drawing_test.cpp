// Notes, pictures and rich text inside band rows: templates that LibreOffice wrote
// (tests/fixtures/report/band_drawings.xls and the picture fixtures), outputs read back by
// python3-xlrd and by the engine's own reader.
#include "support/temp_dir.h"
#include "write_support.h"

#include "xls/report/drawing.h"
#include "xls/report/report.h"
#include "xls/text.h"
#include "xls/write/save.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace quorvane::xls {
namespace {

std::string fixture(const std::string& name) { return std::string(QUORVANE_TEST_FIXTURES) + "/report/" + name; }

// A curve table with an optional text field, held in memory.
class Curve final : public IXlsDataSet {
public:
    struct Row {
        double age;
        double ratio;
        CellVariant text;
    };
    class Field final : public IXlsField {
    public:
        Field(Curve& c, int i, std::u16string name) : c_(c), i_(i), name_(std::move(name)) {}
        CellVariant value() const override
        {
            const Row& r = c_.rows_.at(c_.pos_);
            return i_ == 0 ? CellVariant(r.age) : i_ == 1 ? CellVariant(r.ratio) : r.text;
        }
        double asFloat() const override { return i_ == 0 ? c_.rows_.at(c_.pos_).age : c_.rows_.at(c_.pos_).ratio; }
        std::u16string displayName() const override { return name_; }
        std::u16string fieldName() const override { return name_; }
        bool visible() const override { return true; }
        bool isDateTime() const override { return false; }
        bool isMemo() const override { return false; }

    private:
        Curve& c_;
        int i_;
        std::u16string name_;
    };

    Curve(std::vector<Row> rows, std::u16string textField = u"Photo") : rows_(std::move(rows))
    {
        fields_.push_back(std::make_unique<Field>(*this, 0, u"Age"));
        fields_.push_back(std::make_unique<Field>(*this, 1, u"Ratio"));
        fields_.push_back(std::make_unique<Field>(*this, 2, std::move(textField)));
    }
    std::u16string name() const override { return u"cdsSeaSpl"; }
    void open() override {}
    void close() override {}
    bool active() const override { return true; }
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
        throw std::runtime_error("cdsSeaSpl: Field '" + toUtf8(n) + "' not found");
    }
    IXlsField& field(int i) override { return *fields_.at(static_cast<std::size_t>(i)); }

private:
    std::vector<Row> rows_;
    std::vector<std::unique_ptr<Field>> fields_;
    std::size_t pos_ = 0;
};

std::vector<Curve::Row> rows(int n)
{
    std::vector<Curve::Row> out;
    for (int i = 0; i < n; ++i)
        out.push_back({1.5 + i, 0.7078 + i * 1e-4, {}});
    return out;
}

// What python3-xlrd reads of sheet 0: notes with their texts, rich-text runs, and the
// font of each cell's XF.
constexpr const char* XlrdDump = R"(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1], formatting_info=True)
s = b.sheet_by_index(0)
for (r, c), n in sorted(s.cell_note_map.items()): print('note\t%d\t%d\t%s' % (r, c, n.text))
for (r, c), runs in sorted(s.rich_text_runlist_map.items()):
    print('runs\t%d\t%d\t%s\t%s\t%d' % (r, c, s.cell_value(r, c), ' '.join('%d:%d' % x for x in runs),
                                       b.xf_list[s.cell_xf_index(r, c)].font_index))
for r in range(s.nrows): print('row\t%d\t%s' % (r, s.cell_value(r, 0)))
)";

std::vector<std::string> xlrdLines(const std::string& python, const std::string& path, const test::TempDir& dir)
{
    const std::string script = dir.file("drawings.py");
    std::ofstream(script) << XlrdDump;
    FILE* p = ::popen((python + " " + script + " '" + path + "' 2>&1").c_str(), "r");
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << out;
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

class ReportDrawingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(fixture("band_drawings.xls")))
            GTEST_SKIP() << "fixtures missing";
        report.Adapter = &adapter;
        report.DataModule = &module;
        report.Template = fixture("band_drawings.xls");
        report.FileName = dir.file("out.xls");
    }

    std::unique_ptr<TXLSFile> open(const std::string& path)
    {
        auto file = adapter.createFile();
        file->connect();
        file->openFile(path);
        return file;
    }
    static TWorkSheet& first(TXLSFile& f) { return static_cast<TWorkSheet&>(*f.workbook().sheets()[0]); }

    test::TempDir dir;
    TXLSAdapter adapter;
    TXlsDataModule module;
    TXlsReport report;
};

TEST_F(ReportDrawingTest, NotesAndPicturesOfTheBandAreCopiedForEveryRecord)
{
    Curve curve(rows(3));
    module.addDataSet(curve);
    report.Run();

    auto out = open(report.FileName);
    TWorkSheet& sheet = first(*out);
    std::vector<std::pair<int, std::u16string>> seen;
    for (const PictureShape& p : pictures(sheet))
        seen.emplace_back(p.topRow, p.name);
    const std::vector<std::pair<int, std::u16string>> want = {{1, u"Mark"}, {2, u"Mark"}, {3, u"Mark"}, {4, u"Below"}};
    EXPECT_EQ(seen, want) << "each copy is anchored in its own row; the picture below moves down";
    // Object ids stay unique, so each note finds its own text box.
    std::map<int, int> ids;
    for (const auto& [index, id] : sheet.drawing.objects)
        ++ids[id];
    for (const auto& [id, count] : ids)
        EXPECT_EQ(count, 1) << "object id " << id;

    const auto python = test::xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    std::vector<std::string> notes;
    for (const std::string& l : xlrdLines(*python, report.FileName, dir))
        if (l.rfind("note", 0) == 0)
            notes.push_back(l);
    const std::vector<std::string> wantNotes = {
        "note\t1\t0\tAge 1.5 Ma", "note\t1\t1\tplain note", "note\t2\t0\tAge 2.5 Ma", "note\t2\t1\tplain note",
        "note\t3\t0\tAge 3.5 Ma", "note\t3\t1\tplain note", "note\t4\t0\tbelow"};
    EXPECT_EQ(notes, wantNotes) << "tags in a copied note are filled from its own record";
}

TEST_F(ReportDrawingTest, RichTextRunsOfLiteralPartsAreKept)
{
    Curve curve(rows(2));
    module.addDataSet(curve);
    report.Run();
    const auto python = test::xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    std::vector<std::string> runs;
    for (const std::string& l : xlrdLines(*python, report.FileName, dir))
        if (l.rfind("runs", 0) == 0)
            runs.push_back(l);
    ASSERT_EQ(runs.size(), 2u) << "one rich cell per record";
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        // The template "at <b>age</b> <tag> <b>Ma</b>": the runs of the literal pieces at
        // their new places (the blank before "Ma" keeps the plain run it had), the cell's
        // own font again where the value starts.
        const std::string cellFont = runs[i].substr(runs[i].rfind('\t') + 1);
        const std::string age = i == 0 ? "1.5" : "2.5";
        EXPECT_EQ(runs[i], "runs\t" + std::to_string(1 + i) + "\t4\tat age " + age + " Ma\t0:0 3:5 6:0 7:" + cellFont +
                               " 10:0 11:5\t" + cellFont);
    }
}

TEST_F(ReportDrawingTest, ANoteWhoseTagsGiveNothingIsRemoved)
{
    // The first band note asks for a text field that is empty in the second record.
    auto file = open(fixture("band_drawings.xls"));
    setNoteText(first(*file), 0, u"##cdsSeaSpl##Memo");
    report.Template = dir.file("memo.xls");
    saveFile(*file, report.Template);
    Curve curve({{1.5, 0.7, std::u16string(u"first")}, {2.5, 0.8, {}}}, u"Memo");
    module.addDataSet(curve);
    report.Run();

    auto out = open(report.FileName);
    EXPECT_EQ(first(*out).notes.size(), 4u) << "band notes 2 x 2, one removed, the note below kept";
    const auto python = test::xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    std::vector<std::string> notes;
    for (const std::string& l : xlrdLines(*python, report.FileName, dir))
        if (l.rfind("note", 0) == 0)
            notes.push_back(l);
    const std::vector<std::string> want = {"note\t1\t0\tfirst", "note\t1\t1\tplain note", "note\t2\t1\tplain note",
                                           "note\t3\t0\tbelow"};
    EXPECT_EQ(notes, want);
}

TEST_F(ReportDrawingTest, AnEmptyTableTakesTheBandNotesWithIt)
{
    Curve curve({});
    module.addDataSet(curve);
    report.Run();
    auto out = open(report.FileName);
    TWorkSheet& sheet = first(*out);
    ASSERT_EQ(sheet.notes.size(), 1u);
    EXPECT_EQ(sheet.notes[0].row(), 1) << "the note below moves up into the band's place";
    EXPECT_EQ(noteText(sheet, 0), std::u16string(u"below"));
}

TEST_F(ReportDrawingTest, TaggedPictureNamesGiveTheirDataOrFail)
{
    if (!std::filesystem::exists(fixture("band_picture_data.xls")))
        GTEST_SKIP() << "fixtures missing";
    // A PNG signature and a little more: the picture's new bytes, one per character.
    const std::u16string png = u"\x89PNG\r\n\x1a\nrest";
    Curve curve({{1.5, 0.7, png}, {2.5, 0.8, png}});
    module.addDataSet(curve);

    report.Template = fixture("band_picture_type.xls");
    try {
        report.Run();
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "Drawing type \"GIF\" invalid");
    }
    EXPECT_FALSE(std::filesystem::exists(report.FileName)) << "a failed run writes nothing";

    report.Template = fixture("band_picture_data.xls");
    report.Run();
    auto out = open(report.FileName);
    const auto shown = pictures(first(*out));
    ASSERT_EQ(shown.size(), 3u);
    // Each filled picture names a store entry of its own holding the bytes given.
    const auto& group = out->workbook().globals().drawingGroup.records;
    std::vector<std::uint8_t> store;
    for (const auto& r : group)
        for (const TBaseRecord* c = r.get(); c; c = c->continuation())
            store.insert(store.end(), c->body().begin(), c->body().end());
    const std::vector<std::uint8_t> bytes(png.begin(), png.end());
    std::size_t found = 0;
    for (auto it = store.begin(); (it = std::search(it, store.end(), bytes.begin(), bytes.end())) != store.end(); ++it)
        ++found;
    EXPECT_EQ(found, 2u) << "one new entry per record";
    const auto python = test::xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd not found";
    EXPECT_FALSE(xlrdLines(*python, report.FileName, dir).empty());
}

} // namespace
} // namespace quorvane::xls
