#pragma once
// `TXLSAdapter` and `TXLSFile`: the file object that opens one workbook from a compound
// document, holds it with the document's other elements, and answers sheet and cell
// queries. The writer and the template filler work on the same object.
#include "xls/cellvalue.h"
#include "xls/storage.h"
#include "xls/workbook.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quorvane::xls {

class TXLSFile;

/// Output formats of a save; the system only ever uses snXLS.
enum class TSaveFormat { snXLS, snCSVComma, snCSVSemiColon, snTabDelimited };

/// Told when an adapter is destroyed, so that components drop their reference to it.
class TXLSAdapterObserver {
public:
    virtual void adapterDestroyed() noexcept = 0;

protected:
    ~TXLSAdapterObserver() = default;
};

/// `TXLSAdapter`: creates file objects. Its properties are copied into each file object
/// when it is created.
class TXLSAdapter {
public:
    TXLSAdapter() = default;
    TXLSAdapter(const TXLSAdapter&) = delete;
    TXLSAdapter& operator=(const TXLSAdapter&) = delete;
    ~TXLSAdapter();

    bool AllowOverwritingFiles() const noexcept { return allowOverwriting_; }
    void SetAllowOverwritingFiles(bool v) noexcept { allowOverwriting_ = v; }
    const std::set<TSaveFormat>& SaveFormat() const noexcept { return saveFormat_; }
    void SetSaveFormat(std::set<TSaveFormat> v) { saveFormat_ = std::move(v); }
    /// When set, workbooks are opened from these elements instead of a file; the
    /// caller keeps the store alive while file objects use it.
    const TXlsStorageList* TemplateStore() const noexcept { return templateStore_; }
    void SetTemplateStore(const TXlsStorageList* store) noexcept { templateStore_ = store; }

    /// A new file object bound to this adapter; the caller owns it.
    std::unique_ptr<TXLSFile> createFile() const;

    void addObserver(TXLSAdapterObserver* o);
    void removeObserver(TXLSAdapterObserver* o) noexcept;

private:
    bool allowOverwriting_ = false;
    std::set<TSaveFormat> saveFormat_{TSaveFormat::snXLS};
    const TXlsStorageList* templateStore_ = nullptr;
    std::vector<TXLSAdapterObserver*> observers_;
};

/// `TXLSFile`: one opened workbook.
class TXLSFile {
public:
    TXLSFile(bool allowOverwriting, std::set<TSaveFormat> saveFormat, const TXlsStorageList* templateStore);

    /// Creates an empty workbook / frees it.
    void connect();
    void disconnect() noexcept;
    bool isConnected() const noexcept { return workbook_ != nullptr; }

    /// Reads the named workbook (the caller has connected first). Fails with the texts
    /// "Can't find the file "%s"", "The file "%s" is invalid", "Can't read file "%s"",
    /// "Error reading Excel records. File invalid" and those of the record layer.
    void openFile(const std::string& path);
    /// The same from an in-memory copy of a whole compound document.
    void openBytes(ByteSpan document);

    /// The workbook; fails with "There is no open file" when not connected.
    TWorkbook& workbook();
    const TWorkbook& workbook() const;

    /// The compound document's elements other than the "Workbook" stream, as read.
    TXlsStorageList& storages() noexcept { return storages_; }
    const TXlsStorageList& storages() const noexcept { return storages_; }

    bool allowOverwritingFiles() const noexcept { return allowOverwriting_; }
    const std::set<TSaveFormat>& saveFormat() const noexcept { return saveFormat_; }

    /// Added to the 0-based column of the template filler's cell operations.
    int columnOffset = 0;
    /// Last column of the band that set the offset.
    int lastColumn = 0;

    // --- sheet and cell queries (1-based) ---
    int sheetCount() const;
    int activeSheet() const noexcept { return activeSheet_; }
    /// Makes sheet n active and marks it as the selected tab (WINDOW1 and WINDOW2); no
    /// range check.
    void setActiveSheet(int n);
    /// Name of the active sheet; "List index out of bounds (%d)" outside the sheets.
    std::u16string sheetName() const;
    /// The sheet that `n` names (1-based); "List index out of bounds (%d)" outside the list.
    const TSheet& sheet(int n) const;
    /// Value, XF and formula flag of a cell of the active sheet.
    TXlsCellValue cellValue(int row, int col) const;

private:
    void loadFromDocument(const CompoundDocument& doc);
    void settleActiveSheet();

    bool allowOverwriting_;
    std::set<TSaveFormat> saveFormat_;
    const TXlsStorageList* templateStore_;
    std::unique_ptr<TWorkbook> workbook_;
    TXlsStorageList storages_;
    int activeSheet_ = 1;
    /// Sheets whose WINDOW2 may carry the selected or paged mark: all of them until the
    /// first setActiveSheet, then the one it marked, so that selecting each sheet of a
    /// workbook in turn costs one pass in all rather than one per sheet.
    std::vector<std::size_t> marked_;
    bool markedKnown_ = false;
};

} // namespace quorvane::xls
