#include "work/parameter_text.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace quorvane {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Accumulates decimal digits, saturating instead of overflowing.
long long digitsValue(std::string_view digits)
{
    long long v = 0;
    for (char c : digits) {
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            v = static_cast<long long>(INT_MAX) + 1;
    }
    return v;
}

} // namespace

std::string upperCase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::optional<double> parseDecimal(std::string_view text)
{
    std::string_view s = trimmed(text);
    // Check the shape first: from_chars alone would also take "inf", "nan" and
    // stop silently before trailing text.
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t mantissaDigits = 0;
    while (i < s.size() && isDigit(s[i]))
        ++i, ++mantissaDigits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++mantissaDigits;
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        std::size_t expDigits = 0;
        while (i < s.size() && isDigit(s[i]))
            ++i, ++expDigits;
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    if (s.front() == '+')
        s.remove_prefix(1); // from_chars takes no plus sign
    double value = 0.0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the nearest the type holds.
        const bool negative = s.front() == '-';
        const std::size_t e = s.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && s.substr(e + 1).starts_with('-');
        value = tiny ? (negative ? -0.0 : 0.0) : (negative ? -HUGE_VAL : HUGE_VAL);
    } else if (ec != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return value;
}

double parameterNumber(std::string_view text) { return parseDecimal(text).value_or(0.0); }

int parameterInteger(std::string_view text)
{
    std::string_view s = text;
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    bool negative = false;
    std::string_view body = s;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    std::size_t n = 0;
    while (n < body.size() && isDigit(body[n]))
        ++n;
    long long v = digitsValue(body.substr(0, n));
    const bool whole = n > 0 && n == body.size();
    if (whole && negative)
        v = -v; // only a whole integer keeps its sign
    if (v > INT_MAX)
        v = INT_MAX;
    if (v < INT_MIN)
        v = INT_MIN;
    return static_cast<int>(v);
}

} // namespace quorvane
