// Formula text: tokens that LibreOffice compiled (tests/fixtures/xls/grid/lo-formulas.xls)
// shown as text and parsed back, and parser cases checked by hand against the BIFF8
// token layout.
#include "xls/formula_text/cell_formula.h"
#include "xls/formula_text/formula_text.h"
#include "xls/formula.h"
#include "xls/text.h"
#include "xls/write/cells.h"
#include "xls/write/save.h"
#include "xls/xlsfile.h"

#include "support/temp_dir.h"

#include <memory>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <utility>
#include <string>
#include <vector>

namespace quorvane::xls::formula {
namespace {

const std::string Fixtures = std::string(QUORVANE_TEST_FIXTURES) + "/xls/grid/";

// Token bytes with the operand class bits folded away (programs choose classes by their
// own tables) and the volatility and blank attributes dropped; the jumps and the other
// attributes must be byte for byte as the other program wrote them.
std::vector<std::uint8_t> folded(ByteSpan t)
{
    std::vector<std::uint8_t> out;
    std::size_t off = 0;
    while (off < t.size()) {
        const std::size_t n = tokenSize(t, off).value_or(t.size() - off);
        const std::uint8_t base = baseId(t[off]);
        const bool ignored = base == PtgAttr && n > 1 && (t[off + 1] & (AttrVolatile | AttrSpace));
        if (!ignored) {
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
    std::string value; // what LibreOffice calculated, where the list gives it
};

std::vector<Expected> expectedFormulas(const std::string& list)
{
    std::ifstream in(Fixtures + list);
    std::vector<Expected> rows;
    std::string line;
    while (std::getline(in, line)) {
        const auto a = line.find('\t'), b = line.find('\t', a + 1), c = line.find('\t', b + 1);
        rows.push_back({std::stoi(line.substr(0, a)), std::stoi(line.substr(a + 1, b - a - 1)),
                        line.substr(b + 1, c == std::string::npos ? std::string::npos : c - b - 1),
                        c == std::string::npos ? "" : line.substr(c + 1)});
    }
    return rows;
}

std::unique_ptr<TXLSFile> openFixture(const std::string& name)
{
    TXLSAdapter adapter;
    auto file = adapter.createFile();
    file->connect();
    file->openFile(Fixtures + name);
    return file;
}

TEST(FormulaText, LibreOfficeTokensShowAsTypedAndParseBackToTheSameTokens)
{
    // lo-formulas: operators, references, calls; lo-jumps: IF and CHOOSE with their
    // jumps, SUM of one argument, unions, intersections, array constants, defined names.
    for (const char* fixture : {"lo-formulas", "lo-jumps"}) {
        SCOPED_TRACE(fixture);
        auto file = openFixture(std::string(fixture) + ".xls");
        TWorkbook& wb = file->workbook();
        auto* ws = dynamic_cast<TWorkSheet*>(wb.sheets().at(0).get());
        ASSERT_NE(ws, nullptr);
        WorkbookSheets sheets(wb);
        const auto expected = expectedFormulas(std::string(fixture) + ".tsv");
        ASSERT_FALSE(expected.empty());
        for (const Expected& e : expected) {
            SCOPED_TRACE(e.text);
            const auto* f = dynamic_cast<const TFormulaRecord*>(ws->cells.cell(e.row - 1, e.col - 1));
            ASSERT_NE(f, nullptr);
            const std::u16string text = formulaText(*f, &sheets);
            EXPECT_EQ(toUtf8(text), e.text);
            const CompiledFormula ours = compileFormula(text, &sheets);
            EXPECT_EQ(toUtf8(formulaText(ByteSpan(ours.tokens), &sheets, ByteSpan(ours.extra))), e.text);
            EXPECT_EQ(folded(ByteSpan(ours.tokens)), folded(f->tokens()));
            EXPECT_EQ(ours.extra, std::vector<std::uint8_t>(f->extraData().begin(), f->extraData().end()));
        }
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
    // One defined name, "Ages" (index 1); the add-in of EXTERNSHEET entry 2 names "MYFUNC".
    std::optional<std::u16string> definedName(std::uint16_t index) const override
    {
        return index == 1 ? std::optional<std::u16string>(u"Ages") : std::nullopt;
    }
    std::optional<std::uint16_t> definedNameIndex(std::u16string_view name) const override
    {
        return name == u"Ages" || name == u"ages" ? std::optional<std::uint16_t>(1) : std::nullopt;
    }
    std::optional<std::u16string> externName(std::uint16_t ixti, std::uint16_t index) const override
    {
        return ixti == 2 && index == 1 ? std::optional<std::u16string>(u"MYFUNC") : std::nullopt;
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
        {u"=SUM((A1,B2:C3,Data!D4))", "=SUM((A1,B2:C3,Data!D4))"}, // a union of three
        {u"=A1:C3 B2:B4", "=A1:C3 B2:B4"},         // an intersection
        {u"=-A1:C3  B2", "=-A1:C3 B2"},            // binds tighter than negation
        {u"=SUM(ages) + 1", "=SUM(Ages)+1"},       // a defined name, in its own spelling
        {u"={1,-2.5;\"x\",TRUE}", "={1,-2.5;\"x\",TRUE}"},
        {u"={#N/A}", "={#N/A}"},
        {u"=IF(A1,IF(B1,1,2),CHOOSE(C1,\"a\",\"b\"))", "=IF(A1,IF(B1,1,2),CHOOSE(C1,\"a\",\"b\"))"},
        {u"=NOW()+RAND()", "=NOW()+RAND()"},       // volatile: an attribute leads
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        const CompiledFormula f = compileFormula(c.typed, &sheets);
        EXPECT_EQ(toUtf8(formulaText(ByteSpan(f.tokens), &sheets, ByteSpan(f.extra))), c.shown);
    }
}

TEST(FormulaText, FixedAndVariableCallsUseTheirTokens)
{
    // ROUND has two fixed arguments: PtgInt 1, PtgInt 2, PtgFuncV 27.
    EXPECT_EQ(parseFormula(u"=ROUND(1,2)"), (std::vector<std::uint8_t>{0x1E, 1, 0, 0x1E, 2, 0, 0x41, 27, 0}));
    // SUM is variable: PtgRefR A1, PtgRefR B1, PtgFuncVarV with 2 arguments, function 4;
    // with one argument it is PtgAttrSum.
    EXPECT_EQ(parseFormula(u"=SUM(A1,B1)"),
              (std::vector<std::uint8_t>{0x24, 0, 0, 0, 0xC0, 0x24, 0, 0, 1, 0xC0, 0x42, 2, 4, 0}));
    EXPECT_EQ(parseFormula(u"=SUM(A1)"), (std::vector<std::uint8_t>{0x24, 0, 0, 0, 0xC0, 0x19, 0x10, 0, 0}));
    // IF(1,2): PtgAttrIf over the branch (3) and its goto (4); the goto to the last byte
    // of the call (3 = 4 - 1).
    EXPECT_EQ(parseFormula(u"=IF(1,2)"), (std::vector<std::uint8_t>{0x1E, 1, 0, 0x19, 0x02, 7, 0, 0x1E, 2, 0, 0x19,
                                                                     0x08, 3, 0, 0x42, 2, 1, 0}));
    // CHOOSE(1,2,3): a table of three offsets from its start: case 1 at 6, case 2 at 13,
    // the call at 20; each case's goto reaches the call's last byte.
    EXPECT_EQ(parseFormula(u"=CHOOSE(1,2,3)"),
              (std::vector<std::uint8_t>{0x1E, 1, 0, 0x19, 0x04, 2, 0, 6, 0, 13, 0, 20, 0, 0x1E, 2, 0, 0x19, 0x08, 10,
                                         0, 0x1E, 3, 0, 0x19, 0x08, 3, 0, 0x42, 3, 100, 0}));
    // A union inside an argument: PtgMemFunc over the 11 bytes that compute it.
    EXPECT_EQ(parseFormula(u"=SUM((A1,B1))"), (std::vector<std::uint8_t>{0x29, 11, 0, 0x24, 0, 0, 0, 0xC0, 0x24, 0,
                                                                          0, 1, 0xC0, 0x10, 0x15, 0x19, 0x10, 0, 0}));
    // An array constant keeps its values in the extra data; the tokens alone refuse it.
    const CompiledFormula array = compileFormula(u"={1,\"ab\"}");
    EXPECT_EQ(array.tokens, (std::vector<std::uint8_t>{0x40, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(array.extra, (std::vector<std::uint8_t>{1, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0x02, 2, 0, 0, 'a', 'b'}));
    EXPECT_THROW(parseFormula(u"={1}"), FormulaTextError);
    // An operand of an operator is of value class: PtgRefV.
    EXPECT_EQ(parseFormula(u"=$B$3+1"), (std::vector<std::uint8_t>{0x44, 2, 0, 1, 0, 0x1E, 1, 0, 0x03}));
}

TEST(FormulaText, BadTextFails)
{
    TwoSheets sheets;
    for (const char16_t* bad : {u"=", u"=1+", u"=(1", u"=SUM(1", u"=NOSUCH(1)", u"=ROUND(1)", u"=\"open",
                                 u"=A0", u"=IW1", u"=Other!A1", u"=1 2", u"=#WHAT", u"=A1:", u"=foo",
                                 u"=(1,A1)", u"=(A1,2)", u"=1 A1", u"=A1 TRUE", u"={1,2;3}", u"={A1}", u"={1",
                                 u"=Rate"}) {
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
        {0x40, 0, 0, 0, 0, 0, 0, 0}, // an array constant without its values
        {0x23, 9, 0, 0, 0},          // a defined name the workbook does not have
    };
    TwoSheets sheets;
    for (const auto& t : bad)
        EXPECT_THROW(formulaText(ByteSpan(t.data(), t.size()), &sheets), FormulaTextError);
}

TEST(FormulaText, StoredNamesBlanksAndAddInCallsShow)
{
    TwoSheets sheets;
    const struct {
        const char* name;
        std::vector<std::uint8_t> tokens;
        const char* shown;
    } cases[] = {
        // PtgNameX of the add-in, PtgInt 1, PtgFuncVar with 2 arguments of function 255.
        {"add-in call", {0x39, 2, 0, 1, 0, 0, 0, 0x1E, 1, 0, 0x42, 2, 0xFF, 0}, "=MYFUNC(1)"},
        {"defined name", {0x43, 1, 0, 0, 0}, "=Ages"},
        // PtgAttrSpace: two blanks before "+", one before the next operand, and one
        // before the closing parenthesis.
        {"blanks", {0x1E, 1, 0, 0x19, 0x40, 0, 1, 0x1E, 2, 0, 0x19, 0x40, 0, 2, 0x03, 0x19, 0x40, 4, 1, 0x15},
         "=(1  + 2 )"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toUtf8(formulaText(ByteSpan(c.tokens), &sheets)), c.shown);
    }
}

TEST(FormulaText, ColumnLetters)
{
    const std::pair<int, const char*> cases[] = {{0, "A"}, {25, "Z"}, {26, "AA"}, {51, "AZ"}, {52, "BA"}, {255, "IV"}};
    for (const auto& [col, letters] : cases)
        EXPECT_EQ(toUtf8(columnLetters(col)), letters);
}

} // namespace
} // namespace quorvane::xls::formula

namespace quorvane::xls::formula {
namespace {

// The formulas of lo-jumps.tsv typed into column E of a copy of lo-jumps.xls and saved by
// us; LibreOffice (when installed) opens that file, calculates and lists the values,
// which must be the values it calculated for its own compilation in column D.
TEST(FormulaText, LibreOfficeCalculatesTheFormulasWeWrite)
{
    if (std::system("command -v soffice >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    test::TempDir dir;
    auto file = openFixture("lo-jumps.xls");
    TWorkbook& wb = file->workbook();
    auto& ws = dynamic_cast<TWorkSheet&>(*wb.sheets().at(0));
    const auto expected = expectedFormulas("lo-jumps.tsv");
    for (const Expected& e : expected)
        setCellFormula(wb, ws, e.row - 1, 4, fromUtf8(e.text), defaultFormat(ws, e.row - 1, 4));
    const std::string ours = dir.path() + "/ours.xls";
    saveFile(*file, ours);

    const std::string command = "cd '" + dir.path() + "' && soffice -env:UserInstallation=file://" + dir.path() +
                                "/profile --headless --norestore --convert-to csv --outdir '" + dir.path() +
                                "' ours.xls >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream csv(dir.path() + "/ours.csv");
    ASSERT_TRUE(csv.good());
    std::vector<std::string> column;
    for (std::string line; std::getline(csv, line);) {
        // Five fields: A..D hold numbers or LibreOffice's own results; E is ours.
        std::vector<std::string> fields;
        std::string field;
        bool quoted = false;
        for (char ch : line) {
            if (ch == '"')
                quoted = !quoted;
            else if (ch == ',' && !quoted)
                fields.push_back(std::exchange(field, std::string()));
            else
                field += ch;
        }
        fields.push_back(field);
        column.push_back(fields.size() > 4 ? fields[4] : "");
    }
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.text);
        ASSERT_LT(static_cast<std::size_t>(e.row - 1), column.size());
        const std::string& got = column[static_cast<std::size_t>(e.row - 1)];
        char* end = nullptr;
        const double want = std::strtod(e.value.c_str(), &end);
        if (end && *end == '\0' && !e.value.empty())
            EXPECT_NEAR(std::strtod(got.c_str(), nullptr), want, 1e-9) << got;
        else
            EXPECT_EQ(got, e.value);
    }
}

} // namespace
} // namespace quorvane::xls::formula
