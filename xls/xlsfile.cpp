#include "xls/xlsfile.h"

#include "xls/errors.h"
#include "xls/messages.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <strings.h>

namespace quorvane::xls {

// --- adapter ---------------------------------------------------------------

TXLSAdapter::~TXLSAdapter()
{
    for (TXLSAdapterObserver* o : std::vector<TXLSAdapterObserver*>(observers_))
        o->adapterDestroyed();
}

std::unique_ptr<TXLSFile> TXLSAdapter::createFile() const
{
    return std::make_unique<TXLSFile>(allowOverwriting_, saveFormat_, templateStore_);
}

void TXLSAdapter::addObserver(TXLSAdapterObserver* o)
{
    if (std::find(observers_.begin(), observers_.end(), o) == observers_.end())
        observers_.push_back(o);
}

void TXLSAdapter::removeObserver(TXLSAdapterObserver* o) noexcept
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

// --- file object -----------------------------------------------------------

TXLSFile::TXLSFile(bool allowOverwriting, std::set<TSaveFormat> saveFormat, const TXlsStorageList* templateStore)
    : allowOverwriting_(allowOverwriting), saveFormat_(std::move(saveFormat)), templateStore_(templateStore)
{
}

void TXLSFile::connect()
{
    markedKnown_ = false;
    workbook_ = std::make_unique<TWorkbook>();
    storages_.clear();
    activeSheet_ = 1;
}

void TXLSFile::disconnect() noexcept
{
    workbook_.reset();
    storages_.clear();
}

TWorkbook& TXLSFile::workbook()
{
    if (!workbook_)
        throw QueryError(msg::NoOpenFile);
    return *workbook_;
}

const TWorkbook& TXLSFile::workbook() const
{
    if (!workbook_)
        throw QueryError(msg::NoOpenFile);
    return *workbook_;
}

namespace {

// Leading and trailing blanks and control characters are not part of a path.
std::string trimmed(const std::string& s)
{
    std::size_t a = 0, b = s.size();
    while (a < b && static_cast<unsigned char>(s[a]) <= ' ')
        ++a;
    while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ')
        --b;
    return s.substr(a, b - a);
}

bool exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool isCompoundFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::uint8_t head[8] = {};
    if (!in.read(reinterpret_cast<char*>(head), sizeof head))
        return false;
    return hasCompoundSignature(head, sizeof head);
}

bool sameName(const std::string& a, const std::string& b)
{
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// Some writers store a BIFF8 record stream under the Excel 5 name "Book" (corpus:
// calamine/capitalized_wbook_stream.xls, poi/BOOK_in_capitals.xls). Such a stream is read
// when there is no "Workbook" stream and it starts with a BIFF8 BOF; a real Excel 5
// workbook still has no "Workbook" stream and is refused.
constexpr const char* Biff5StreamName = "Book";

bool startsWithBiff8Bof(const std::vector<std::uint8_t>& s)
{
    return s.size() >= 8 && getU16(s.data()) == rid::Bof && getU16(s.data() + 4) == bof::Biff8Version;
}

} // namespace

void TXLSFile::openFile(const std::string& path)
{
    const std::string stream = msg::WorkbookStreamName;
    if (templateStore_) {
        storages_.clear();
        const TXlsStorage* book = nullptr;
        for (const TXlsStorage& e : *templateStore_) {
            if (!book && !e.isStorage && sameName(e.name, stream))
                book = &e;
            else
                storages_.push_back(e);
        }
        if (!book)
            throwRecordsInvalid();
        markedKnown_ = false;
        workbook().load(book->bytes);
        settleActiveSheet();
        return;
    }

    std::string name = trimmed(path);
    if (!name.empty()) {
        if (!exists(name)) {
            if (exists(name + ".xls"))
                name += ".xls";
            else
                throw StorageError(formatMessage(msg::FileNotFound, path.c_str()));
        }
    }
    if (!isCompoundFile(name))
        throw StorageError(formatMessage(msg::FileInvalid, name.c_str()));
    const CompoundDocument doc = CompoundDocument::openFile(name);
    loadFromDocument(doc);
}

void TXLSFile::openBytes(ByteSpan document)
{
    if (!hasCompoundSignature(document.data(), document.size()))
        throw StorageError(formatMessage(msg::FileInvalid, ""));
    const CompoundDocument doc =
        CompoundDocument::openBytes(std::vector<std::uint8_t>(document.begin(), document.end()), "");
    loadFromDocument(doc);
}

void TXLSFile::loadFromDocument(const CompoundDocument& doc)
{
    TWorkbook& book = workbook();
    std::string streamName = msg::WorkbookStreamName;
    std::optional<std::vector<std::uint8_t>> bytes = doc.readStream(streamName);
    if (!bytes) {
        auto biff5 = doc.readStream(Biff5StreamName);
        if (biff5 && startsWithBiff8Bof(*biff5)) {
            bytes = std::move(biff5);
            streamName = Biff5StreamName;
        }
    }
    storages_ = doc.copyElements(streamName);
    if (!bytes)
        throwRecordsInvalid();
    markedKnown_ = false;
    book.load(*bytes);
    settleActiveSheet();
}

void TXLSFile::settleActiveSheet()
{
    const TWindow1Record* w1 = workbook_->globals().window1;
    activeSheet_ = w1 ? w1->activeTab() + 1 : 1;
}

int TXLSFile::sheetCount() const
{
    return static_cast<int>(workbook().globals().boundSheets.size());
}

void TXLSFile::setActiveSheet(int n)
{
    activeSheet_ = n;
    TWorkbook& book = workbook();
    if (TWindow1Record* w1 = book.globals().window1)
        w1->setTabs(static_cast<std::uint16_t>(n - 1), 0, 1);
    const auto& sheets = book.sheets();
    constexpr std::uint16_t marks = TWindow2Record::Selected | TWindow2Record::Paged;
    auto window2 = [&](std::size_t i) -> TWindow2Record* {
        auto* ws = i < sheets.size() ? dynamic_cast<TWorkSheet*>(sheets[i].get()) : nullptr;
        return ws ? ws->window2 : nullptr;
    };
    if (!markedKnown_) {
        marked_.clear();
        for (std::size_t i = 0; i < sheets.size(); ++i)
            marked_.push_back(i);
        markedKnown_ = true;
    }
    for (std::size_t i : marked_)
        if (TWindow2Record* w2 = window2(i))
            w2->setFlags(w2->flags() & ~marks);
    marked_.clear();
    if (n >= 1) {
        if (TWindow2Record* w2 = window2(static_cast<std::size_t>(n - 1))) {
            w2->setFlags(w2->flags() | marks);
            marked_.push_back(static_cast<std::size_t>(n - 1));
        }
    }
}

std::u16string TXLSFile::sheetName() const
{
    const auto& bound = workbook().globals().boundSheets;
    const int index = activeSheet_ - 1;
    if (index < 0 || index >= static_cast<int>(bound.size()))
        throw QueryError(formatNumber(msg::ListIndex, index));
    return bound.name(static_cast<std::size_t>(index));
}

const TSheet& TXLSFile::sheet(int n) const
{
    const auto& sheets = workbook().sheets();
    const int index = n - 1;
    if (index < 0 || index >= static_cast<int>(sheets.size()))
        throw QueryError(formatNumber(msg::ListIndex, index));
    return *sheets[static_cast<std::size_t>(index)];
}

TXlsCellValue TXLSFile::cellValue(int row, int col) const
{
    const auto* ws = dynamic_cast<const TWorkSheet*>(&sheet(activeSheet_));
    if (!ws)
        return {};
    const long long r = static_cast<long long>(row) - 1;
    const long long c = static_cast<long long>(col) - 1;
    if (r < 0 || r >= MaxRows)
        throw QueryError(formatNumber(msg::InvalidRow, r));
    if (c < 0 || c >= MaxColumns)
        throw QueryError(formatNumber(msg::InvalidColumn, c));
    const TCellRecord* cell = ws->cells.cell(r, c);
    if (!cell)
        return {};
    return cell->cellValue();
}

} // namespace quorvane::xls
