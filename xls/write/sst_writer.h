#pragma once
// Writing the shared string table: SST with its CONTINUE records, then EXTSST.
#include "xls/sst.h"
#include "xls/write/sink.h"

namespace quorvane::xls {

/// Largest record the table is assembled in: 4 header bytes and 8224 body bytes.
inline constexpr std::size_t SstRecordLimit = 8228;

/// Writes SST, its CONTINUE records and EXTSST to `sink`, whose written() count is the
/// absolute stream position. Entries no cell references (count 0) are left out. When
/// the sink writes, each entry written receives its index, stream position and
/// in-record offset in its header; a counting sink leaves the table untouched.
void writeSharedStrings(TSST& sst, ByteSink& sink);

/// Bytes writeSharedStrings() writes for this table.
std::size_t sharedStringsSize(const TSST& sst);

} // namespace quorvane::xls
