#pragma once
// Save of a file object: one output per format of its save-format set (only the binary
// workbook format is written; any other member fails with "Spreadsheet engine: Logical
// Error" before anything is written).
#include "xls/xlsfile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvane::xls {

/// Where a save goes. `outStream`, when given, receives the whole compound document and
/// no file is written. Otherwise `OnGetOutStream` may supply the stream, else
/// `OnGetFilename` may change the name.
struct SaveTarget {
    std::string path;
    std::vector<std::uint8_t>* outStream = nullptr;
    std::function<std::vector<std::uint8_t>*()> OnGetOutStream;
    std::function<void(std::string& name)> OnGetFilename;
};

/// Writes the workbook of `file` with the preserved elements of its compound document.
/// With a named file that exists and a file object that may not overwrite, fails with
/// "Can't write to file "%s". Check it is not in use by another user" before anything is
/// written. A failed save leaves no partly written file.
void saveFile(TXLSFile& file, const SaveTarget& target);

/// The same for a path.
void saveFile(TXLSFile& file, const std::string& path);

/// The compound document `file` would be saved as.
std::vector<std::uint8_t> saveToDocument(TXLSFile& file);

} // namespace quorvane::xls
