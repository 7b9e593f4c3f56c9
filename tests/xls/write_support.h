#pragma once
// Helpers of the writer's tests: a small workbook to start from, the records of a
// written stream, and the cells of a workbook as the engine and as python3-xlrd see them.
#include "biff_builder.h"

#include "xls/workbook.h"
#include "xls/xlsfile.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace quorvane::xls::test {

/// Globals with one BOUNDSHEET per name and an empty worksheet for each.
Bytes emptyWorkbookStream(const std::vector<std::string>& sheets = {"Sheet1"});

/// A file object opened on `stream` (wrapped in a compound document).
std::unique_ptr<TXLSFile> openStream(const Bytes& stream, bool allowOverwriting = false);

TWorkSheet& worksheet(TWorkbook& book, std::size_t i);

struct WrittenRecord {
    std::uint16_t id;
    std::size_t pos;  // of the header
    Bytes body;
};
/// The records of a record stream, in order.
std::vector<WrittenRecord> recordsOf(const Bytes& stream);

/// One cell as a reader reports it: kind "number", "text", "bool" or "error".
struct SeenCell {
    std::string kind;
    std::string text; // text, "TRUE"/"FALSE", error text
    double number = 0;
    bool operator==(const SeenCell& o) const
    {
        return kind == o.kind &&
               (kind == "number" ? (number == o.number || (number != number && o.number != o.number)) : text == o.text);
    }
};
using SeenSheet = std::map<std::pair<int, int>, SeenCell>;
struct SeenBook {
    std::vector<std::string> names;
    std::vector<SeenSheet> sheets;
};

/// The non-blank cells of every worksheet that the engine reads, formula cells left out
/// (their cached results are reset on writing).
SeenBook engineCells(const TWorkbook& book);

/// The python3 that imports xlrd, or nothing.
std::optional<std::string> xlrdPython();
/// What python3-xlrd reads from `path` (cells at `skip` positions left out, by sheet).
SeenBook xlrdCells(const std::string& python, const std::string& path,
                   const std::vector<std::vector<std::pair<int, int>>>& skip);
/// Formula positions of every sheet of `book`.
std::vector<std::vector<std::pair<int, int>>> formulaCells(const TWorkbook& book);

} // namespace quorvane::xls::test
