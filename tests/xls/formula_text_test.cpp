// Formula text: tokens that LibreOffice compiled (tests/fixtures/xls/grid/lo-formulas.xls)
// shown as text and parsed back, and parser cases checked by hand against the BIFF8
// token layout.
#include "xls/formula_text/formula_text.h"
#include "xls/formula.h"
#include "xls/text.h"
#include "xls/xlsfile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace quorvane::xls::formula {
namespace {

const std::string Fixtures = std::string(QUORVANE_TEST_FIXTURES) + "/xls/grid/";

// Token bytes with the operand class bits folded away and the attribute tokens (jumps,
// spaces, volatility) dropped, so that two compilations of one formula compare equal.
std::vector<std::uint8_t> normalised(ByteSpan t)
{
    std::vector<std::uint8_t> out;
    std::size_t off = 0;
    while (off < t.size()) {
        const std::size_t n = tokenSize(t, off).value_or(t.size() - off);
        const std::uint8_t base = baseId(t[off]);
        if (base == PtgAttr && n > 1 && (t[off + 1] & AttrSum)) {
            out.insert(out.end(), {PtgFuncVar, 1, 4, 0}); // SUM of one argument
        } else if (base != PtgAttr) {
            out.push_back(base);
            out.insert(out.end(), t.begin() + static_cast<std::ptrdiff_t>(off + 1),
                       t.begin() + static_cast<std::ptrdiff_t>(off + n));
        }
        off += n;
    }
    return out;
}

struct Expected {
    int row, col;
    std::string text;
};

std::vector<Expected> expectedFormulas()
{
    std::ifstream in(Fixtures + "lo-formulas.tsv");
    std::vector<Expected> rows;
    std::string line;
    while (std::getline(in, line)) {
        const auto a = line.find('\t'), b = line.find('\t', a + 1);
        rows.push_back({std::stoi(line.substr(0, a)), std::stoi(line.substr(a + 1, b - a - 1)), line.substr(b + 1)});
    }
    return rows;
}

TEST(FormulaText, LibreOfficeTokensShowAsTypedAndParseBackToTheSameTokens)
{
    TXLSAdapter adapter;
    auto file = adapter.createFile();
    file->connect();
    file->openFile(Fixtures + "lo-formulas.xls");
    TWorkbook& wb = file->workbook();
    auto* ws = dynamic_cast<TWorkSheet*>(wb.sheets().at(0).get());
    ASSERT_NE(ws, nullptr);
    WorkbookSheets sheets(wb);
    const auto expected = expectedFormulas();
    ASSERT_FALSE(expected.empty());
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.text);
        const auto* f = dynamic_cast<const TFormulaRecord*>(ws->cells.cell(e.row - 1, e.col - 1));
        ASSERT_NE(f, nullptr);
        const std::u16string text = formulaText(f->tokens(), &sheets);
        EXPECT_EQ(toUtf8(text), e.text);
        const std::vector<std::uint8_t> ours = parseFormula(text, &sheets);
        EXPECT_EQ(toUtf8(formulaText(ByteSpan(ours.data(), ours.size()), &sheets)), e.text);
        EXPECT_EQ(normalised(ByteSpan(ours.data(), ours.size())), normalised(f->tokens()));
    }
}

// Two sheets, "Data" (EXTERNSHEET 0) and "My sheet" (EXTERNSHEET 1).
class TwoSheets final : public SheetResolver {
public:
    std::optional<std::u16string> sheetPrefix(std::uint16_t ixti) const override
    {
        if (ixti == 0) return u"Data";
        if (ixti == 1) return u"My sheet";
        return std::nullopt;
    }
    std::optional<std::uint16_t> externSheetOf(std::u16string_view name) override
    {
        if (name == u"Data" || name == u"DATA") return 0;
        if (name == u"My sheet") return 1;
        return std::nullopt;
    }
};

TEST(FormulaText, TextRoundTripsThroughTokens)
{
    TwoSheets sheets;
    const struct {
        const char16_t* typed;
        const char* shown;
    } cases[] = {
        {u"=1+2*3-4/5", "=1+2*3-4/5"},
        {u"=-2^2", "=-2^2"},                       // negation binds tighter than ^
        {u"=5%^2", "=5%^2"},
        {u"=\"a\"\"b\"&\"c\"", "=\"a\"\"b\"&\"c\""}, // a doubled quote inside a string
        {u"= sum( a1 : b2 , $C$3 )", "=SUM(A1:B2,$C$3)"}, // blanks, letter case
        {u"=IF(A1,,2)", "=IF(A1,,2)"},             // a missing argument
        {u"='My sheet'!A1+Data!$B$2:C3", "='My sheet'!A1+Data!$B$2:C3"},
        {u"=#DIV/0!=#N/A", "=#DIV/0!=#N/A"},
        {u"=IV65536+A1", "=IV65536+A1"},          // the last cell of a sheet
        {u"=LOG10(100)", "=LOG10(100)"},           // a name that begins like a reference
        {u"=70000+0.5", "=70000+0.5"},             // beyond PtgInt, and a fraction
        {u"TRUE", "=TRUE"},                        // the "=" is optional
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const auto tokens = parseFormula(c.typed, &sheets);
        EXPECT_EQ(toUtf8(formulaText(ByteSpan(tokens.data(), tokens.size()), &sheets)), c.shown);
    }
}

TEST(FormulaText, FixedAndVariableCallsUseTheirTokens)
{
    // ROUND has two fixed arguments: PtgInt 1, PtgInt 2, PtgFuncV 27.
    EXPECT_EQ(parseFormula(u"=ROUND(1,2)"), (std::vector<std::uint8_t>{0x1E, 1, 0, 0x1E, 2, 0, 0x41, 27, 0}));
    // SUM is variable: PtgRefR A1, PtgFuncVarV with 1 argument, function 4.
    EXPECT_EQ(parseFormula(u"=SUM(A1)"), (std::vector<std::uint8_t>{0x24, 0, 0, 0, 0xC0, 0x42, 1, 4, 0}));
    // An operand of an operator is of value class: PtgRefV.
    EXPECT_EQ(parseFormula(u"=$B$3+1"), (std::vector<std::uint8_t>{0x44, 2, 0, 1, 0, 0x1E, 1, 0, 0x03}));
}

TEST(FormulaText, BadTextFails)
{
    TwoSheets sheets;
    for (const char16_t* bad : {u"=", u"=1+", u"=(1", u"=SUM(1", u"=NOSUCH(1)", u"=ROUND(1)", u"=\"open",
                                 u"=A0", u"=IW1", u"=Other!A1", u"=1 2", u"=#WHAT", u"=A1:", u"=foo"}) {
        SCOPED_TRACE(toUtf8(bad));
        EXPECT_THROW(parseFormula(bad, &sheets), FormulaTextError);
    }
    EXPECT_THROW(parseFormula(u"=Data!A1"), FormulaTextError); // no workbook to name sheets
}

TEST(FormulaText, TokensWithoutTextFail)
{
    const std::vector<std::vector<std::uint8_t>> bad = {
        {},                          // nothing
        {0x03},                      // an operator with no operands
        {0x1E, 1, 0, 0x1E, 2, 0},    // two values left over
        {0x41, 0xFF, 0x0F},          // an unknown function
        {0x1F, 0, 0},                // a number cut short
    };
    for (const auto& t : bad)
        EXPECT_THROW(formulaText(ByteSpan(t.data(), t.size())), FormulaTextError);
}

TEST(FormulaText, ColumnLetters)
{
    const std::pair<int, const char*> cases[] = {{0, "A"}, {25, "Z"}, {26, "AA"}, {51, "AZ"}, {52, "BA"}, {255, "IV"}};
    for (const auto& [col, letters] : cases)
        EXPECT_EQ(toUtf8(columnLetters(col)), letters);
}

} // namespace
} // namespace quorvane::xls::formula
