#include "data/curve_table.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace quorvane::data {

namespace {

struct Pattern {
    int minIntegerDigits = 0; ///< '0' before the point
    int requiredDecimals = 0; ///< '0' after the point
    int optionalDecimals = 0; ///< '#' after the point
};

Pattern parse(std::string_view pattern)
{
    Pattern p;
    const auto point = pattern.find('.');
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool after = point != std::string_view::npos && i > point;
        if (pattern[i] == '0')
            ++(after ? p.requiredDecimals : p.minIntegerDigits);
        else if (pattern[i] == '#' && after)
            ++p.optionalDecimals;
    }
    return p;
}

/// Digits of |value| with exactly `decimals` decimals, rounded half away from zero
/// on the exact binary value. A tie needs the exact value to end at the digit after
/// the last one kept, which happens only when |value| * 2^(decimals + 1) is whole;
/// then printing decimals + 1 digits is exact and the tie is rounded by hand.
/// Otherwise the correctly rounded conversion cannot meet a tie.
std::string fixedDigits(double magnitude, int decimals)
{
    char buf[400];
    const double scaled = std::ldexp(magnitude, decimals + 1);
    if (magnitude < 1e300 && scaled == std::floor(scaled)) {
        int n = std::snprintf(buf, sizeof buf, "%.*f", decimals + 1, magnitude);
        std::string s(buf, static_cast<std::size_t>(n));
        const char last = s.back();
        s.pop_back();
        if (decimals == 0)
            s.pop_back(); // the point
        if (last >= '5') {
            int i = static_cast<int>(s.size()) - 1;
            for (; i >= 0; --i) {
                if (s[static_cast<std::size_t>(i)] == '.')
                    continue;
                if (s[static_cast<std::size_t>(i)] == '9') {
                    s[static_cast<std::size_t>(i)] = '0';
                } else {
                    ++s[static_cast<std::size_t>(i)];
                    break;
                }
            }
            if (i < 0)
                s.insert(s.begin(), '1');
        }
        return s;
    }
    const int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, magnitude);
    return std::string(buf, static_cast<std::size_t>(n));
}

} // namespace

std::string formatDisplay(double value, std::string_view pattern, char decimalPoint)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (pattern.empty()) {
        char buf[64];
        const auto res = std::to_chars(buf, buf + sizeof buf, value);
        std::string s(buf, res.ptr);
        for (char& c : s)
            if (c == '.')
                c = decimalPoint;
        return s;
    }

    const Pattern p = parse(pattern);
    const int decimals = p.requiredDecimals + p.optionalDecimals;
    std::string digits = fixedDigits(std::fabs(value), decimals);

    std::string integerPart = digits, fraction;
    if (const auto dot = digits.find('.'); dot != std::string::npos) {
        integerPart = digits.substr(0, dot);
        fraction = digits.substr(dot + 1);
    }
    // Optional decimals drop their trailing zeros.
    while (static_cast<int>(fraction.size()) > p.requiredDecimals && !fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    // Leading zeros of the integer part beyond what the pattern requires go.
    while (integerPart.size() > 1 && integerPart.front() == '0' &&
           static_cast<int>(integerPart.size()) > p.minIntegerDigits)
        integerPart.erase(integerPart.begin());
    if (p.minIntegerDigits == 0 && integerPart == "0" && !fraction.empty())
        integerPart.clear();
    while (static_cast<int>(integerPart.size()) < p.minIntegerDigits)
        integerPart.insert(integerPart.begin(), '0');

    const bool zero = integerPart.find_first_not_of('0') == std::string::npos &&
                      fraction.find_first_not_of('0') == std::string::npos;
    std::string out;
    if (value < 0 && !zero)
        out += '-';
    out += integerPart;
    if (!fraction.empty()) {
        out += decimalPoint;
        out += fraction;
    }
    return out;
}

} // namespace quorvane::data
