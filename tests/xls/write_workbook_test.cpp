// The workbook stream, the shared string table, the output compound document, and round
// trips checked by the engine and by python3-xlrd.
#include "write_support.h"

#include "fuzz/roundtrip_input.h"

#include "xls/errors.h"
#include "xls/messages.h"
#include "xls/storage.h"
#include "xls/text.h"
#include "xls/write/cells.h"
#include "xls/write/compound_writer.h"
#include "xls/write/messages.h"
#include "xls/write/save.h"
#include "xls/write/sst_writer.h"
#include "xls/write/writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace quorvane::xls;
using namespace quorvane::xls::test;
namespace fs = std::filesystem;

namespace {

std::uint16_t u16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }
std::uint32_t u32(const Bytes& b, std::size_t at) { return u16(b, at) | static_cast<std::uint32_t>(u16(b, at + 2)) << 16; }

template <typename F>
std::string errorOf(F&& f)
{
    try {
        f();
    } catch (const quorvane::Error& e) {
        return e.what();
    }
    return "(no error)";
}

std::unique_ptr<TWorkbook> bookWith(const std::vector<std::u16string>& texts)
{
    auto book = std::make_unique<TWorkbook>();
    book->load(emptyWorkbookStream());
    for (std::size_t i = 0; i < texts.size(); ++i)
        setCellValue(worksheet(*book, 0), book->sst(), static_cast<int>(i), 0, texts[i]);
    return book;
}

std::vector<WrittenRecord> sstRecords(const Bytes& stream)
{
    std::vector<WrittenRecord> out;
    for (auto& r : recordsOf(stream)) {
        if (r.id == rid::Sst || (!out.empty() && r.id == rid::Continue && out.back().id != rid::ExtSst))
            out.push_back(r);
        else if (r.id == rid::ExtSst)
            out.push_back(r);
    }
    return out;
}

TEST(WriteSST, LongStringSplitOverContinue)
{
    std::u16string longText;
    for (int i = 0; i < 10000; ++i)
        longText += static_cast<char16_t>(u'a' + i % 26);
    auto book = bookWith({longText});
    const Bytes stream = saveToBytes(*book);
    const auto recs = sstRecords(stream);
    // SST (8 header bytes + count + flags + 8213 characters), one CONTINUE with a flags
    // byte of 0 and the remaining 1787 characters, then EXTSST.
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].id, rid::Sst);
    EXPECT_EQ(recs[0].body.size(), 8224u);
    EXPECT_EQ(recs[1].id, rid::Continue);
    EXPECT_EQ(recs[1].body[0], 0) << "the continued segment's flags byte";
    EXPECT_EQ(recs[1].body.size(), 1u + 10000u - (8224u - 11u));
    EXPECT_EQ(recs[2].id, rid::ExtSst);
    // EXTSST: bucket size 8, one bucket at the entry's count (SST header + 8).
    EXPECT_EQ(u16(recs[2].body, 0), 8);
    EXPECT_EQ(recs[2].body.size(), 10u);
    EXPECT_EQ(u32(recs[2].body, 2), recs[0].pos + 12);
    EXPECT_EQ(u16(recs[2].body, 6), 12);

    TWorkbook reread;
    reread.load(stream);
    EXPECT_EQ(worksheet(reread, 0).cells.cell(0, 0)->value(), CellVariant(longText));
}

TEST(WriteSST, WideStringSegmentsCompressWhenTheyCan)
{
    // A 16-bit string (one Greek letter first) longer than one record: the first segment
    // is 16-bit, the continued segment holds only Latin letters and is written 8-bit.
    std::u16string text = u"\u0394";
    while (text.size() < 6000)
        text += u'x';
    auto book = bookWith({text});
    const Bytes stream = saveToBytes(*book);
    const auto recs = sstRecords(stream);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].body[8 + 2], 0x01) << "first segment 16-bit";
    const std::size_t firstChars = (8224 - 11) / 2;
    EXPECT_EQ(recs[1].body[0], 0x00) << "continued segment compressed";
    EXPECT_EQ(recs[1].body.size(), 1 + (6000 - firstChars));
    TWorkbook reread;
    reread.load(stream);
    EXPECT_EQ(worksheet(reread, 0).cells.cell(0, 0)->value(), CellVariant(text));
}

TEST(WriteSST, EntriesNeverStartInTheLast32Bytes)
{
    // Many short strings: every entry's position and offset point at its count, and the
    // EXTSST buckets point at entries 0, k, 2k ...
    std::vector<std::u16string> texts;
    for (int i = 0; i < 3000; ++i)
        texts.push_back(u"string number " + fromUtf8(std::to_string(i)));
    auto book = bookWith(texts);
    const Bytes stream = saveToBytes(*book);
    const TSST& sst = book->sst();
    std::size_t seen = 0;
    for (std::uint32_t e : sst.entries()) {
        const std::uint8_t* h = const_cast<TSST&>(sst).entryHeader(e);
        const std::uint32_t pos = getU32(h + 2);
        const std::uint16_t offset = getU16(h + 6);
        const std::size_t recordStart = pos - offset;
        ASSERT_LT(offset, SstRecordLimit - 9u);
        EXPECT_EQ(u16(Bytes(stream.begin() + recordStart, stream.begin() + recordStart + 4), 0) == rid::Sst ||
                      u16(Bytes(stream.begin() + recordStart, stream.begin() + recordStart + 4), 0) == rid::Continue,
                  true);
        EXPECT_EQ(getU16(stream.data() + pos), sst.storedForm(e).size() - 3);
        ++seen;
    }
    EXPECT_EQ(seen, 3000u);
    const auto recs = sstRecords(stream);
    const Bytes& ext = recs.back().body;
    const std::uint16_t k = u16(ext, 0);
    EXPECT_EQ(k, 3000 / 128 + 1);
    EXPECT_EQ(ext.size(), 2 + 8 * ((3000 - 1) / k + 1));
    TWorkbook reread;
    reread.load(stream);
    for (int i = 0; i < 3000; i += 499)
        EXPECT_EQ(worksheet(reread, 0).cells.cell(i, 0)->value(), CellVariant(texts[i]));
}

TEST(WriteWorkbook, TotalSizesMatchWhatIsWritten)
{
    auto book = bookWith({u"a", u"b", u"\u00fc"});
    for (int r = 0; r < 100; ++r)
        for (int c = 1; c < 4; ++c)
            setCellValue(worksheet(*book, 0), book->sst(), r, c, r * 0.1 + c);
    const std::size_t expected = totalSize(*book);
    const Bytes stream = saveToBytes(*book);
    EXPECT_EQ(stream.size(), expected);
    const std::size_t globals = totalSize(book->globals());
    EXPECT_EQ(u32(recordsOf(stream)[0].body, 0) , 0x0600u | 0x0005u << 16) << "globals BOF first";
    // The BOUNDSHEET offset is the sheet's BOF.
    for (const auto& r : recordsOf(stream))
        if (r.id == rid::BoundSheet) {
            EXPECT_EQ(u32(r.body, 0), globals);
            EXPECT_EQ(u16(stream, globals), rid::Bof);
        }
}

TEST(WriteWorkbook, VisibilityAndSectionRules)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> visibility; // per sheet
        std::uint16_t selectedSheet;
        std::string error;
    } cases[] = {
        {"hidden sheet selected", {0, 1}, 1, msg::SelectVisibleSheet},
        {"very hidden sheet selected", {2, 0}, 0, msg::SelectVisibleSheet},
        {"no visible sheet", {1, 2}, 9, msg::NoVisibleSheet},
        {"first visible tab follows", {1, 0}, 1, "(no error)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TWorkbook book;
        book.load(emptyWorkbookStream({"One", "Two"}));
        for (std::size_t i = 0; i < 2; ++i) {
            book.globals().boundSheets.record(i).mutableBody().data()[4] = c.visibility[i];
            worksheet(book, i).window2->setFlags(i == c.selectedSheet ? 0x06B6 : 0x04B6);
        }
        EXPECT_EQ(errorOf([&] { saveToBytes(book); }), c.error);
        if (c.error == "(no error)")
            EXPECT_EQ(getU16(book.globals().window1->body().data() + 12), 1);
    }

    TWorkbook book;
    book.load(emptyWorkbookStream({"One"}));
    book.sheets().push_back(std::make_unique<TWorkSheet>());
    EXPECT_EQ(errorOf([&] { saveToBytes(book); }), msg::RecordsInvalid) << "more sheets than BOUNDSHEET records";
    book.globals().boundSheets.add(std::make_unique<TBoundSheetRecord>(
        rid::BoundSheet, Bytes{0, 0, 0, 0, 0, 0, 3, 0, 'T', 'w', 'o'}));
    EXPECT_EQ(errorOf([&] { saveToBytes(book); }), msg::SectionNotLoaded) << "a sheet never loaded";
}

TEST(WriteWorkbook, MacroWorkbookSheetsGetCodeNames)
{
    Biff b;
    b.bof(0x0005);
    b.window1(0);
    b.rec(0x00D3, {});                       // OBPROJ
    b.rec(0x01BA, str8("ThisWorkbook"));     // CODENAME
    b.boundSheet("Data2");
    b.boundSheet("data");
    b.eof();
    for (int i = 0; i < 2; ++i) {
        b.bof(0x0010);
        b.window2(i == 0 ? 0x06B6 : 0x04B6);
        if (i == 1)
            b.rec(0x01BA, str8("DATA1"));
        b.eof();
    }
    TWorkbook book;
    book.load(b.data);
    saveToBytes(book);
    const auto& first = worksheet(book, 0);
    ASSERT_TRUE(first.codeName);
    // "Data" + the smallest number not in use, ignoring case ("DATA1" is taken).
    EXPECT_EQ(first.codeName->body().size(), 3u + 5u);
    EXPECT_EQ(std::string(first.codeName->body().begin() + 3, first.codeName->body().end()), "Data2");
}

TEST(SaveFile, OverwriteRefusalAndAtomicOutput)
{
    TempDir dir;
    const std::string path = dir.file("out.xls");
    {
        std::ofstream(path) << "held by another program";
    }
    auto file = openStream(emptyWorkbookStream());
    EXPECT_EQ(errorOf([&] { saveFile(*file, path); }),
              "Can't write to file \"" + path + "\". Check it is not in use by another user");
    EXPECT_EQ(readFile(path), (Bytes{'h', 'e', 'l', 'd', ' ', 'b', 'y', ' ', 'a', 'n', 'o', 't', 'h', 'e', 'r', ' ',
                                     'p', 'r', 'o', 'g', 'r', 'a', 'm'}));
    fs::remove(path);
    saveFile(*file, path);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "no temporary file left";

    // A failed save (an unloaded section) leaves no file at all.
    const std::string failed = dir.file("failed.xls");
    file->workbook().sheets().front()->clear();
    EXPECT_EQ(errorOf([&] { saveFile(*file, failed); }), msg::SectionNotLoaded);
    EXPECT_FALSE(fs::exists(failed));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // A folder that does not exist.
    auto other = openStream(emptyWorkbookStream());
    EXPECT_NE(errorOf([&] { saveFile(*other, dir.file("no/such/dir.xls")); }), "(no error)");

    // Allowed to overwrite: the file is replaced.
    TXLSFile overwriting(true, {TSaveFormat::snXLS}, nullptr);
    overwriting.connect();
    overwriting.openFile(path);
    saveFile(overwriting, path);
    EXPECT_TRUE(hasCompoundSignature(readFile(path).data(), readFile(path).size()));
}

TEST(SaveFile, FormatsAndTargets)
{
    TXLSFile csv(false, {TSaveFormat::snXLS, TSaveFormat::snCSVComma}, nullptr);
    csv.connect();
    csv.openBytes(buildCompoundDocument({}, emptyWorkbookStream()));
    TempDir dir;
    EXPECT_EQ(errorOf([&] { saveFile(csv, dir.file("a.xls")); }), msg::LogicalError);
    EXPECT_FALSE(fs::exists(dir.file("a.xls")));

    auto file = openStream(emptyWorkbookStream());
    Bytes out;
    SaveTarget toStream;
    toStream.path = dir.file("ignored.xls");
    toStream.OnGetOutStream = [&] { return &out; };
    saveFile(*file, toStream);
    EXPECT_FALSE(fs::exists(dir.file("ignored.xls")));
    EXPECT_TRUE(hasCompoundSignature(out.data(), out.size()));

    SaveTarget renamed;
    renamed.path = dir.file("first.xls");
    renamed.OnGetFilename = [&](std::string& name) { name = dir.file("second.xls"); };
    saveFile(*file, renamed);
    EXPECT_TRUE(fs::exists(dir.file("second.xls")));
    EXPECT_FALSE(fs::exists(dir.file("first.xls")));
}

TEST(CompoundOutput, ElementsInOrderEmptyOnesLeftOut)
{
    TXlsStorageList elements;
    elements.push_back({"\x05SummaryInformation", false, Bytes(300, 0x11), {}});
    elements.push_back({"Empty", false, {}, {}});
    elements.push_back({"Workbook", false, Bytes(10, 0), {}}); // replaced by the new stream
    TXlsStorage macros{"_VBA_PROJECT_CUR", true, {}, {}};
    macros.elements.push_back({"PROJECT", false, Bytes(5000, 0x22), {}});
    macros.elements.push_back({"EmptyInner", true, {}, {}});
    elements.push_back(macros);
    const Bytes stream = emptyWorkbookStream();
    const Bytes doc = buildCompoundDocument(elements, stream);

    const CompoundDocument read = CompoundDocument::openBytes(doc, "doc");
    std::vector<std::string> names;
    for (const auto& e : read.elements())
        names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"\x05SummaryInformation", "Workbook", "_VBA_PROJECT_CUR"}));
    EXPECT_EQ(read.readStream("Workbook"), stream);
    const TXlsStorageList copied = read.copyElements(std::string("Workbook"));
    for (const auto& e : copied) {
        if (e.name == "_VBA_PROJECT_CUR") {
            ASSERT_EQ(e.elements.size(), 1u);
            EXPECT_EQ(e.elements[0].bytes, Bytes(5000, 0x22));
        } else {
            EXPECT_EQ(e.bytes, Bytes(300, 0x11));
        }
    }
}

// Every workbook the engine reads is written, read again by the engine and by
// python3-xlrd, and must give the same sheets and cell values (formula cells excepted).
void roundTrip(const std::string& path, const std::optional<std::string>& python, bool xlrdReadsOriginal,
               const TempDir& dir, int n)
{
    SCOPED_TRACE(path);
    TXLSFile file(false, {TSaveFormat::snXLS}, nullptr);
    file.connect();
    file.openFile(path);
    const SeenBook before = engineCells(file.workbook());
    const std::string out = dir.file("rt" + std::to_string(n) + ".xls");
    saveFile(file, out);

    TXLSFile again(false, {TSaveFormat::snXLS}, nullptr);
    again.connect();
    again.openFile(out);
    const SeenBook after = engineCells(again.workbook());
    EXPECT_EQ(after.names, before.names);
    EXPECT_EQ(after.sheets, before.sheets);
    EXPECT_EQ(again.storages().size(), file.storages().size() -
        std::count_if(file.storages().begin(), file.storages().end(),
                      [](const TXlsStorage& e) { return e.isStorage ? e.elements.empty() : e.bytes.empty(); }));
    EXPECT_EQ(saveToBytes(again.workbook()).size(), totalSize(again.workbook()));

    if (python && xlrdReadsOriginal) {
        const SeenBook peer = xlrdCells(*python, out, formulaCells(again.workbook()));
        EXPECT_EQ(peer.names, before.names);
        EXPECT_EQ(peer.sheets.size(), before.sheets.size());
        for (std::size_t i = 0; i < std::min(peer.sheets.size(), before.sheets.size()); ++i) {
            SCOPED_TRACE(peer.names[i]);
            EXPECT_EQ(peer.sheets[i].size(), before.sheets[i].size());
            for (const auto& [at, cell] : before.sheets[i]) {
                auto it = peer.sheets[i].find(at);
                if (it == peer.sheets[i].end()) {
                    ADD_FAILURE() << "xlrd misses cell " << at.first << "," << at.second;
                    continue;
                }
                EXPECT_EQ(it->second, cell) << at.first << "," << at.second << ": " << it->second.kind << " "
                                            << it->second.text << it->second.number;
            }
        }
    }
}

std::vector<std::string> readableWorkbooks()
{
    std::vector<std::string> out;
    const fs::path shared = QUORVANE_SHARED_DIR;
    const fs::path fixtures = shared / "fixtures/xls";
    const fs::path corpus = shared / "corpus/xls";
    if (fs::exists(fixtures))
        for (const auto& e : fs::directory_iterator(fixtures))
            if (e.path().extension() == ".xls")
                out.push_back(e.path().string());
    // The corpus says which files a BIFF8 reader should read (last column "read").
    std::ifstream expected(corpus / "EXPECTED.tsv");
    std::string line;
    while (std::getline(expected, line)) {
        const auto tab = line.find('\t');
        if (tab != std::string::npos && line.size() >= 5 && line.compare(line.size() - 5, 5, "\tread") == 0)
            out.push_back((corpus / line.substr(0, tab)).string());
    }
    const fs::path own = fs::path(QUORVANE_TEST_FIXTURES) / "xls";
    if (fs::exists(own))
        for (const auto& e : fs::directory_iterator(own))
            if (e.path().extension() == ".xls")
                out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(RoundTrip, EveryReadableWorkbook)
{
    const auto files = readableWorkbooks();
    if (files.empty())
        GTEST_SKIP() << "no shared fixtures or corpus";
    const auto python = xlrdPython();
    TempDir dir;
    int n = 0, written = 0;
    for (const auto& path : files) {
        TXLSFile probe(false, {TSaveFormat::snXLS}, nullptr);
        probe.connect();
        try {
            probe.openFile(path);
        } catch (const quorvane::Error&) {
            continue; // refused by the reader (encrypted, BIFF5, damaged): nothing to write
        }
        // Files python3-xlrd cannot read as they are (its own faults) are checked by the
        // engine alone.
        bool xlrdReads = false;
        if (python) {
            const SeenBook original = xlrdCells(*python, path, {});
            xlrdReads = original.names.empty() || original.names.front().rfind("xlrd failed", 0) != 0;
            // poi/WrongFormulaRecordType.xls holds formulas under the BIFF4 record id 0x0406,
            // which the engine keeps as records of no kind of its own: they are written
            // before the cells, where python3-xlrd, which takes them for cells, has not yet
            // sized the sheet.
            if (path.find("WrongFormulaRecordType") != std::string::npos)
                xlrdReads = false;
        }
        roundTrip(path, python, xlrdReads, dir, n++);
        ++written;
    }
    EXPECT_GT(written, 0);
    if (!python)
        GTEST_SKIP() << "python3-xlrd missing: written files were checked by the engine only";
}

TEST(RoundTrip, ValuesSetAreReadByXlrd)
{
    const auto python = xlrdPython();
    if (!python)
        GTEST_SKIP() << "python3-xlrd missing";
    auto file = openStream(emptyWorkbookStream({"Points", "Δ-Daten ü"}));
    TWorkbook& book = file->workbook();
    const CellVariant values[] = {0.5, 1.23, 123456789.0, 1e10, -0.0, 1e-300, std::u16string(u"Age"),
                                  std::u16string(u"\u0394 \u00fc \u4e2d"), true, false};
    for (int r = 0; r < 200; ++r)
        for (int c = 0; c < 10; ++c)
            setCellValue(worksheet(book, r % 2), book.sst(), r, c, values[(r + c) % 10]);
    TempDir dir;
    saveFile(*file, dir.file("set.xls"));
    const SeenBook peer = xlrdCells(*python, dir.file("set.xls"), {});
    const SeenBook engine = engineCells(book);
    EXPECT_EQ(peer.names, engine.names);
    EXPECT_EQ(peer.sheets, engine.sheets);
}

} // namespace

namespace {

// The writer's fuzz inputs and the shared fixtures, read, written and read again.
TEST(FuzzRoundTrip, RegressionInputsReadBackAfterWriting)
{
    std::vector<fs::path> inputs;
    for (const fs::path dir : {fs::path(QUORVANE_SOURCE_DIR) / "tests/fuzz/corpus-regressions",
                               fs::path(QUORVANE_SHARED_DIR) / "fixtures/xls"})
        if (fs::exists(dir))
            for (const auto& e : fs::directory_iterator(dir))
                if (e.is_regular_file())
                    inputs.push_back(e.path());
    if (inputs.empty())
        GTEST_SKIP() << "no inputs";
    for (const auto& path : inputs) {
        SCOPED_TRACE(path.string());
        const Bytes bytes = readFile(path.string());
        try {
            quorvane::xls::fuzz::roundTripInput(bytes.data(), bytes.size());
        } catch (const quorvane::Error&) {
            // refused by the reader
        }
    }
}

} // namespace
