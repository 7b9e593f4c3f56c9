#pragma once
// Failures are exceptions that carry the system's fixed English text; the user
// interface only shows what().  Each layer derives its own classes from Error.
#include <stdexcept>
#include <string>

namespace quorvane {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace text {
inline constexpr const char* RangeCheck = "Range check error";
inline constexpr const char* FpDivideByZero = "Floating point division by zero";
inline constexpr const char* FpInvalid = "Invalid floating point operation";
inline constexpr const char* FpOverflow = "Floating point overflow";
} // namespace text

/// An index or value outside its declared range (a work-array slot, a smallint).
class RangeError : public Error {
public:
    RangeError() : Error(text::RangeCheck) {}
};

/// An arithmetic fault at a point where the calculation must stop.
class FloatingPointError : public Error {
public:
    enum class Kind { DivideByZero, Invalid, Overflow };
    explicit FloatingPointError(Kind kind);
    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

/// Replaces "%s" in a message template by an argument (the texts carry at most one).
std::string format(std::string_view pattern, std::string_view arg);

} // namespace quorvane
