#include "platform/errors.h"

namespace quorvane {

namespace {
const char* fpText(FloatingPointError::Kind kind)
{
    switch (kind) {
    case FloatingPointError::Kind::DivideByZero: return text::FpDivideByZero;
    case FloatingPointError::Kind::Invalid: return text::FpInvalid;
    case FloatingPointError::Kind::Overflow: return text::FpOverflow;
    }
    return text::FpInvalid;
}
} // namespace

FloatingPointError::FloatingPointError(Kind kind) : Error(fpText(kind)), kind_(kind) {}

std::string format(std::string_view pattern, std::string_view arg)
{
    std::string out(pattern);
    if (auto at = out.find("%s"); at != std::string::npos)
        out.replace(at, 2, arg);
    return out;
}

} // namespace quorvane
