#pragma once
// UTF-16 (the engine's text) to and from UTF-8 (paths, messages, the command line).
#include <string>
#include <string_view>

namespace quorvane::xls {

/// Unpaired surrogates become U+FFFD.
std::string toUtf8(std::u16string_view s);
/// Invalid sequences become U+FFFD.
std::u16string fromUtf8(std::string_view s);

} // namespace quorvane::xls
