#include "xls/formula_text/formula_text.h"

#include "xls/formula.h"
#include "xls/records.h"
#include "xls/text.h"
#include "xls/workbook.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace quorvane::xls::formula {

namespace {

constexpr std::uint8_t Var = 30; // the largest argument count of a BIFF8 function call

// The built-in functions of the BIFF8 function table that the parser knows by name.
constexpr FunctionInfo Functions[] = {
    {0, "COUNT", 0, Var},        {1, "IF", 2, 3},             {2, "ISNA", 1, 1},
    {3, "ISERROR", 1, 1},        {4, "SUM", 0, Var},          {5, "AVERAGE", 1, Var},
    {6, "MIN", 1, Var},          {7, "MAX", 1, Var},          {8, "ROW", 0, 1},
    {9, "COLUMN", 0, 1},         {10, "NA", 0, 0},            {11, "NPV", 2, Var},
    {12, "STDEV", 1, Var},       {13, "DOLLAR", 1, 2},        {14, "FIXED", 1, 3},
    {15, "SIN", 1, 1},           {16, "COS", 1, 1},           {17, "TAN", 1, 1},
    {18, "ATAN", 1, 1},          {19, "PI", 0, 0},            {20, "SQRT", 1, 1},
    {21, "EXP", 1, 1},           {22, "LN", 1, 1},            {23, "LOG10", 1, 1},
    {24, "ABS", 1, 1},           {25, "INT", 1, 1},           {26, "SIGN", 1, 1},
    {27, "ROUND", 2, 2},         {28, "LOOKUP", 2, 3},        {29, "INDEX", 2, 4},
    {30, "REPT", 2, 2},          {31, "MID", 3, 3},           {32, "LEN", 1, 1},
    {33, "VALUE", 1, 1},         {34, "TRUE", 0, 0},          {35, "FALSE", 0, 0},
    {36, "AND", 1, Var},         {37, "OR", 1, Var},          {38, "NOT", 1, 1},
    {39, "MOD", 2, 2},           {40, "DCOUNT", 3, 3},        {41, "DSUM", 3, 3},
    {42, "DAVERAGE", 3, 3},      {43, "DMIN", 3, 3},          {44, "DMAX", 3, 3},
    {45, "DSTDEV", 3, 3},        {46, "VAR", 1, Var},         {47, "DVAR", 3, 3},
    {48, "TEXT", 2, 2},          {49, "LINEST", 1, 4},        {50, "TREND", 1, 4},
    {51, "LOGEST", 1, 4},        {52, "GROWTH", 1, 4},        {56, "PV", 3, 5},
    {57, "FV", 3, 5},            {58, "NPER", 3, 5},          {59, "PMT", 3, 5},
    {60, "RATE", 3, 6},          {61, "MIRR", 3, 3},          {62, "IRR", 1, 2},
    {63, "RAND", 0, 0},          {64, "MATCH", 2, 3},         {65, "DATE", 3, 3},
    {66, "TIME", 3, 3},          {67, "DAY", 1, 1},           {68, "MONTH", 1, 1},
    {69, "YEAR", 1, 1},          {70, "WEEKDAY", 1, 2},       {71, "HOUR", 1, 1},
    {72, "MINUTE", 1, 1},        {73, "SECOND", 1, 1},        {74, "NOW", 0, 0},
    {75, "AREAS", 1, 1},         {76, "ROWS", 1, 1},          {77, "COLUMNS", 1, 1},
    {78, "OFFSET", 3, 5},        {82, "SEARCH", 2, 3},        {83, "TRANSPOSE", 1, 1},
    {86, "TYPE", 1, 1},          {97, "ATAN2", 2, 2},         {98, "ASIN", 1, 1},
    {99, "ACOS", 1, 1},          {100, "CHOOSE", 2, Var},     {101, "HLOOKUP", 3, 4},
    {102, "VLOOKUP", 3, 4},      {105, "ISREF", 1, 1},        {109, "LOG", 1, 2},
    {111, "CHAR", 1, 1},         {112, "LOWER", 1, 1},        {113, "UPPER", 1, 1},
    {114, "PROPER", 1, 1},       {115, "LEFT", 1, 2},         {116, "RIGHT", 1, 2},
    {117, "EXACT", 2, 2},        {118, "TRIM", 1, 1},         {119, "REPLACE", 4, 4},
    {120, "SUBSTITUTE", 3, 4},   {121, "CODE", 1, 1},         {124, "FIND", 2, 3},
    {125, "CELL", 1, 2},         {126, "ISERR", 1, 1},        {127, "ISTEXT", 1, 1},
    {128, "ISNUMBER", 1, 1},     {129, "ISBLANK", 1, 1},      {130, "T", 1, 1},
    {131, "N", 1, 1},            {140, "DATEVALUE", 1, 1},    {141, "TIMEVALUE", 1, 1},
    {142, "SLN", 3, 3},          {143, "SYD", 4, 4},          {144, "DDB", 4, 5},
    {148, "INDIRECT", 1, 2},     {162, "CLEAN", 1, 1},        {163, "MDETERM", 1, 1},
    {164, "MINVERSE", 1, 1},     {165, "MMULT", 2, 2},        {167, "IPMT", 4, 6},
    {168, "PPMT", 4, 6},         {169, "COUNTA", 0, Var},     {183, "PRODUCT", 0, Var},
    {184, "FACT", 1, 1},         {189, "DPRODUCT", 3, 3},     {190, "ISNONTEXT", 1, 1},
    {193, "STDEVP", 1, Var},     {194, "VARP", 1, Var},       {197, "TRUNC", 1, 2},
    {198, "ISLOGICAL", 1, 1},    {212, "ROUNDUP", 2, 2},      {213, "ROUNDDOWN", 2, 2},
    {216, "RANK", 2, 3},         {219, "ADDRESS", 2, 5},      {220, "DAYS360", 2, 3},
    {221, "TODAY", 0, 0},        {227, "MEDIAN", 1, Var},     {228, "SUMPRODUCT", 1, Var},
    {229, "SINH", 1, 1},         {230, "COSH", 1, 1},         {231, "TANH", 1, 1},
    {276, "COMBIN", 2, 2},       {279, "EVEN", 1, 1},         {285, "FLOOR", 2, 2},
    {288, "CEILING", 2, 2},      {298, "ODD", 1, 1},          {325, "LARGE", 2, 2},
    {326, "SMALL", 2, 2},        {327, "QUARTILE", 2, 2},     {328, "PERCENTILE", 2, 2},
    {336, "CONCATENATE", 0, Var}, {337, "POWER", 2, 2},       {342, "RADIANS", 1, 1},
    {343, "DEGREES", 1, 1},      {344, "SUBTOTAL", 2, Var},   {345, "SUMIF", 2, 3},
    {346, "COUNTIF", 2, 2},      {347, "COUNTBLANK", 1, 1},   {354, "ROMAN", 1, 2},
};

char16_t upper(char16_t c) noexcept
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool equalNoCase(std::u16string_view a, std::u16string_view b) noexcept
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return upper(x) == upper(y);
           });
}

constexpr std::array<std::pair<std::uint8_t, std::u16string_view>, 7> Errors = {{
    {0x00, u"#NULL!"}, {0x07, u"#DIV/0!"}, {0x0F, u"#VALUE!"}, {0x17, u"#REF!"},
    {0x1D, u"#NAME?"}, {0x24, u"#NUM!"}, {0x2A, u"#N/A"},
}};

// Binary operator tokens 0x03..0x11 and their texts.
constexpr std::array<std::u16string_view, 15> BinaryText = {u"+", u"-", u"*", u"/", u"^", u"&", u"<",
                                                            u"<=", u"=", u">=", u">", u"<>", u" ", u",", u":"};

[[noreturn]] void fail(const std::string& what)
{
    throw FormulaTextError(what);
}

// ---------------------------------------------------------------------------
// Parsing.

struct CellRef {
    int row = 0, col = 0;
    bool rowRel = true, colRel = true;
};

class Parser {
public:
    Parser(std::u16string_view text, SheetResolver* sheets) : s_(text), sheets_(sheets) {}

    CompiledFormula run()
    {
        skipBlanks();
        if (peek() == u'=')
            ++pos_;
        skipBlanks();
        if (atEnd())
            fail("empty formula");
        comparison(ClassValue);
        skipBlanks();
        if (!atEnd())
            fail("unexpected text at " + std::to_string(pos_));
        if (volatile_) {
            // PtgAttrVolatile leads the formula, so that it is calculated every time.
            const std::uint8_t attr[] = {PtgAttr, AttrVolatile, 0, 0};
            out_.insert(out_.begin(), std::begin(attr), std::end(attr));
        }
        return {std::move(out_), std::move(extra_)};
    }

private:
    bool atEnd() const noexcept { return pos_ >= s_.size(); }
    char16_t peek(std::size_t ahead = 0) const noexcept
    {
        return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : u'\0';
    }
    static bool isBlank(char16_t c) noexcept { return c == u' ' || c == u'\n' || c == u'\r'; }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(s_[pos_]))
            ++pos_;
    }
    bool accept(std::u16string_view op)
    {
        skipBlanks();
        if (s_.substr(pos_, op.size()) != op)
            return false;
        pos_ += op.size();
        return true;
    }
    void emit(std::uint8_t b) { out_.push_back(b); }
    void emit16(std::uint16_t v)
    {
        out_.push_back(static_cast<std::uint8_t>(v));
        out_.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    static void put16(std::vector<std::uint8_t>& v, std::uint16_t x)
    {
        v.push_back(static_cast<std::uint8_t>(x));
        v.push_back(static_cast<std::uint8_t>(x >> 8));
    }

    // Base id of the last token emitted since `from`, or nothing.
    std::optional<std::uint8_t> lastToken(std::size_t from) const
    {
        std::optional<std::uint8_t> last;
        const ByteSpan t(out_.data() + from, out_.size() - from);
        walk(t, [&](std::size_t, std::uint8_t id) { last = baseId(id); });
        return last;
    }
    static bool yieldsReference(std::optional<std::uint8_t> base) noexcept
    {
        if (!base)
            return false;
        switch (*base) {
        case PtgRef: case PtgArea: case PtgRef3d: case PtgArea3d: case PtgName: case PtgNameX: case PtgParen:
        case 0x0F: case 0x10: case 0x11:
            return true;
        default:
            return false;
        }
    }
    // A union or intersection computes a reference: PtgMemFunc before its operands tells
    // how many bytes compute it.
    void announceReference(std::size_t start, std::uint8_t cls)
    {
        const std::size_t size = out_.size() - start;
        if (size > 0xFFFF)
            fail("reference expression too long");
        const std::uint8_t head[] = {static_cast<std::uint8_t>(0x29 - 0x20 + cls), static_cast<std::uint8_t>(size),
                                     static_cast<std::uint8_t>(size >> 8)};
        out_.insert(out_.begin() + static_cast<std::ptrdiff_t>(start), std::begin(head), std::end(head));
    }

    // `cls` is the operand class the context asks for references: value for operators,
    // reference for function arguments.
    void comparison(std::uint8_t cls)
    {
        concat(cls);
        for (;;) {
            std::uint8_t op;
            if (accept(u"<>")) op = 0x0E;
            else if (accept(u"<=")) op = 0x0A;
            else if (accept(u">=")) op = 0x0C;
            else if (accept(u"<")) op = 0x09;
            else if (accept(u">")) op = 0x0D;
            else if (accept(u"=")) op = 0x0B;
            else return;
            concat(ClassValue);
            emit(op);
        }
    }
    void concat(std::uint8_t cls)
    {
        additive(cls);
        while (accept(u"&")) {
            additive(ClassValue);
            emit(0x08);
        }
    }
    void additive(std::uint8_t cls)
    {
        multiplicative(cls);
        for (;;) {
            if (accept(u"+")) { multiplicative(ClassValue); emit(PtgAdd); }
            else if (accept(u"-")) { multiplicative(ClassValue); emit(0x04); }
            else return;
        }
    }
    void multiplicative(std::uint8_t cls)
    {
        power(cls);
        for (;;) {
            if (accept(u"*")) { power(ClassValue); emit(0x05); }
            else if (accept(u"/")) { power(ClassValue); emit(0x06); }
            else return;
        }
    }
    void power(std::uint8_t cls)
    {
        percent(cls);
        while (accept(u"^")) {
            percent(ClassValue);
            emit(0x07);
        }
    }
    void percent(std::uint8_t cls)
    {
        unary(cls);
        while (accept(u"%"))
            emit(PtgPercent);
    }
    void unary(std::uint8_t cls)
    {
        if (accept(u"-")) {
            unary(ClassValue);
            emit(PtgUminus);
        } else if (accept(u"+")) {
            unary(ClassValue);
            emit(PtgUplus);
        } else {
            intersection(cls);
        }
    }

    // True when blanks at pos_ are followed by the start of another reference, which
    // makes the blanks the intersection operator.
    bool blankIntersects() const noexcept
    {
        if (atEnd() || !isBlank(s_[pos_]))
            return false;
        std::size_t p = pos_;
        while (p < s_.size() && isBlank(s_[p]))
            ++p;
        if (p >= s_.size())
            return false;
        const char16_t c = s_[p];
        return c == u'$' || c == u'\'' || c == u'(' || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
               c == u'_' || c >= 0x80;
    }

    void intersection(std::uint8_t cls)
    {
        const std::size_t start = out_.size();
        primary(cls);
        bool any = false;
        while (blankIntersects()) {
            if (!yieldsReference(lastToken(start)))
                fail("intersection of something that is no reference");
            const std::size_t right = out_.size();
            skipBlanks();
            primary(ClassRef);
            if (!yieldsReference(lastToken(right)))
                fail("intersection with something that is no reference");
            emit(0x0F);
            any = true;
        }
        if (any)
            announceReference(start, cls);
    }

    // Operand tokens, with the class of the context, unless the whole expression is a
    // single operand of an operator (then value class was passed down).
    void primary(std::uint8_t cls)
    {
        skipBlanks();
        const char16_t c = peek();
        if (c == u'(') {
            ++pos_;
            const std::size_t start = out_.size();
            comparison(cls);
            // Directly inside parentheses "," joins references into a union.
            bool any = false;
            while (accept(u",")) {
                if (!yieldsReference(lastToken(start)))
                    fail("union of something that is no reference");
                const std::size_t right = out_.size();
                comparison(ClassRef);
                if (!yieldsReference(lastToken(right)))
                    fail("union with something that is no reference");
                emit(0x10);
                any = true;
            }
            if (any)
                announceReference(start, cls);
            if (!accept(u")"))
                fail("missing )");
            emit(PtgParen);
            return;
        }
        if (c == u'{') {
            arrayConstant(cls);
            return;
        }
        if (c == u'"') {
            emitString(readString());
            return;
        }
        if ((c >= u'0' && c <= u'9') || (c == u'.' && peek(1) >= u'0' && peek(1) <= u'9')) {
            emitNumber(readNumber());
            return;
        }
        if (c == u'#') {
            emit(PtgErr);
            emit(readError());
            return;
        }
        if (c == u'\'') {
            quotedSheetReference(cls);
            return;
        }
        if (isNameChar(c) || c == u'$') {
            nameOrReference(cls);
            return;
        }
        fail("unexpected character at " + std::to_string(pos_));
    }

    static bool isNameChar(char16_t c) noexcept
    {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' ||
               c == u'.' || c >= 0x80;
    }

    std::u16string readString()
    {
        ++pos_;
        std::u16string text;
        for (;;) {
            if (atEnd())
                fail("unterminated string");
            const char16_t ch = s_[pos_++];
            if (ch == u'"') {
                if (peek() == u'"') {
                    text.push_back(u'"');
                    ++pos_;
                    continue;
                }
                break;
            }
            text.push_back(ch);
        }
        if (text.size() > 255)
            fail("string longer than 255 characters");
        return text;
    }

    // Count, option flags (bit 0: 16-bit characters), characters: PtgStr after its id,
    // and the string of an array constant after a 16-bit count.
    static void putString(std::vector<std::uint8_t>& v, const std::u16string& text, bool wideCount)
    {
        const bool wide = std::any_of(text.begin(), text.end(), [](char16_t ch) { return ch > 0xFF; });
        if (wideCount)
            put16(v, static_cast<std::uint16_t>(text.size()));
        else
            v.push_back(static_cast<std::uint8_t>(text.size()));
        v.push_back(wide ? 1 : 0);
        for (char16_t ch : text) {
            if (wide)
                put16(v, ch);
            else
                v.push_back(static_cast<std::uint8_t>(ch));
        }
    }
    void emitString(const std::u16string& text)
    {
        emit(PtgStr);
        putString(out_, text, false);
    }

    struct Number {
        double value;
        bool integral; // written without a point or an exponent
    };
    Number readNumber()
    {
        std::string digits;
        while (!atEnd() && ((s_[pos_] >= u'0' && s_[pos_] <= u'9') || s_[pos_] == u'.'))
            digits.push_back(static_cast<char>(s_[pos_++]));
        if ((peek() == u'E' || peek() == u'e') &&
            ((peek(1) >= u'0' && peek(1) <= u'9') ||
             ((peek(1) == u'+' || peek(1) == u'-') && peek(2) >= u'0' && peek(2) <= u'9'))) {
            digits.push_back('e');
            ++pos_;
            if (peek() == u'+' || peek() == u'-')
                digits.push_back(static_cast<char>(s_[pos_++]));
            while (!atEnd() && s_[pos_] >= u'0' && s_[pos_] <= u'9')
                digits.push_back(static_cast<char>(s_[pos_++]));
        }
        double v = 0;
        const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (res.ec != std::errc() || res.ptr != digits.data() + digits.size() || !std::isfinite(v))
            fail("bad number");
        return {v, digits.find_first_of(".e") == std::string::npos};
    }
    static void putDouble(std::vector<std::uint8_t>& out, double v)
    {
        std::uint64_t bits;
        static_assert(sizeof bits == sizeof v);
        std::memcpy(&bits, &v, sizeof v);
        for (int i = 0; i < 8; ++i)
            out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
    void emitNumber(Number n)
    {
        if (n.integral && n.value >= 0 && n.value <= 65535 && n.value == std::floor(n.value)) {
            emit(PtgInt);
            emit16(static_cast<std::uint16_t>(n.value));
            return;
        }
        emit(PtgNum);
        putDouble(out_, n.value);
    }

    std::uint8_t readError()
    {
        for (const auto& [code, text] : Errors) {
            if (s_.size() - pos_ >= text.size() && equalNoCase(s_.substr(pos_, text.size()), text)) {
                pos_ += text.size();
                return code;
            }
        }
        fail("unknown error constant");
    }

    // {1,2;3,4}: PtgArray (7 unused bytes) in the tokens; in the extra data the number of
    // columns - 1 (8 bits), rows - 1 (16 bits), then the values row by row, each a type
    // byte (1 number, 2 string, 4 boolean, 16 error) and its data.
    void arrayConstant(std::uint8_t cls)
    {
        ++pos_;
        std::vector<std::uint8_t> values;
        std::size_t cols = 0, rows = 0, inRow = 0;
        for (;;) {
            skipBlanks();
            const char16_t c = peek();
            if (c == u'"') {
                values.push_back(0x02);
                putString(values, readString(), true);
            } else if (c == u'#') {
                values.push_back(0x10);
                values.push_back(readError());
                values.insert(values.end(), 7, 0);
            } else if (c == u'-' || c == u'+' || (c >= u'0' && c <= u'9') || c == u'.') {
                const bool negative = c == u'-';
                if (c == u'-' || c == u'+')
                    ++pos_;
                skipBlanks();
                if (!((peek() >= u'0' && peek() <= u'9') || peek() == u'.'))
                    fail("bad number in an array");
                const double v = readNumber().value;
                values.push_back(0x01);
                putDouble(values, negative ? -v : v);
            } else {
                std::size_t p = pos_;
                while (p < s_.size() && isNameChar(s_[p]))
                    ++p;
                const std::u16string_view word = s_.substr(pos_, p - pos_);
                if (!equalNoCase(word, u"TRUE") && !equalNoCase(word, u"FALSE"))
                    fail("an array holds only constants");
                pos_ = p;
                values.push_back(0x04);
                values.push_back(equalNoCase(word, u"TRUE") ? 1 : 0);
                values.insert(values.end(), 7, 0);
            }
            ++inRow;
            if (accept(u","))
                continue;
            const bool rowEnds = accept(u";");
            if (!rowEnds && !accept(u"}"))
                fail("missing } after an array");
            if (rows == 0)
                cols = inRow;
            else if (inRow != cols)
                fail("array rows of different lengths");
            ++rows;
            inRow = 0;
            if (!rowEnds)
                break;
        }
        if (cols > 256 || rows > 65536)
            fail("array too large");
        // The token's seven bytes are unused; the size goes there too, as other programs
        // write it.
        emit(static_cast<std::uint8_t>(PtgArray - 0x20 + (cls == ClassRef ? ClassArray : cls)));
        emit(static_cast<std::uint8_t>(cols - 1));
        emit16(static_cast<std::uint16_t>(rows - 1));
        out_.insert(out_.end(), 4, 0);
        extra_.push_back(static_cast<std::uint8_t>(cols - 1));
        put16(extra_, static_cast<std::uint16_t>(rows - 1));
        extra_.insert(extra_.end(), values.begin(), values.end());
    }

    // "A1", "$A$1" at pos_, without moving when it is not one.
    std::optional<CellRef> cellReference()
    {
        std::size_t p = pos_;
        CellRef r;
        if (p < s_.size() && s_[p] == u'$') {
            r.colRel = false;
            ++p;
        }
        int col = 0, letters = 0;
        while (p < s_.size() && upper(s_[p]) >= u'A' && upper(s_[p]) <= u'Z' && letters < 3) {
            col = col * 26 + (upper(s_[p]) - u'A' + 1);
            ++p;
            ++letters;
        }
        if (letters == 0 || col > 256)
            return std::nullopt;
        if (p < s_.size() && s_[p] == u'$') {
            r.rowRel = false;
            ++p;
        }
        long row = 0;
        int digits = 0;
        while (p < s_.size() && s_[p] >= u'0' && s_[p] <= u'9' && digits < 6) {
            row = row * 10 + (s_[p] - u'0');
            ++p;
            ++digits;
        }
        if (digits == 0 || row < 1 || row > 65536)
            return std::nullopt;
        // A name that merely begins like a reference ("A1B", "LOG10(") is not one.
        if (p < s_.size() && (isNameChar(s_[p]) || s_[p] == u'('))
            return std::nullopt;
        r.col = col - 1;
        r.row = static_cast<int>(row - 1);
        pos_ = p;
        return r;
    }

    static std::uint16_t colField(const CellRef& r)
    {
        return static_cast<std::uint16_t>(r.col | (r.colRel ? 0x4000 : 0) | (r.rowRel ? 0x8000 : 0));
    }

    void referenceOrArea(std::uint8_t cls, std::optional<std::uint16_t> ixti)
    {
        const std::optional<CellRef> a = cellReference();
        if (!a)
            fail("bad reference");
        std::optional<CellRef> b;
        const std::size_t afterFirst = pos_;
        skipBlanks();
        if (peek() != u':')
            pos_ = afterFirst;
        if (peek() == u':') {
            ++pos_;
            skipBlanks();
            b = cellReference();
            if (!b)
                fail("bad area");
        }
        if (!b) {
            emit(static_cast<std::uint8_t>((ixti ? PtgRef3d : PtgRef) - 0x20 + cls));
            if (ixti)
                emit16(*ixti);
            emit16(static_cast<std::uint16_t>(a->row));
            emit16(colField(*a));
            return;
        }
        emit(static_cast<std::uint8_t>((ixti ? PtgArea3d : PtgArea) - 0x20 + cls));
        if (ixti)
            emit16(*ixti);
        emit16(static_cast<std::uint16_t>(a->row));
        emit16(static_cast<std::uint16_t>(b->row));
        emit16(colField(*a));
        emit16(colField(*b));
    }

    std::uint16_t sheetIndex(std::u16string_view name)
    {
        if (!sheets_)
            fail("references to other sheets need the workbook");
        const std::optional<std::uint16_t> ixti = sheets_->externSheetOf(name);
        if (!ixti)
            fail("unknown sheet " + toUtf8(name));
        return *ixti;
    }

    void quotedSheetReference(std::uint8_t cls)
    {
        ++pos_;
        std::u16string name;
        for (;;) {
            if (atEnd())
                fail("unterminated sheet name");
            const char16_t ch = s_[pos_++];
            if (ch == u'\'') {
                if (peek() == u'\'') {
                    name.push_back(u'\'');
                    ++pos_;
                    continue;
                }
                break;
            }
            name.push_back(ch);
        }
        if (peek() != u'!')
            fail("missing ! after sheet name");
        ++pos_;
        referenceOrArea(cls, sheetIndex(name));
    }

    void nameOrReference(std::uint8_t cls)
    {
        const std::size_t start = pos_;
        if (cellReference()) {
            pos_ = start;
            referenceOrArea(cls, std::nullopt);
            return;
        }
        if (peek() == u'$')
            fail("bad reference");
        std::size_t p = pos_;
        while (p < s_.size() && isNameChar(s_[p]))
            ++p;
        const std::u16string_view name = s_.substr(pos_, p - pos_);
        pos_ = p;
        if (peek() == u'!') {
            ++pos_;
            referenceOrArea(cls, sheetIndex(name));
            return;
        }
        const std::size_t afterName = pos_;
        skipBlanks();
        if (peek() == u'(') {
            ++pos_;
            call(name);
            return;
        }
        pos_ = afterName; // blanks after a name may be an intersection
        if (equalNoCase(name, u"TRUE") || equalNoCase(name, u"FALSE")) {
            emit(PtgBool);
            emit(equalNoCase(name, u"TRUE") ? 1 : 0);
            return;
        }
        if (const std::optional<std::uint16_t> index = sheets_ ? sheets_->definedNameIndex(name) : std::nullopt) {
            emit(static_cast<std::uint8_t>(PtgName - 0x20 + cls));
            emit16(*index);
            emit16(0);
            return;
        }
        fail("unknown name " + toUtf8(name));
    }

    // Each argument is compiled on its own, so that the jumps of IF and CHOOSE can be
    // measured before they are written.
    std::vector<std::uint8_t> argument()
    {
        std::vector<std::uint8_t> saved = std::move(out_);
        out_.clear();
        skipBlanks();
        if (peek() == u',' || peek() == u')')
            emit(PtgMissArg);
        else
            comparison(ClassRef);
        std::vector<std::uint8_t> arg = std::move(out_);
        out_ = std::move(saved);
        return arg;
    }

    void append(const std::vector<std::uint8_t>& bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
    void emitAttr(std::uint8_t option, std::size_t value)
    {
        if (value > 0xFFFF)
            fail("formula too long for its jumps");
        emit(PtgAttr);
        emit(option);
        emit16(static_cast<std::uint16_t>(value));
    }

    void call(std::u16string_view name)
    {
        const FunctionInfo* f = functionByName(name);
        if (!f)
            fail("unknown function " + toUtf8(name));
        std::vector<std::vector<std::uint8_t>> args;
        skipBlanks();
        if (peek() == u')') {
            ++pos_;
        } else {
            for (;;) {
                args.push_back(argument());
                if (accept(u","))
                    continue;
                if (accept(u")"))
                    break;
                fail("missing ) after arguments of " + toUtf8(name));
            }
        }
        const std::size_t n = args.size();
        if (n < f->minArgs || n > f->maxArgs)
            fail("wrong number of arguments for " + toUtf8(name));
        static constexpr std::array<std::uint16_t, 6> Volatile = {63, 74, 78, 125, 148, 221}; // RAND NOW OFFSET CELL INDIRECT TODAY
        if (std::find(Volatile.begin(), Volatile.end(), f->id) != Volatile.end())
            volatile_ = true;

        constexpr std::size_t AttrSize = 4, FuncVarSize = 4;
        if (f->id == 1) {
            // IF: condition, PtgAttrIf over the true branch to the false one, each branch
            // closed by a PtgAttrGoto to the last byte of the call. Offsets count from the
            // end of the attribute token.
            append(args[0]);
            emitAttr(AttrIf, args[1].size() + AttrSize);
            append(args[1]);
            std::size_t rest = FuncVarSize - 1 + (n == 3 ? args[2].size() + AttrSize : 0);
            emitAttr(AttrGoto, rest);
            if (n == 3) {
                append(args[2]);
                emitAttr(AttrGoto, FuncVarSize - 1);
            }
        } else if (f->id == 100) {
            // CHOOSE: index, PtgAttrChoose with a table of n offsets (from the table's
            // start) to each case and one to the call; each case ends with a PtgAttrGoto.
            append(args[0]);
            const std::size_t cases = n - 1;
            emitAttr(AttrChoose, cases);
            std::size_t at = 2 * (cases + 1);
            std::vector<std::size_t> starts;
            for (std::size_t i = 1; i < n; ++i) {
                starts.push_back(at);
                at += args[i].size() + AttrSize;
            }
            starts.push_back(at);
            for (std::size_t s : starts) {
                if (s > 0xFFFF)
                    fail("formula too long for its jumps");
                emit16(static_cast<std::uint16_t>(s));
            }
            for (std::size_t i = 1; i < n; ++i) {
                append(args[i]);
                emitAttr(AttrGoto, at - (starts[i] ) + FuncVarSize - 1);
            }
        } else {
            for (const auto& a : args)
                append(a);
            if (f->id == 4 && n == 1) {
                emitAttr(AttrSum, 0); // a SUM of one argument
                return;
            }
        }
        if (f->minArgs == f->maxArgs) {
            emit(PtgFunc - 0x20 + ClassValue);
            emit16(f->id);
        } else {
            emit(PtgFuncVar - 0x20 + ClassValue);
            emit(static_cast<std::uint8_t>(n));
            emit16(f->id);
        }
    }

    std::u16string_view s_;
    SheetResolver* sheets_;
    std::size_t pos_ = 0;
    std::vector<std::uint8_t> out_;
    std::vector<std::uint8_t> extra_;
    bool volatile_ = false;
};

// ---------------------------------------------------------------------------
// Rendering.

std::u16string widen(std::string_view s)
{
    return std::u16string(s.begin(), s.end());
}

std::u16string numberText(double v)
{
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        return widen(std::to_string(static_cast<long long>(v)));
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, res.ptr);
    if (const std::size_t e = s.find('e'); e != std::string::npos) {
        s[e] = 'E';
        if (e + 1 < s.size() && s[e + 1] != '-' && s[e + 1] != '+')
            s.insert(e + 1, "+");
    }
    return widen(s);
}

std::u16string cellText(std::uint16_t row, std::uint16_t colField)
{
    std::u16string t;
    if (!(colField & 0x4000))
        t += u'$';
    t += columnLetters(colField & 0x00FF);
    if (!(colField & 0x8000))
        t += u'$';
    t += widen(std::to_string(static_cast<int>(row) + 1));
    return t;
}

std::u16string sheetText(const SheetResolver* sheets, std::uint16_t ixti)
{
    if (!sheets)
        fail("reference to another sheet without the workbook");
    const std::optional<std::u16string> name = sheets->sheetPrefix(ixti);
    if (!name)
        fail("reference to an unknown sheet entry");
    const bool plain = !name->empty() && std::all_of(name->begin(), name->end(), [](char16_t c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' ||
               c == u'.' || c == u':' || c >= 0x80;
    }) && !(name->front() >= u'0' && name->front() <= u'9');
    if (plain)
        return *name + u"!";
    std::u16string q = u"'";
    for (char16_t c : *name) {
        q += c;
        if (c == u'\'')
            q += c;
    }
    return q + u"'!";
}

} // namespace

const FunctionInfo* functionById(std::uint16_t id) noexcept
{
    for (const FunctionInfo& f : Functions)
        if (f.id == id)
            return &f;
    return nullptr;
}

const FunctionInfo* functionByName(std::u16string_view name) noexcept
{
    for (const FunctionInfo& f : Functions)
        if (equalNoCase(name, widen(f.name)))
            return &f;
    return nullptr;
}

std::u16string columnLetters(int col)
{
    std::u16string t;
    int c = col + 1;
    while (c > 0) {
        t.insert(t.begin(), static_cast<char16_t>(u'A' + (c - 1) % 26));
        c = (c - 1) / 26;
    }
    return t;
}

std::vector<std::uint8_t> parseFormula(std::u16string_view text, SheetResolver* sheets)
{
    CompiledFormula f = compileFormula(text, sheets);
    if (!f.extra.empty())
        fail("an array constant needs the extra data of its record");
    return std::move(f.tokens);
}

CompiledFormula compileFormula(std::u16string_view text, SheetResolver* sheets)
{
    return Parser(text, sheets).run();
}

namespace {

// The values of one array constant in a record's extra data, from `at`, as "{1,2;3,4}".
std::u16string arrayText(ByteSpan extra, std::size_t& at)
{
    if (!fits(extra, at, 3))
        fail("array constant without its values");
    const std::size_t cols = extra[at] + 1u, rows = getU16(extra.data() + at + 1) + 1u;
    at += 3;
    std::u16string t = u"{";
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < cols; ++c) {
            if (c > 0)
                t += u',';
            if (!fits(extra, at, 1))
                fail("array constant cut short");
            const std::uint8_t type = extra[at++];
            if (type == 0x02) {
                if (!fits(extra, at, 3))
                    fail("array constant cut short");
                const std::size_t n = getU16(extra.data() + at);
                const bool wide = extra[at + 2] & 1;
                at += 3;
                if (!fits(extra, at, n * (wide ? 2 : 1)))
                    fail("array constant cut short");
                t += u'"';
                for (std::size_t i = 0; i < n; ++i) {
                    const char16_t ch = wide ? static_cast<char16_t>(getU16(extra.data() + at + 2 * i))
                                             : static_cast<char16_t>(extra[at + i]);
                    t += ch;
                    if (ch == u'"')
                        t += ch;
                }
                t += u'"';
                at += n * (wide ? 2 : 1);
                continue;
            }
            if (!fits(extra, at, 8))
                fail("array constant cut short");
            const std::uint8_t* d = extra.data() + at;
            at += 8;
            switch (type) {
            case 0x00: break; // an empty value shows nothing
            case 0x01: t += numberText(getF64(d)); break;
            case 0x04: t += d[0] ? u"TRUE" : u"FALSE"; break;
            case 0x10: {
                auto it = std::find_if(Errors.begin(), Errors.end(), [&](const auto& e) { return e.first == d[0]; });
                if (it == Errors.end())
                    fail("unknown error code in an array");
                t += it->second;
                break;
            }
            default: fail("unknown value type in an array");
            }
        }
        if (r + 1 < rows)
            t += u';';
    }
    return t + u"}";
}

std::string hex(std::uint8_t id)
{
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[id >> 4] + digits[id & 0x0F];
}

} // namespace

std::u16string formulaText(ByteSpan t, const SheetResolver* sheets, ByteSpan extra)
{
    std::vector<std::u16string> stack;
    auto pop = [&]() {
        if (stack.empty())
            fail("token array does not balance");
        std::u16string v = std::move(stack.back());
        stack.pop_back();
        return v;
    };
    // Blanks and line breaks stored by PtgAttrSpace: before the next token, before the
    // closing parenthesis of the next one, and before the whole formula.
    std::u16string before, beforeClose, leading;
    auto take = [](std::u16string& s) { return std::exchange(s, std::u16string()); };
    auto needSheets = [&]() -> const SheetResolver& {
        if (!sheets)
            fail("a name or another sheet without the workbook");
        return *sheets;
    };
    std::size_t arrayAt = 0;
    std::size_t off = 0;
    while (off < t.size()) {
        const std::optional<std::size_t> size = tokenSize(t, off);
        if (!size)
            fail("token cut short or unknown");
        const std::uint8_t id = t[off];
        const std::uint8_t base = baseId(id);
        const std::uint8_t* d = t.data() + off + 1;
        if (base >= PtgAdd && base <= PtgRange) {
            std::u16string rhs = pop(), lhs = pop();
            stack.push_back(lhs + take(before) + std::u16string(BinaryText[base - PtgAdd]) + rhs);
        } else {
            switch (base) {
            case PtgUplus: stack.push_back(take(before) + u"+" + pop()); break;
            case PtgUminus: stack.push_back(take(before) + u"-" + pop()); break;
            case PtgPercent: stack.push_back(pop() + take(before) + u"%"); break;
            case PtgParen: stack.push_back(take(before) + u"(" + pop() + take(beforeClose) + u")"); break;
            case PtgMissArg: stack.push_back(take(before)); break;
            case PtgStr: {
                const std::size_t n = d[0];
                const bool wide = d[1] & 1;
                std::u16string s = take(before) + u"\"";
                for (std::size_t i = 0; i < n; ++i) {
                    const char16_t ch = wide ? static_cast<char16_t>(getU16(d + 2 + 2 * i)) : static_cast<char16_t>(d[2 + i]);
                    s += ch;
                    if (ch == u'"')
                        s += ch;
                }
                stack.push_back(s + u"\"");
                break;
            }
            case PtgAttr:
                if (d[0] & AttrSum) {
                    // A one-argument SUM stored as an attribute.
                    stack.push_back(take(before) + u"SUM(" + pop() + take(beforeClose) + u")");
                } else if (d[0] & AttrSpace) {
                    const std::u16string blanks(d[2], d[1] % 2 ? u'\n' : u' ');
                    if (d[1] <= 3)
                        before += blanks;
                    else if (d[1] <= 5)
                        beforeClose += blanks;
                    else
                        leading += blanks;
                }
                // Jumps and volatility show nothing.
                break;
            case PtgErr: {
                auto it = std::find_if(Errors.begin(), Errors.end(), [&](const auto& e) { return e.first == d[0]; });
                if (it == Errors.end())
                    fail("unknown error code");
                stack.push_back(take(before) + std::u16string(it->second));
                break;
            }
            case PtgBool: stack.push_back(take(before) + (d[0] ? u"TRUE" : u"FALSE")); break;
            case PtgInt: stack.push_back(take(before) + widen(std::to_string(getU16(d)))); break;
            case PtgNum: stack.push_back(take(before) + numberText(getF64(d))); break;
            case PtgArray: stack.push_back(take(before) + arrayText(extra, arrayAt)); break;
            case PtgFunc:
            case PtgFuncVar: {
                const bool var = base == PtgFuncVar;
                const std::uint16_t fid = static_cast<std::uint16_t>(getU16(d + (var ? 1 : 0)) & 0x7FFF);
                // Function 255 calls the add-in or macro function its first argument names.
                constexpr std::uint16_t UserFunction = 255;
                const FunctionInfo* f = functionById(fid);
                if (!f && !(var && fid == UserFunction))
                    fail("unknown function " + std::to_string(fid));
                const std::size_t n = var ? (d[0] & 0x7F) : f->minArgs;
                if (n > stack.size() || (!f && n == 0))
                    fail("token array does not balance");
                std::size_t first = stack.size() - n;
                std::u16string name = f ? widen(f->name) : stack[first++];
                std::u16string args;
                for (std::size_t i = first; i < stack.size(); ++i)
                    args += (i == first ? u"" : u",") + stack[i];
                stack.resize(stack.size() - n);
                stack.push_back(take(before) + name + u"(" + args + take(beforeClose) + u")");
                break;
            }
            case PtgName: {
                const std::optional<std::u16string> name = needSheets().definedName(getU16(d));
                if (!name)
                    fail("unknown defined name " + std::to_string(getU16(d)));
                stack.push_back(take(before) + *name);
                break;
            }
            case PtgNameX: {
                const std::optional<std::u16string> name = needSheets().externName(getU16(d), getU16(d + 2));
                if (!name)
                    fail("unknown external name " + std::to_string(getU16(d + 2)));
                stack.push_back(take(before) + *name);
                break;
            }
            case PtgRef: stack.push_back(take(before) + cellText(getU16(d), getU16(d + 2))); break;
            case PtgArea:
                stack.push_back(take(before) + cellText(getU16(d), getU16(d + 4)) + u":" +
                                cellText(getU16(d + 2), getU16(d + 6)));
                break;
            case PtgRef3d:
                stack.push_back(take(before) + sheetText(sheets, getU16(d)) + cellText(getU16(d + 2), getU16(d + 4)));
                break;
            case PtgArea3d:
                stack.push_back(take(before) + sheetText(sheets, getU16(d)) + cellText(getU16(d + 2), getU16(d + 6)) +
                                u":" + cellText(getU16(d + 4), getU16(d + 8)));
                break;
            case PtgRefErr: case PtgAreaErr: stack.push_back(take(before) + u"#REF!"); break;
            case PtgRefErr3d: case PtgAreaErr3d:
                stack.push_back(take(before) + sheetText(sheets, getU16(d)) + u"#REF!");
                break;
            case 0x26: case 0x27: case 0x28: case 0x29: case 0x2E: case 0x2F:
                break; // the sub-expression that follows stands for itself
            default:
                fail("token " + hex(id) + " has no text");
            }
        }
        off += *size;
    }
    if (stack.size() != 1)
        fail("token array does not balance");
    return u"=" + leading + stack.back();
}

std::u16string formulaText(const TFormulaRecord& f, const SheetResolver* sheets)
{
    return formulaText(f.tokens(), sheets, f.extraData());
}

// ---------------------------------------------------------------------------

std::optional<std::uint16_t> WorkbookSheets::internalSupBook() const
{
    // SUPBOOK of the workbook itself: sheet count, then 0x0401.
    std::uint16_t index = 0;
    for (const auto& r : wb_->globals().references.records) {
        if (r->id() != rid::SupBook)
            continue;
        if (r->bodySize() >= 4 && getU16(r->body().data() + 2) == 0x0401)
            return index;
        ++index;
    }
    return std::nullopt;
}

std::optional<std::u16string> WorkbookSheets::sheetPrefix(std::uint16_t ixti) const
{
    const TReferences& refs = wb_->globals().references;
    if (ixti >= refs.externSheets.size())
        return std::nullopt;
    const ExternSheetRef& e = refs.externSheets[ixti];
    const std::optional<std::uint16_t> self = internalSupBook();
    const TBoundSheetList& bound = wb_->globals().boundSheets;
    if (!self || e.supBook != *self || e.firstSheet >= bound.size() || e.lastSheet >= bound.size())
        return std::nullopt;
    std::u16string name = bound.name(e.firstSheet);
    if (e.lastSheet != e.firstSheet)
        name += u":" + bound.name(e.lastSheet);
    return name;
}

std::optional<std::uint16_t> WorkbookSheets::externSheetOf(std::u16string_view sheetName)
{
    TWorkbookGlobals& g = wb_->globals();
    std::optional<std::uint16_t> sheet;
    for (std::size_t i = 0; i < g.boundSheets.size(); ++i)
        if (equalNoCase(g.boundSheets.name(i), sheetName))
            sheet = static_cast<std::uint16_t>(i);
    if (!sheet)
        return std::nullopt;
    std::optional<std::uint16_t> self = internalSupBook();
    if (self) {
        for (std::size_t i = 0; i < g.references.externSheets.size(); ++i) {
            const ExternSheetRef& e = g.references.externSheets[i];
            if (e.supBook == *self && e.firstSheet == *sheet && e.lastSheet == *sheet)
                return static_cast<std::uint16_t>(i);
        }
    } else {
        // The workbook's own SUPBOOK goes first: external ones keep their order after it,
        // so every existing entry moves up by one.
        std::array<std::uint8_t, 4> body{};
        putU16(body.data(), static_cast<std::uint16_t>(g.boundSheets.size()));
        putU16(body.data() + 2, 0x0401);
        g.references.records.insert(g.references.records.begin(),
                                    createRecord(rid::SupBook, ByteSpan(body.data(), body.size())));
        for (ExternSheetRef& e : g.references.externSheets)
            ++e.supBook;
        self = 0;
    }
    g.references.externSheets.push_back({*self, *sheet, *sheet});
    g.references.hasExternSheet = true;
    return static_cast<std::uint16_t>(g.references.externSheets.size() - 1);
}

} // namespace quorvane::xls::formula

namespace quorvane::xls::formula {

namespace {

constexpr std::array<std::u16string_view, 14> BuiltInNames = {
    u"Consolidate_Area", u"Auto_Open", u"Auto_Close", u"Extract", u"Database", u"Criteria", u"Print_Area",
    u"Print_Titles", u"Recorder", u"Data_Form", u"Auto_Activate", u"Auto_Deactivate", u"Sheet_Title",
    u"_FilterDatabase",
};

struct NameEntry {
    std::u16string text;
    std::uint16_t sheet = 0; // 0 for a name of the whole workbook, else sheet + 1
};

// NAME: options (0x0020 built-in), shortcut, name length, formula length, two unused
// fields, the sheet (itab, 0 for the whole workbook), four text lengths, then the name
// (a flags byte, 8- or 16-bit characters) and its formula.
std::optional<NameEntry> nameOf(const TBaseRecord& r)
{
    const ByteSpan b = r.body();
    if (b.size() < 15)
        return std::nullopt;
    const std::size_t chars = b[3];
    const bool wide = b[14] & 0x01;
    if (!fits(b, 15, chars * (wide ? 2 : 1)))
        return std::nullopt;
    NameEntry e;
    e.sheet = getU16(b.data() + 8);
    for (std::size_t c = 0; c < chars; ++c)
        e.text.push_back(wide ? static_cast<char16_t>(getU16(b.data() + 15 + 2 * c)) : b[15 + c]);
    if ((getU16(b.data()) & 0x0020) && e.text.size() == 1 && e.text[0] < BuiltInNames.size())
        e.text = BuiltInNames[e.text[0]];
    return e;
}

} // namespace

std::optional<std::u16string> WorkbookSheets::definedName(std::uint16_t index) const
{
    const RecordList& names = wb_->globals().names;
    if (index < 1 || index > names.size())
        return std::nullopt;
    const std::optional<NameEntry> e = nameOf(*names[index - 1u]);
    if (!e)
        return std::nullopt;
    return e->text;
}

std::optional<std::uint16_t> WorkbookSheets::definedNameIndex(std::u16string_view name) const
{
    const RecordList& names = wb_->globals().names;
    for (std::size_t i = 0; i < names.size() && i < 0xFFFF; ++i) {
        const std::optional<NameEntry> e = nameOf(*names[i]);
        if (e && e->sheet == 0 && equalNoCase(e->text, name))
            return static_cast<std::uint16_t>(i + 1);
    }
    return std::nullopt;
}

std::optional<std::u16string> WorkbookSheets::externName(std::uint16_t ixti, std::uint16_t index) const
{
    const TReferences& refs = wb_->globals().references;
    if (ixti >= refs.externSheets.size())
        return std::nullopt;
    const std::uint16_t book = refs.externSheets[ixti].supBook;
    if (internalSupBook() == book)
        return definedName(index);
    // EXTERNNAME records follow the SUPBOOK they belong to: options, four bytes, then the
    // name with an 8-bit count and a flags byte.
    int supBook = -1;
    std::uint16_t seen = 0;
    for (const auto& r : refs.records) {
        if (r->id() == rid::SupBook) {
            ++supBook;
            continue;
        }
        if (supBook != book || r->id() != rid::ExternName || ++seen != index)
            continue;
        const ByteSpan b = r->body();
        if (b.size() < 8)
            return std::nullopt;
        const std::size_t chars = b[6];
        const bool wide = b[7] & 0x01;
        if (!fits(b, 8, chars * (wide ? 2 : 1)))
            return std::nullopt;
        std::u16string text;
        for (std::size_t c = 0; c < chars; ++c)
            text.push_back(wide ? static_cast<char16_t>(getU16(b.data() + 8 + 2 * c)) : b[8 + c]);
        return text;
    }
    return std::nullopt;
}

} // namespace quorvane::xls::formula
