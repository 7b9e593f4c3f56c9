#include "xls/xlsimport.h"

#include "xls/errors.h"
#include "xls/messages.h"

namespace quorvane::xls {

TXlsImport::~TXlsImport()
{
    CloseWorkbook();
    if (adapter_)
        adapter_->removeObserver(this);
}

void TXlsImport::SetAdapter(TXLSAdapter* adapter)
{
    if (adapter_ == adapter)
        return;
    if (adapter_)
        adapter_->removeObserver(this);
    adapter_ = adapter;
    if (adapter_)
        adapter_->addObserver(this);
}

void TXlsImport::CloseWorkbook() noexcept
{
    if (file_)
        file_->disconnect();
    file_.reset();
    path_.clear();
}

void TXlsImport::OpenWorkbook(const std::string& path)
{
    if (!adapter_)
        throw QueryError(msg::NoAdapter);
    CloseWorkbook();
    std::unique_ptr<TXLSFile> file = adapter_->createFile();
    file->connect();
    file->openFile(path); // on failure the new file object is freed here
    if (file->activeSheet() > file->sheetCount())
        file->setActiveSheet(1);
    else
        file->setActiveSheet(file->activeSheet());
    file_ = std::move(file);
    path_ = path;
}

TXLSFile& TXlsImport::openFile() const
{
    if (!file_)
        throw QueryError(msg::NoOpenFile);
    return *file_;
}

int TXlsImport::SheetCount() const { return openFile().sheetCount(); }
int TXlsImport::ActiveSheet() const { return openFile().activeSheet(); }
void TXlsImport::SetActiveSheet(int n) { openFile().setActiveSheet(n); }
std::u16string TXlsImport::SheetName() const { return openFile().sheetName(); }
CellVariant TXlsImport::CellValue(int row, int col) const { return openFile().cellValue(row, col).value; }

} // namespace quorvane::xls
