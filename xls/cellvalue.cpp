#include "xls/cellvalue.h"

#include <array>
#include <charconv>
#include <cstring>

namespace quorvane::xls {

namespace {
struct ErrorCode {
    std::uint8_t code;
    const char16_t* text;
};
constexpr std::array<ErrorCode, 7> errorCodes{{
    {0x00, u"#NULL!"},
    {0x07, u"#DIV/0!"},
    {0x0F, u"#VALUE!"},
    {0x17, u"#REF!"},
    {0x1D, u"#NAME?"},
    {0x24, u"#NUM!"},
    {0x2A, u"#N/A"},
}};
} // namespace

std::optional<std::u16string> knownErrorText(std::uint8_t code)
{
    for (const auto& e : errorCodes)
        if (e.code == code)
            return std::u16string(e.text);
    return std::nullopt;
}

std::u16string errorText(std::uint8_t code)
{
    return knownErrorText(code).value_or(u"#NULL!");
}

double decodeRK(std::uint32_t rk) noexcept
{
    double d;
    if (rk & 0x2) {
        d = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&d, &bits, sizeof d);
    }
    if (rk & 0x1)
        d /= 100.0;
    return d;
}

std::u16string variantToText(const CellVariant& v)
{
    struct Visitor {
        std::u16string operator()(std::monostate) const { return {}; }
        std::u16string operator()(double d) const
        {
            char buf[64];
            auto res = std::to_chars(buf, buf + sizeof buf, d);
            return std::u16string(buf, res.ptr);
        }
        std::u16string operator()(const std::u16string& s) const { return s; }
        std::u16string operator()(bool b) const { return b ? u"TRUE" : u"FALSE"; }
        std::u16string operator()(const CellError& e) const { return e.text; }
    };
    return std::visit(Visitor{}, v);
}

} // namespace quorvane::xls
