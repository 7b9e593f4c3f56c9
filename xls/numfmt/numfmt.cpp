#include "xls/numfmt/numfmt.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace quorvane::xls::numfmt {

namespace {

std::u16string widen(std::string_view s)
{
    return std::u16string(s.begin(), s.end());
}

char16_t lower(char16_t c) noexcept
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

bool startsWithNoCase(std::u16string_view s, std::size_t at, std::string_view word) noexcept
{
    if (s.size() - at < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lower(s[at + i]) != static_cast<char16_t>(word[i]))
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// Decimal digits of a double, rounded half away from zero on its exact binary value.

struct Fixed {
    std::string intDigits;  // no leading zeros; empty when the integer part is 0
    std::string fracDigits; // exactly the number of decimals asked for
};

// Rounds the decimal digit string `digits` (all digits, no point) at `keep` digits,
// looking at the digits after it: half away from zero. Returns true on a carry out of
// the leftmost digit (the kept digits then all read 0).
bool roundDigits(std::string& digits, std::size_t keep)
{
    bool up = keep < digits.size() && digits[keep] >= '5';
    digits.resize(std::min(keep, digits.size()));
    for (std::size_t i = digits.size(); up && i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            up = false;
        }
    }
    return up;
}

// Enough decimals beyond the ones kept that the rounding digit is decided by the exact
// binary value, not by a correctly rounded shorter form.
constexpr int GuardDigits = 25;
constexpr int MaxDecimals = 30;

Fixed toFixed(double absV, int decimals)
{
    decimals = std::clamp(decimals, 0, MaxDecimals);
    std::array<char, 400> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), absV, std::chars_format::fixed,
                                   decimals + GuardDigits);
    std::string s(buf.data(), res.ptr);
    const std::size_t point = s.find('.');
    std::string intPart = s.substr(0, point);
    std::string all = intPart + (point == std::string::npos ? std::string() : s.substr(point + 1));
    const std::size_t keep = intPart.size() + static_cast<std::size_t>(decimals);
    if (roundDigits(all, keep))
        all.insert(all.begin(), '1');
    Fixed f;
    f.intDigits = all.substr(0, all.size() - static_cast<std::size_t>(decimals));
    f.fracDigits = all.substr(all.size() - static_cast<std::size_t>(decimals));
    const std::size_t nz = f.intDigits.find_first_not_of('0');
    f.intDigits = nz == std::string::npos ? std::string() : f.intDigits.substr(nz);
    return f;
}

// absV = d.ddd × 10^exponent with `sig` significant digits (rounded as above).
struct Scientific {
    std::string digits; // sig digits
    int exponent = 0;
};

Scientific toScientific(double absV, int sig)
{
    Scientific r;
    sig = std::clamp(sig, 1, 30);
    if (absV == 0) {
        r.digits.assign(static_cast<std::size_t>(sig), '0');
        return r;
    }
    std::array<char, 80> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), absV, std::chars_format::scientific,
                                   sig - 1 + GuardDigits);
    std::string s(buf.data(), res.ptr);
    const std::size_t e = s.find('e');
    std::string mant = s.substr(0, e);
    mant.erase(std::remove(mant.begin(), mant.end(), '.'), mant.end());
    int exponent = std::stoi(s.substr(e + 1));
    if (roundDigits(mant, static_cast<std::size_t>(sig))) {
        mant.insert(mant.begin(), '1');
        mant.pop_back();
        ++exponent;
    }
    r.digits = mant;
    r.exponent = exponent;
    return r;
}

std::string stripTrailingZeros(std::string s)
{
    if (s.find('.') == std::string::npos)
        return s;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s;
}

std::string fixedText(double absV, int decimals)
{
    Fixed f = toFixed(absV, decimals);
    std::string s = f.intDigits.empty() ? "0" : f.intDigits;
    if (!f.fracDigits.empty())
        s += "." + f.fracDigits;
    return stripTrailingZeros(s);
}

std::string scientificText(double absV, int sig)
{
    Scientific sc = toScientific(absV, sig);
    std::string m = sc.digits.substr(0, 1);
    if (sc.digits.size() > 1)
        m += "." + sc.digits.substr(1);
    m = stripTrailingZeros(m);
    const int e = std::abs(sc.exponent);
    return m + (sc.exponent < 0 ? "E-" : "E+") + (e < 10 ? "0" : "") + std::to_string(e);
}

// Integer digit count of absV (>= 1), or the negative count of zeros after the point.
int decimalExponent(double absV)
{
    return toScientific(absV, 15).exponent;
}

std::string generalAbs(double a)
{
    // The fixed form fits in 11 characters; past that six significant digits in
    // scientific form, as a spreadsheet cell of standard width shows them.
    constexpr std::size_t Width = 11;
    if (a == 0)
        return "0";
    const int e = decimalExponent(a);
    if (e >= 11)
        return scientificText(a, 6);
    if (e == 10)
        return fixedText(a, 0);
    if (e >= 0)
        return fixedText(a, 9 - e);
    if (e >= -4)
        return fixedText(a, 9);
    std::string fixed = fixedText(a, 12);
    if (fixed.size() <= Width && fixed != "0")
        return fixed;
    return scientificText(a, 6);
}

std::u16string applySymbols(std::string_view s, const Symbols& sym)
{
    std::u16string out;
    out.reserve(s.size());
    for (char c : s)
        out.push_back(c == '.' ? sym.decimal : static_cast<char16_t>(c));
    return out;
}

// ---------------------------------------------------------------------------
// Dates.

struct DateParts {
    int year = 1900, month = 1, day = 0;
    int weekday = 0; // 0 Sunday
    int hour = 0, minute = 0, second = 0;
    double subsecond = 0;        // 0 <= subsecond < 1, already rounded to the digits shown
    long long totalSeconds = 0;  // for the elapsed codes
    double totalSubsecond = 0;
};

// Civil date of a day number counted from 1970-01-01 (proleptic Gregorian).
void civilFromDays(long long z, int& y, int& m, int& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

long long daysFromCivil(int y, int m, int d)
{
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr long long Serial0 = -25569; // 30 December 1899 as days since 1970-01-01

// `subDigits`: decimals of the seconds that the format shows; time is rounded there.
DateParts dateParts(double serial, int subDigits)
{
    DateParts p;
    const double scale = std::pow(10.0, subDigits);
    const double units = std::round(serial * 86400.0 * scale);
    const long long perDay = static_cast<long long>(86400.0 * scale);
    const long long u = static_cast<long long>(units);
    const long long days = u / perDay;
    const long long inDay = u % perDay;
    const long long secs = inDay / static_cast<long long>(scale);
    p.subsecond = static_cast<double>(inDay % static_cast<long long>(scale)) / scale;
    p.totalSeconds = u / static_cast<long long>(scale);
    p.totalSubsecond = p.subsecond;
    p.hour = static_cast<int>(secs / 3600);
    p.minute = static_cast<int>(secs / 60 % 60);
    p.second = static_cast<int>(secs % 60);
    // Serial 60 is 29 February 1900, a day that never was; serial 0 is "1900-01-00".
    if (days == 0) {
        p.year = 1900, p.month = 1, p.day = 0;
    } else if (days == 60) {
        p.year = 1900, p.month = 2, p.day = 29;
    } else {
        const long long civil = Serial0 + days + (days < 60 ? 1 : 0);
        civilFromDays(civil, p.year, p.month, p.day);
    }
    p.weekday = static_cast<int>((days + 6) % 7);
    return p;
}

constexpr std::array<const char*, 12> MonthNames = {"January", "February", "March",     "April",
                                                    "May",     "June",     "July",      "August",
                                                    "September", "October", "November", "December"};
constexpr std::array<const char*, 7> DayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                 "Thursday", "Friday", "Saturday"};

std::string pad(long long v, int width)
{
    std::string s = std::to_string(v);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<std::size_t>(width - static_cast<int>(s.size())), '0');
    return s;
}

} // namespace

// ---------------------------------------------------------------------------
// Parsed sections.

namespace detail {

enum class Tk {
    Lit,     // text shown as is
    Ph,      // digit placeholder '0', '#', '?'
    Digit,   // a literal digit 1..9 (a fixed denominator after '/')
    Dot,
    Comma,
    Pct,
    Exp,     // "E+" or "E-"
    Slash,
    At,
    General,
    Date,    // date/time code, text holds its canonical form
};

struct Token {
    Tk kind = Tk::Lit;
    std::u16string text;
    int width = 1; // minimum digits of an elapsed-time code
};

enum class Cmp { None, Lt, Le, Gt, Ge, Eq, Ne };

struct Section {
    std::vector<Token> tokens;
    int color = -1;
    Cmp cmp = Cmp::None;
    double condValue = 0;
    bool isDate = false;
    bool hasAmPm = false;
    bool hasText = false;
    int subDigits = 0;

    bool matches(double v) const noexcept
    {
        switch (cmp) {
        case Cmp::Lt: return v < condValue;
        case Cmp::Le: return v <= condValue;
        case Cmp::Gt: return v > condValue;
        case Cmp::Ge: return v >= condValue;
        case Cmp::Eq: return v == condValue;
        case Cmp::Ne: return v != condValue;
        case Cmp::None: return false;
        }
        return false;
    }
};

} // namespace detail

using detail::Cmp;
using detail::Section;
using detail::Tk;
using detail::Token;

namespace {

int colorIndexOf(std::u16string_view name)
{
    static constexpr std::array<std::string_view, 8> Names = {"black", "white", "red",     "green",
                                                              "blue",  "yellow", "magenta", "cyan"};
    for (std::size_t i = 0; i < Names.size(); ++i)
        if (name.size() == Names[i].size() && startsWithNoCase(name, 0, Names[i]))
            return 8 + static_cast<int>(i);
    if (startsWithNoCase(name, 0, "color") && name.size() > 5) {
        int n = 0;
        for (std::size_t i = 5; i < name.size(); ++i) {
            if (name[i] < u'0' || name[i] > u'9')
                return -1;
            n = n * 10 + (name[i] - u'0');
            if (n > 56)
                return -1;
        }
        return n >= 1 ? n + 7 : -1;
    }
    return -1;
}

bool parseCondition(std::u16string_view c, Section& s)
{
    std::size_t i = 0;
    auto next = [&](char16_t ch) { return i < c.size() && c[i] == ch; };
    if (next(u'<')) {
        ++i;
        if (next(u'=')) { ++i; s.cmp = Cmp::Le; }
        else if (next(u'>')) { ++i; s.cmp = Cmp::Ne; }
        else s.cmp = Cmp::Lt;
    } else if (next(u'>')) {
        ++i;
        if (next(u'=')) { ++i; s.cmp = Cmp::Ge; }
        else s.cmp = Cmp::Gt;
    } else if (next(u'=')) {
        ++i;
        s.cmp = Cmp::Eq;
    } else {
        return false;
    }
    std::string num;
    for (; i < c.size(); ++i)
        if (c[i] != u' ')
            num.push_back(static_cast<char>(c[i] < 128 ? c[i] : '?'));
    double v = 0;
    const auto res = std::from_chars(num.data(), num.data() + num.size(), v);
    if (res.ec != std::errc() || res.ptr != num.data() + num.size()) {
        s.cmp = Cmp::None;
        return false;
    }
    s.condValue = v;
    return true;
}

void addLit(Section& s, std::u16string_view text)
{
    if (!s.tokens.empty() && s.tokens.back().kind == Tk::Lit)
        s.tokens.back().text += text;
    else
        s.tokens.push_back({Tk::Lit, std::u16string(text)});
}

bool isSecondsCode(const Token& t) noexcept
{
    return t.kind == Tk::Date && (t.text == u"s" || t.text == u"ss" || t.text == u"[s]");
}

Section parseSection(std::u16string_view f)
{
    Section s;
    std::size_t i = 0;
    while (i < f.size()) {
        const char16_t c = f[i];
        if (c == u'"') {
            const std::size_t end = f.find(u'"', i + 1);
            const std::size_t stop = end == std::u16string_view::npos ? f.size() : end;
            addLit(s, f.substr(i + 1, stop - i - 1));
            i = stop + 1;
        } else if (c == u'\\') {
            if (i + 1 < f.size())
                addLit(s, f.substr(i + 1, 1));
            i += 2;
        } else if (c == u'_') {
            addLit(s, u" ");
            i += 2;
        } else if (c == u'*') {
            i += 2; // the fill character repeats to the cell width: no width in plain text
        } else if (c == u'[') {
            const std::size_t end = f.find(u']', i + 1);
            if (end == std::u16string_view::npos) {
                addLit(s, f.substr(i));
                break;
            }
            const std::u16string_view inner = f.substr(i + 1, end - i - 1);
            i = end + 1;
            if (inner.empty())
                continue;
            if (const int ci = colorIndexOf(inner); ci >= 0) {
                s.color = ci;
            } else if (inner[0] == u'<' || inner[0] == u'>' || inner[0] == u'=') {
                parseCondition(inner, s);
            } else if (inner[0] == u'$') {
                // [$sym-locale]: the currency symbol is shown, the locale id is not.
                const std::size_t dash = inner.find(u'-');
                addLit(s, inner.substr(1, dash == std::u16string_view::npos ? inner.size() - 1 : dash - 1));
            } else {
                const char16_t l = lower(inner[0]);
                const bool elapsed = (l == u'h' || l == u'm' || l == u's') &&
                                     std::all_of(inner.begin(), inner.end(),
                                                 [l](char16_t ch) { return lower(ch) == l; });
                if (elapsed) {
                    // "[h]" keeps its name; the letter count is the minimum width.
                    s.tokens.push_back({Tk::Date, u"[" + std::u16string(1, l) + u"]"});
                    s.tokens.back().width = static_cast<int>(inner.size());
                }
                // Other bracketed codes (calendar and locale switches) show nothing.
            }
        } else if (c == u'0' || c == u'#' || c == u'?') {
            s.tokens.push_back({Tk::Ph, std::u16string(1, c)});
            ++i;
        } else if (c >= u'1' && c <= u'9') {
            s.tokens.push_back({Tk::Digit, std::u16string(1, c)});
            ++i;
        } else if (c == u'.') {
            // Fractional seconds: "s.00".
            std::size_t j = i + 1;
            while (j < f.size() && f[j] == u'0')
                ++j;
            if (j > i + 1 && !s.tokens.empty() && isSecondsCode(s.tokens.back())) {
                s.subDigits = std::max(s.subDigits, static_cast<int>(j - i - 1));
                s.tokens.push_back({Tk::Date, u"." + std::u16string(j - i - 1, u'0')});
                i = j;
            } else {
                s.tokens.push_back({Tk::Dot, u"."});
                ++i;
            }
        } else if (c == u',') {
            s.tokens.push_back({Tk::Comma, u","});
            ++i;
        } else if (c == u'%') {
            s.tokens.push_back({Tk::Pct, u"%"});
            ++i;
        } else if ((c == u'E' || c == u'e') && i + 1 < f.size() && (f[i + 1] == u'+' || f[i + 1] == u'-')) {
            s.tokens.push_back({Tk::Exp, std::u16string{u'E', f[i + 1]}});
            i += 2;
        } else if (c == u'/') {
            s.tokens.push_back({Tk::Slash, u"/"});
            ++i;
        } else if (c == u'@') {
            s.tokens.push_back({Tk::At, u"@"});
            s.hasText = true;
            ++i;
        } else if (startsWithNoCase(f, i, "general")) {
            s.tokens.push_back({Tk::General, u"General"});
            i += 7;
        } else if (startsWithNoCase(f, i, "am/pm")) {
            s.tokens.push_back({Tk::Date, u"AM/PM"});
            s.hasAmPm = true;
            i += 5;
        } else if (startsWithNoCase(f, i, "a/p")) {
            s.tokens.push_back({Tk::Date, std::u16string{u'A', u'/', f[i]}});
            s.hasAmPm = true;
            i += 3;
        } else if (const char16_t l = lower(c); l == u'y' || l == u'm' || l == u'd' || l == u'h' || l == u's' || l == u'e') {
            std::size_t j = i;
            while (j < f.size() && lower(f[j]) == l)
                ++j;
            const std::size_t n = j - i;
            std::u16string code;
            if (l == u'e')
                code = u"yyyy";
            else if (l == u'y')
                code = n <= 2 ? u"yy" : u"yyyy";
            else if (l == u'm')
                code = std::u16string(std::min<std::size_t>(n, 5), u'm');
            else if (l == u'd')
                code = std::u16string(std::min<std::size_t>(n, 4), u'd');
            else
                code = std::u16string(std::min<std::size_t>(n, 2), l);
            s.tokens.push_back({Tk::Date, code});
            i = j;
        } else {
            addLit(s, f.substr(i, 1));
            ++i;
        }
    }

    s.isDate = std::any_of(s.tokens.begin(), s.tokens.end(), [](const Token& t) { return t.kind == Tk::Date; });
    if (!s.isDate)
        return s;
    // In a date section number punctuation is literal, and "m"/"mm" next to hours or
    // seconds means minutes.
    for (Token& t : s.tokens)
        if (t.kind != Tk::Date && t.kind != Tk::Lit && t.kind != Tk::At && t.kind != Tk::General)
            t.kind = Tk::Lit;
    std::vector<std::size_t> dates;
    for (std::size_t k = 0; k < s.tokens.size(); ++k)
        if (s.tokens[k].kind == Tk::Date)
            dates.push_back(k);
    for (std::size_t di = 0; di < dates.size(); ++di) {
        Token& t = s.tokens[dates[di]];
        if (t.text != u"m" && t.text != u"mm")
            continue;
        const bool afterHour = di > 0 && (s.tokens[dates[di - 1]].text[0] == u'h' || s.tokens[dates[di - 1]].text == u"[h]");
        const bool beforeSecond = di + 1 < dates.size() && isSecondsCode(s.tokens[dates[di + 1]]);
        if (afterHour || beforeSecond)
            t.text = t.text == u"m" ? u"M" : u"MM"; // upper case: minutes
    }
    return s;
}

std::vector<std::u16string_view> splitSections(std::u16string_view code)
{
    std::vector<std::u16string_view> parts;
    std::size_t start = 0;
    bool quoted = false, bracket = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char16_t c = code[i];
        if (quoted) {
            quoted = c != u'"';
        } else if (bracket) {
            bracket = c != u']';
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u'[') {
            bracket = true;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u';') {
            parts.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(code.substr(start));
    return parts;
}

// ---------------------------------------------------------------------------
// Rendering a number section.

std::u16string renderGeneralSection(const Section& s, double v, const Symbols& sym)
{
    std::u16string out;
    for (const Token& t : s.tokens) {
        if (t.kind == Tk::General)
            out += generalNumber(v, sym);
        else if (t.kind == Tk::Lit || t.kind == Tk::Digit)
            out += t.text;
        else if (t.kind == Tk::At)
            continue;
        else
            out += t.kind == Tk::Dot ? std::u16string(1, sym.decimal) : t.kind == Tk::Comma ? std::u16string(1, sym.group) : t.text;
    }
    return out;
}

// Fills the placeholders of an integer part with `digits` (leading zeros dropped):
// digits beyond the placeholders go with the first one, missing ones become "0", " " or
// nothing by placeholder. `group` inserts the group symbol every three digits.
std::vector<std::u16string> fillInteger(const std::vector<char16_t>& ph, const std::string& digits, bool group,
                                        const Symbols& sym)
{
    const std::size_t k = ph.size(), n = digits.size();
    std::vector<std::u16string> out(k);
    // Position j counts from the right, 0-based.
    auto cellAt = [&](std::size_t j, char16_t type) -> std::u16string {
        if (j < n)
            return std::u16string(1, static_cast<char16_t>(digits[n - 1 - j]));
        if (type == u'0')
            return u"0";
        if (type == u'?')
            return u" ";
        return {};
    };
    auto withGroup = [&](std::size_t j, std::u16string cell) {
        if (group && j > 0 && j % 3 == 0 && !cell.empty())
            cell += cell == u" " ? u' ' : sym.group;
        return cell;
    };
    for (std::size_t i = 0; i < k; ++i) {
        const std::size_t j = k - 1 - i;
        std::u16string cell;
        if (i == 0)
            for (std::size_t x = n; x > k; --x)
                cell += withGroup(x - 1, cellAt(x - 1, u'0'));
        cell += withGroup(j, cellAt(j, ph[i]));
        out[i] = cell;
    }
    return out;
}

struct NumberLayout {
    std::vector<std::size_t> intPh, fracPh, expPh;
    std::size_t dot = std::string::npos, exp = std::string::npos;
    bool group = false;
    int scale = 0; // divisions by 1000
    int pct = 0;
};

NumberLayout layoutOf(const Section& s)
{
    NumberLayout L;
    const auto& t = s.tokens;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind == Tk::Exp && L.exp == std::string::npos)
            L.exp = i;
        if (t[i].kind == Tk::Dot && L.dot == std::string::npos && L.exp == std::string::npos)
            L.dot = i;
        if (t[i].kind == Tk::Pct)
            ++L.pct;
    }
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].kind != Tk::Ph)
            continue;
        if (L.exp != std::string::npos && i > L.exp)
            L.expPh.push_back(i);
        else if (L.dot != std::string::npos && i > L.dot)
            L.fracPh.push_back(i);
        else
            L.intPh.push_back(i);
    }
    // A comma between integer placeholders groups; one after the last placeholder of
    // the integer part (or of the decimals) divides by 1000.
    const std::size_t partEnd = L.exp != std::string::npos ? L.exp : t.size();
    for (std::size_t i = 0; i < partEnd; ++i) {
        if (t[i].kind != Tk::Comma)
            continue;
        const std::size_t limit = (L.dot != std::string::npos && i < L.dot) ? L.dot : partEnd;
        bool phBefore = false, phAfter = false;
        for (std::size_t j = 0; j < i; ++j)
            phBefore = phBefore || t[j].kind == Tk::Ph;
        for (std::size_t j = i + 1; j < limit; ++j)
            phAfter = phAfter || t[j].kind == Tk::Ph;
        if (phBefore && phAfter && (L.dot == std::string::npos || i < L.dot))
            L.group = true;
        else if (phBefore && !phAfter)
            ++L.scale;
    }
    return L;
}

std::u16string renderDecimal(const Section& s, double a, const Symbols& sym)
{
    const NumberLayout L = layoutOf(s);
    const auto& t = s.tokens;
    std::vector<char16_t> intTypes, fracTypes;
    for (std::size_t i : L.intPh)
        intTypes.push_back(t[i].text[0]);
    for (std::size_t i : L.fracPh)
        fracTypes.push_back(t[i].text[0]);

    std::string intDigits, fracDigits;
    std::string expText;
    bool expNegative = false;
    if (L.exp != std::string::npos) {
        // Mantissa with as many integer digits as '0' placeholders ask (at least one);
        // with a '#' in the integer part the exponent is a multiple of their count.
        const int k = std::max<int>(1, static_cast<int>(intTypes.size()));
        const bool engineering = std::find(intTypes.begin(), intTypes.end(), u'#') != intTypes.end() && intTypes.size() > 1;
        int exponent = 0;
        if (a != 0) {
            exponent = decimalExponent(a);
            if (engineering) {
                int e = exponent;
                e = e >= 0 ? e - e % k : e - ((e % k) + k) % k;
                exponent = e;
            }
        }
        const int intCount = engineering ? 1 + (decimalExponent(a == 0 ? 1 : a) - exponent) : 1;
        int sig = intCount + static_cast<int>(fracTypes.size());
        Scientific sc = toScientific(a, sig);
        if (a != 0 && sc.exponent != decimalExponent(a)) {
            // Rounding carried into a new digit (9.99 -> 10.0): step the exponent.
            exponent = engineering ? sc.exponent - ((sc.exponent % k) + k) % k : sc.exponent;
        }
        const int ic = a == 0 ? 1 : (engineering ? 1 + sc.exponent - exponent : 1);
        intDigits = sc.digits.substr(0, static_cast<std::size_t>(ic));
        fracDigits = sc.digits.substr(static_cast<std::size_t>(ic));
        fracDigits.resize(fracTypes.size(), '0');
        const std::size_t nz = intDigits.find_first_not_of('0');
        intDigits = nz == std::string::npos ? std::string() : intDigits.substr(nz);
        expNegative = exponent < 0;
        expText = std::to_string(std::abs(exponent));
    } else {
        double scaled = a * std::pow(100.0, L.pct) / std::pow(1000.0, L.scale);
        Fixed f = toFixed(scaled, static_cast<int>(fracTypes.size()));
        intDigits = f.intDigits;
        fracDigits = f.fracDigits;
    }

    const std::vector<std::u16string> intCells = fillInteger(intTypes, intDigits, L.group, sym);
    // Decimals: trailing zeros under '#' vanish and under '?' become blanks.
    std::vector<std::u16string> fracCells(fracTypes.size());
    bool trailing = true;
    for (std::size_t i = fracTypes.size(); i-- > 0;) {
        const char d = fracDigits[i];
        if (trailing && d == '0' && fracTypes[i] != u'0') {
            fracCells[i] = fracTypes[i] == u'?' ? u" " : u"";
        } else {
            trailing = false;
            fracCells[i] = std::u16string(1, static_cast<char16_t>(d));
        }
    }
    std::vector<std::u16string> expCells;
    {
        std::vector<char16_t> expTypes;
        for (std::size_t i : L.expPh)
            expTypes.push_back(t[i].text[0]);
        expCells = fillInteger(expTypes, expText == "0" ? std::string() : expText, false, sym);
    }

    std::u16string out;
    std::size_t ii = 0, fi = 0, ei = 0;
    const bool noIntPh = intTypes.empty();
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Token& tok = t[i];
        switch (tok.kind) {
        case Tk::Ph:
            if (ii < L.intPh.size() && L.intPh[ii] == i)
                out += intCells[ii++];
            else if (fi < L.fracPh.size() && L.fracPh[fi] == i)
                out += fracCells[fi++];
            else if (ei < L.expPh.size() && L.expPh[ei] == i)
                out += expCells[ei++];
            break;
        case Tk::Dot:
            if (i == L.dot) {
                if (noIntPh)
                    out += std::u16string(intDigits.begin(), intDigits.end());
                out += sym.decimal;
            } else {
                out += sym.decimal;
            }
            break;
        case Tk::Comma: {
            // Grouping and scaling commas show nothing; one before any placeholder is text.
            bool phBefore = false;
            for (std::size_t j = 0; j < i && !phBefore; ++j)
                phBefore = t[j].kind == Tk::Ph;
            if (!phBefore)
                out += sym.group;
            break;
        }
        case Tk::Exp:
            out += u'E';
            if (expNegative)
                out += u'-';
            else if (tok.text[1] == u'+')
                out += u'+';
            break;
        case Tk::Pct:
            out += u'%';
            break;
        case Tk::At:
        case Tk::General:
        case Tk::Date:
            break;
        default:
            out += tok.text;
        }
    }
    return out;
}

// Best rational approximation p/q of x (0 <= x < 1) with q <= maxDen (continued
// fractions, then the best semiconvergent).
std::pair<long long, long long> approximate(double x, long long maxDen)
{
    long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double r = x;
    for (int iter = 0; iter < 64; ++iter) {
        const double fl = std::floor(r);
        const long long a = static_cast<long long>(fl);
        const long long q2 = q0 + a * q1;
        if (q2 > maxDen) {
            const long long k = q1 == 0 ? 0 : (maxDen - q0) / q1;
            const long long ps = p0 + k * p1, qs = q0 + k * q1;
            if (q1 != 0 && std::abs(x - static_cast<double>(ps) / static_cast<double>(qs)) <
                               std::abs(x - static_cast<double>(p1) / static_cast<double>(q1)))
                return {ps, qs};
            return {p1, q1};
        }
        const long long p2 = p0 + a * p1;
        p0 = p1, q0 = q1, p1 = p2, q1 = q2;
        const double frac = r - fl;
        if (frac < 1e-12 || std::abs(x - static_cast<double>(p1) / static_cast<double>(q1)) < 1e-15)
            break;
        r = 1.0 / frac;
    }
    return {p1, q1};
}

std::u16string renderFraction(const Section& s, std::size_t slash, double a, const Symbols& sym)
{
    const auto& t = s.tokens;
    // Numerator: the placeholders right before the slash; integer part: placeholders
    // before them, separated by a literal.
    std::size_t numStart = slash;
    while (numStart > 0 && t[numStart - 1].kind == Tk::Ph)
        --numStart;
    std::vector<std::size_t> intPh;
    for (std::size_t i = 0; i < numStart; ++i)
        if (t[i].kind == Tk::Ph)
            intPh.push_back(i);
    std::size_t denEnd = slash + 1;
    std::string fixedDen;
    while (denEnd < t.size() && (t[denEnd].kind == Tk::Ph || t[denEnd].kind == Tk::Digit)) {
        if (t[denEnd].kind == Tk::Digit || (t[denEnd].text[0] == u'0' && !fixedDen.empty()))
            fixedDen.push_back(static_cast<char>(t[denEnd].text[0]));
        ++denEnd;
    }
    std::vector<char16_t> numTypes, denTypes, intTypes;
    for (std::size_t i = numStart; i < slash; ++i)
        numTypes.push_back(t[i].text[0]);
    for (std::size_t i = slash + 1; i < denEnd; ++i)
        denTypes.push_back(t[i].kind == Tk::Ph ? t[i].text[0] : u'0');
    for (std::size_t i : intPh)
        intTypes.push_back(t[i].text[0]);

    const bool withInt = !intPh.empty();
    double whole = withInt ? std::floor(a) : 0;
    const double frac = a - whole;
    long long num = 0, den = 1;
    if (!fixedDen.empty()) {
        den = std::stoll(fixedDen);
        num = static_cast<long long>(std::llround(frac * static_cast<double>(den)));
    } else {
        long long maxDen = 1;
        for (std::size_t i = 0; i < denTypes.size(); ++i)
            maxDen *= 10;
        maxDen -= 1;
        std::tie(num, den) = approximate(frac, std::max<long long>(1, maxDen));
        if (!withInt) {
            // No integer part: the whole value goes into the numerator.
            auto pq = approximate(frac - std::floor(frac), std::max<long long>(1, maxDen));
            num = pq.first + static_cast<long long>(std::floor(a)) * pq.second;
            den = pq.second;
        }
    }
    if (withInt && num == den) {
        whole += 1;
        num = 0;
    }

    const std::string wholeDigits = whole == 0 ? std::string() : fixedText(whole, 0);
    const bool zeroFrac = num == 0;
    std::vector<std::u16string> intCells = fillInteger(intTypes, wholeDigits, false, sym);
    if (withInt && wholeDigits.empty() && zeroFrac && !intCells.empty() && intCells.back().empty())
        intCells.back() = u"0"; // a value of 0 still shows its integer digit
    // Without an integer part a zero numerator still shows its digit ("0/1").
    const std::string numDigits = num == 0 ? (withInt ? std::string() : std::string("0")) : std::to_string(num);
    const std::vector<std::u16string> numCells = fillInteger(numTypes, numDigits, false, sym);
    std::vector<std::u16string> denCells;
    {
        // The denominator is padded on the right.
        const std::string d = std::to_string(den);
        denCells.assign(denTypes.size(), u"");
        for (std::size_t i = 0; i < denTypes.size(); ++i) {
            if (i < d.size())
                denCells[i] = std::u16string(1, static_cast<char16_t>(d[i]));
            else
                denCells[i] = denTypes[i] == u'0' ? u"0" : denTypes[i] == u'?' ? u" " : u"";
        }
        if (d.size() > denTypes.size() && !denCells.empty())
            denCells.back() += std::u16string(d.begin() + static_cast<std::ptrdiff_t>(denTypes.size()), d.end());
    }

    std::u16string out;
    std::size_t ii = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Token& tok = t[i];
        if (withInt && zeroFrac && i >= numStart && i < denEnd) {
            // A whole number blanks its fraction out, keeping the width.
            out += u' ';
            continue;
        }
        if (withInt && zeroFrac && i > intPh.back() && i < numStart && tok.kind == Tk::Lit) {
            out += std::u16string(tok.text.size(), u' ');
            continue;
        }
        if (tok.kind == Tk::Ph || tok.kind == Tk::Digit) {
            if (ii < intPh.size() && intPh[ii] == i)
                out += intCells[ii++];
            else if (i >= numStart && i < slash)
                out += numCells[i - numStart];
            else if (i > slash && i < denEnd)
                out += denCells[i - slash - 1];
            else
                out += tok.text;
        } else if (tok.kind == Tk::Slash) {
            out += u'/';
        } else if (tok.kind == Tk::Dot) {
            out += sym.decimal;
        } else if (tok.kind == Tk::Comma) {
            out += sym.group;
        } else if (tok.kind == Tk::Lit || tok.kind == Tk::Pct) {
            out += tok.text;
        }
    }
    return out;
}

std::u16string renderNumber(const Section& s, double a, const Symbols& sym)
{
    if (std::any_of(s.tokens.begin(), s.tokens.end(), [](const Token& t) { return t.kind == Tk::General; }))
        return renderGeneralSection(s, a, sym);
    for (std::size_t i = 0; i < s.tokens.size(); ++i) {
        if (s.tokens[i].kind != Tk::Slash)
            continue;
        const bool before = i > 0 && s.tokens[i - 1].kind == Tk::Ph;
        const bool after = i + 1 < s.tokens.size() &&
                           (s.tokens[i + 1].kind == Tk::Ph || s.tokens[i + 1].kind == Tk::Digit);
        if (before && after)
            return renderFraction(s, i, a, sym);
    }
    return renderDecimal(s, a, sym);
}

// The last serial with a calendar date: 31 December 9999.
constexpr double MaxSerial = 2958465.99999999;

std::u16string renderDate(const Section& s, double serial)
{
    if (serial < 0 || serial > MaxSerial)
        return u"########"; // no calendar date: the cell is shown filled with '#'
    const DateParts p = dateParts(serial, s.subDigits);
    std::u16string out;
    const auto add = [&out](const std::string& a) { out += widen(a); };
    const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    for (const Token& t : s.tokens) {
        if (t.kind != Tk::Date) {
            if (t.kind != Tk::At && t.kind != Tk::General)
                out += t.text;
            continue;
        }
        const std::u16string& c = t.text;
        if (c == u"yy") add(pad(p.year % 100, 2));
        else if (c == u"yyyy") add(pad(p.year, 4));
        else if (c == u"m") add(std::to_string(p.month));
        else if (c == u"mm") add(pad(p.month, 2));
        else if (c == u"mmm") add(std::string(MonthNames[p.month - 1]).substr(0, 3));
        else if (c == u"mmmm") add(MonthNames[p.month - 1]);
        else if (c == u"mmmmm") add(std::string(MonthNames[p.month - 1]).substr(0, 1));
        else if (c == u"M") add(std::to_string(p.minute));
        else if (c == u"MM") add(pad(p.minute, 2));
        else if (c == u"d") add(std::to_string(p.day));
        else if (c == u"dd") add(pad(p.day, 2));
        else if (c == u"ddd") add(std::string(DayNames[p.weekday]).substr(0, 3));
        else if (c == u"dddd") add(DayNames[p.weekday]);
        else if (c == u"h") add(std::to_string(s.hasAmPm ? hour12 : p.hour));
        else if (c == u"hh") add(pad(s.hasAmPm ? hour12 : p.hour, 2));
        else if (c == u"s") add(std::to_string(p.second));
        else if (c == u"ss") add(pad(p.second, 2));
        else if (c == u"[h]") add(pad(p.totalSeconds / 3600, t.width));
        else if (c == u"[m]") add(pad(p.totalSeconds / 60, t.width));
        else if (c == u"[s]") add(pad(p.totalSeconds, t.width));
        else if (c == u"AM/PM") add(p.hour >= 12 ? "PM" : "AM");
        else if (c.size() == 3 && c[1] == u'/') {
            const bool upper = c[2] == u'A';
            out += p.hour >= 12 ? (upper ? u'P' : u'p') : (upper ? u'A' : u'a');
        } else if (c[0] == u'.') {
            // Fractional seconds keep a '.': the format code spells them so.
            const std::size_t digits = c.size() - 1;
            const long long sub = std::llround(p.subsecond * std::pow(10.0, s.subDigits));
            add("." + pad(sub, s.subDigits).substr(0, digits));
        }
    }
    return out;
}

std::u16string renderText(const Section& s, const std::u16string& text)
{
    std::u16string out;
    for (const Token& t : s.tokens) {
        if (t.kind == Tk::At)
            out += text;
        else if (t.kind == Tk::Lit || t.kind == Tk::Digit || t.kind == Tk::Ph || t.kind == Tk::Dot ||
                 t.kind == Tk::Comma || t.kind == Tk::Pct || t.kind == Tk::Slash)
            out += t.text;
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------

std::u16string generalNumber(double v, const Symbols& symbols)
{
    if (std::isnan(v))
        return u"#NUM!";
    if (std::isinf(v))
        return u"#NUM!";
    std::u16string s = applySymbols(generalAbs(std::fabs(v)), symbols);
    if (v < 0 && s != u"0")
        s.insert(s.begin(), u'-');
    return s;
}

double dateSerial(int year, int month, int day, int hour, int minute, double second) noexcept
{
    long long days = daysFromCivil(year, month, day) - Serial0;
    if (days < 61)
        days -= 1; // before the fictitious 29 February 1900
    return static_cast<double>(days) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

std::u16string_view builtinFormat(int index) noexcept
{
    static constexpr std::array<std::u16string_view, 50> Codes = {
        u"General",
        u"0",
        u"0.00",
        u"#,##0",
        u"#,##0.00",
        u"\"$\"#,##0_);\\(\"$\"#,##0\\)",
        u"\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)",
        u"\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)",
        u"\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)",
        u"0%",
        u"0.00%",
        u"0.00E+00",
        u"# ?/?",
        u"# ?\?/?\?",
        u"m/d/yy",
        u"d-mmm-yy",
        u"d-mmm",
        u"mmm-yy",
        u"h:mm AM/PM",
        u"h:mm:ss AM/PM",
        u"h:mm",
        u"h:mm:ss",
        u"m/d/yy h:mm",
        u"General", u"General", u"General", u"General", u"General", u"General", u"General",
        u"General", u"General", u"General", u"General", u"General", u"General", u"General",
        u"#,##0 ;(#,##0)",
        u"#,##0 ;[Red](#,##0)",
        u"#,##0.00;(#,##0.00)",
        u"#,##0.00;[Red](#,##0.00)",
        u"_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)",
        u"_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)",
        u"_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)",
        u"_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)",
        u"mm:ss",
        u"[h]:mm:ss",
        u"mmss.0",
        u"##0.0E+0",
        u"@",
    };
    if (index < 0 || index >= static_cast<int>(Codes.size()))
        return {};
    return Codes[static_cast<std::size_t>(index)];
}

NumberFormat::NumberFormat(std::u16string_view code) : code_(code)
{
    for (std::u16string_view part : splitSections(code))
        sections_.push_back(parseSection(part));
    if (sections_.size() > 4)
        sections_.resize(4);
    // The text section: the fourth, or the last of fewer when it holds "@".
    if (sections_.size() == 4)
        textSection_ = 3;
    else if (sections_.back().hasText)
        textSection_ = static_cast<int>(sections_.size()) - 1;
}

NumberFormat::~NumberFormat() = default;
NumberFormat::NumberFormat(NumberFormat&&) noexcept = default;
NumberFormat& NumberFormat::operator=(NumberFormat&&) noexcept = default;

bool NumberFormat::isDateTime() const noexcept
{
    return !sections_.empty() && sections_[0].isDate;
}

Rendered NumberFormat::format(const CellVariant& value, bool date1904, const Symbols& symbols) const
{
    if (std::holds_alternative<std::monostate>(value))
        return {};
    if (const bool* b = std::get_if<bool>(&value))
        return {*b ? u"TRUE" : u"FALSE", -1};
    if (const CellError* e = std::get_if<CellError>(&value))
        return {e->text, -1};
    if (const std::u16string* text = std::get_if<std::u16string>(&value)) {
        if (textSection_ < 0)
            return {*text, -1};
        const Section& s = sections_[static_cast<std::size_t>(textSection_)];
        return {renderText(s, *text), s.color};
    }

    const double v = std::get<double>(value);
    const int numberSections = static_cast<int>(sections_.size()) - (textSection_ >= 0 ? 1 : 0);
    if (numberSections <= 0) {
        // Only a text section: numbers show as General.
        return {generalNumber(v, symbols), -1};
    }
    // Which section: positive, negative, zero; or by the conditions of the first two.
    const Section* sec = &sections_[0];
    const auto at = [&](int i) -> const Section& { return sections_[static_cast<std::size_t>(std::min(i, numberSections - 1))]; };
    const bool conditional = sections_[0].cmp != Cmp::None || (numberSections > 1 && sections_[1].cmp != Cmp::None);
    if (conditional) {
        if (sections_[0].matches(v))
            sec = &sections_[0];
        else if (numberSections > 1 && sections_[1].matches(v))
            sec = &sections_[1];
        else if (numberSections > 2)
            sec = &sections_[2];
        else if (numberSections > 1 && sections_[1].cmp == Cmp::None)
            sec = &sections_[1];
        else
            sec = &sections_[0];
    } else if (numberSections >= 2) {
        sec = v > 0 ? &at(0) : v < 0 ? &at(1) : (numberSections >= 3 ? &at(2) : &at(0));
    }
    // With more than one number section the sign belongs to the section's text.
    const bool showSign = numberSections == 1 && v < 0;
    const double serial = date1904 ? v + 1462 : v;

    Rendered r;
    r.colorIndex = sec->color;
    if (sec->isDate) {
        // A negative serial has no date; a negative section shows the magnitude.
        const double magnitude = std::fabs(v);
        r.text = renderDate(*sec, showSign ? serial : (date1904 ? magnitude + 1462 : magnitude));
        return r;
    }
    if (std::any_of(sec->tokens.begin(), sec->tokens.end(), [](const Token& t) { return t.kind == Tk::General; })) {
        // "General" carries its own sign, in place among the section's literals.
        r.text = renderGeneralSection(*sec, showSign ? v : std::fabs(v), symbols);
        return r;
    }
    r.text = renderNumber(*sec, std::fabs(v), symbols);
    if (showSign) {
        // A value that rounds to zero shows no minus sign.
        const bool anyDigit = std::any_of(r.text.begin(), r.text.end(), [](char16_t c) { return c >= u'1' && c <= u'9'; });
        if (anyDigit)
            r.text.insert(r.text.begin(), u'-');
    }
    return r;
}

Rendered formatValue(const CellVariant& value, std::u16string_view code, bool date1904, const Symbols& symbols)
{
    return NumberFormat(code).format(value, date1904, symbols);
}

} // namespace quorvane::xls::numfmt
