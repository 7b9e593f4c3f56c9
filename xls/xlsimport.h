#pragma once
// `TXlsImport`: the import window's face of the engine. It opens one workbook, lists
// its sheets, makes one active and answers the value of any cell of the active sheet.
// Rows and columns are 1-based here.
#include "xls/xlsfile.h"

#include <memory>
#include <string>

namespace quorvane::xls {

class TXlsImport : private TXLSAdapterObserver {
public:
    TXlsImport() = default;
    TXlsImport(const TXlsImport&) = delete;
    TXlsImport& operator=(const TXlsImport&) = delete;
    ~TXlsImport();

    /// The adapter that creates file objects; cleared when the adapter is destroyed.
    TXLSAdapter* Adapter() const noexcept { return adapter_; }
    void SetAdapter(TXLSAdapter* adapter);

    /// Opens the workbook, replacing any open one. Without an adapter fails with "There is
    /// no Adapter linked to the report"; a failed open leaves no workbook open and passes
    /// the error on.
    void OpenWorkbook(const std::string& path);
    /// Closes the open workbook, if any; errors while closing are ignored.
    void CloseWorkbook() noexcept;
    bool IsOpen() const noexcept { return file_ != nullptr; }
    const std::string& Path() const noexcept { return path_; }

    /// Number of sheets (BOUNDSHEET records).
    int SheetCount() const;
    int ActiveSheet() const;
    /// Makes sheet n active and marks it as the selected tab; no range check.
    void SetActiveSheet(int n);
    /// Name of the active sheet.
    std::u16string SheetName() const;
    /// Value of the cell (row, col) of the active sheet: empty, number, text, boolean or
    /// an error's text. Fails with "Invalid Row (%d)" / "Invalid Column (%d)" (0-based
    /// number) outside 1..65536 / 1..256.
    CellVariant CellValue(int row, int col) const;

    /// The open file object (for the sheet grid), or null.
    TXLSFile* File() const noexcept { return file_.get(); }

private:
    void adapterDestroyed() noexcept override { adapter_ = nullptr; }
    TXLSFile& openFile() const;

    TXLSAdapter* adapter_ = nullptr;
    std::unique_ptr<TXLSFile> file_;
    std::string path_;
};

} // namespace quorvane::xls
