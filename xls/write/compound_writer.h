#pragma once
// Writing the output compound document over libgsf: the preserved elements in their
// stored order, then the "Workbook" stream.
#include "xls/bytes.h"
#include "xls/storage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::xls {

/// The whole compound document: every element of `elements` except a top-level one named
/// "Workbook" (an empty stream or an empty storage is not written), then the "Workbook"
/// stream holding `workbookStream`. Fails with "Error writing output file" when the
/// library accepts fewer bytes than given.
std::vector<std::uint8_t> buildCompoundDocument(const TXlsStorageList& elements, ByteSpan workbookStream);

/// Writes `document` to `path` so that no partly written file is ever left there: the
/// bytes go to a temporary file in the same folder, which then takes the name. Without
/// `allowOverwriting` an existing file is never replaced and the save fails with "Can't
/// write to file "%s". Check it is not in use by another user".
void writeFileAtomically(const std::string& path, ByteSpan document, bool allowOverwriting);

/// True when something exists under `path`.
bool pathExists(const std::string& path) noexcept;

} // namespace quorvane::xls
