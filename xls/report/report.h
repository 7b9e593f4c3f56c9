#pragma once
// `TCustomXlsReport` / `TXlsReport`: fills a template workbook from datasets and writes
// the result. The template marks bands with defined names "__dataset__"; the band's
// rows are repeated once per record and the tags in their cells ("##dataset##field",
// "#.property", either alone or embedded between "<" and ">") are replaced by values.
#include "xls/report/dataset.h"
#include "xls/xlsfile.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane::xls {

/// Row handling of a band. Only frm_FullCopyAndInsert inserts and deletes rows; the other
/// two write the records downward over the rows below the band.
enum class TXlsReportMode { frm_FullCopyAndInsert, frm_OnlyCopy, frm_DontCopyAndDontInsert };

/// How a dataset's record count is taken.
enum class TCalcRecordCount { cr_None, cr_Count, cr_SlowCount };

/// `TOneBandValue`: one part of a template cell.
struct TOneBandValue {
    enum class Kind { Literal, ValuesList, Property, Method, Field, WholeDataSet };
    Kind kind = Kind::Literal;
    std::u16string text;        // as written in the template
    CellVariant literal;        // Literal; the stored value for ValuesList
    IXlsDataSet* dataSet = nullptr;
    IXlsField* field = nullptr;
    std::u16string name;        // property or method
    std::vector<int> indexPath; // "#." separated integers after the name
    /// Rich-text runs of a literal that fall inside it: (first character, font index),
    /// the characters counted from the part's start.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> runs;
};

/// `TBandValue`: a parsed template cell (template row and column, 0-based).
struct TBandValue {
    int row = 0;
    int col = 0;
    int xf = 0;
    std::vector<TOneBandValue> parts;
};

/// `TExcelBand`: rows 1-based of the active sheet, columns 0-based.
struct TExcelBand {
    int firstRow = 0, lastRow = 0;
    int firstCol = 0, lastCol = 0;
    int nameIndex = -1;
    std::vector<IXlsDataSet*> dataSets; // null where no dataset has the name
    std::vector<TExcelBand> children;   // TExcelBandList, by first row
};

/// A band name found among the defined names of a workbook.
struct BandName {
    int index = 0;     // of the NAME record
    int sheet = 0;     // 0-based sheet the range lies on
    int firstRow = 0, lastRow = 0; // 1-based
    int firstCol = 0, lastCol = 0; // 0-based
    std::vector<std::u16string> dataSets;
};

/// The band names of `book`: NAME records whose name (after any "...!") starts with
/// "__" and whose formula is one 3-D reference into a sheet of the workbook.
std::vector<BandName> bandNames(const TWorkbook& book);

/// The dataset names of a band name ("__a__b__" gives a and b).
std::vector<std::u16string> bandDataSetNames(std::u16string_view name);

class TCustomXlsReport {
public:
    TCustomXlsReport() = default;
    virtual ~TCustomXlsReport() = default;
    TCustomXlsReport(const TCustomXlsReport&) = delete;
    TCustomXlsReport& operator=(const TCustomXlsReport&) = delete;

    std::string Template;
    std::string FileName;
    bool AutoClose = false;
    TXLSAdapter* Adapter = nullptr;
    /// Where datasets, properties and methods are looked up; its owner sets it.
    const TXlsDataModule* DataModule = nullptr;
    std::u16string DateTimeFormat = u"mm/dd/yyyy hh:mm";
    bool KeepEmptyPictures = false;
    bool UseDisplayNames = false;
    bool UseHiddenFields = true;
    bool DeleteEmptyRows = true;
    TXlsReportMode ReportModeRows = TXlsReportMode::frm_FullCopyAndInsert;
    TXlsReportMode ReportModeCols = TXlsReportMode::frm_FullCopyAndInsert;
    TCalcRecordCount CalcRecordCount = TCalcRecordCount::cr_Count;
    IXlsDataSet* PagesDataSet = nullptr;
    std::u16string PagesDataField;
    /// The report's value list, read by "#.name" before the data module's properties.
    std::vector<std::pair<std::u16string, CellVariant>> Values;

    std::function<void()> OnBeforeGenerateWorkbook;
    std::function<void()> OnAfterGenerateWorkbook;
    std::function<void(int sheet)> OnBeforeGeneratePage;
    std::function<void(int sheet)> OnAfterGeneratePage;
    std::function<void(std::string& name)> OnGetFilename;
    std::function<std::vector<std::uint8_t>*()> OnGetOutStream;
    /// May replace the value of a part before it is written (sheet 1-based, row and
    /// column 0-based of the output).
    std::function<void(int sheet, int row, int col, CellVariant& value)> OnGetCellValue;
    /// May replace the value of each part of a cell, note or picture name before the
    /// parts are joined; the part tells its kind, dataset and field or property.
    std::function<void(int sheet, int row, int col, const TOneBandValue& part, CellVariant& value)> OnGetCellValueX;
    /// Hears the values of a whole output row (column, value) before they are written and
    /// may change them; `templateRow` is the band row it was made from (0-based).
    std::function<void(int sheet, int row, int templateRow, std::vector<std::pair<int, CellVariant>>& values)>
        OnGetCellValueXRow;
    /// Told every 10 records; setting `cancel` stops the run without saving.
    std::function<void(int records, bool& cancel)> OnProgress;
    std::function<void(IXlsDataSet& dataSet, int& count)> OnRecordCount;

    /// Reads `Template`, fills it and writes `FileName`. Errors pass unchanged; a
    /// failure before the save writes nothing.
    void Run();

    /// Records counted through the last run.
    int progress() const noexcept { return progress_; }

protected:
    int recordCount(IXlsDataSet& ds) const;

private:
    class Run_;
    int progress_ = 0;
};

class TXlsReport : public TCustomXlsReport {};

} // namespace quorvane::xls
