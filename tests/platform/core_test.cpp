// Error texts, floating-point checks and path joining.
#include "platform/errors.h"
#include "platform/fpcheck.h"
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace quorvane {
namespace {

TEST(Errors, FormatReplacesThePlaceholder)
{
    struct Case {
        const char* pattern;
        const char* arg;
        const char* expected;
    };
    const Case cases[] = {
        {"Unable to write to %s", "/tmp/Q.INI", "Unable to write to /tmp/Q.INI"},
        {"Unable to open file - %s", "", "Unable to open file - "},
        {"%s at the start", "x", "x at the start"},
        {"no placeholder", "x", "no placeholder"},
        {"only the first %s of %s", "one", "only the first one of %s"},
        {"argument %s", "holding %s itself", "argument holding %s itself"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(format(c.pattern, c.arg), c.expected);
    }
}

TEST(Errors, FixedTexts)
{
    EXPECT_STREQ(RangeError().what(), "Range check error");
    using K = FloatingPointError::Kind;
    EXPECT_STREQ(FloatingPointError(K::DivideByZero).what(), "Floating point division by zero");
    EXPECT_STREQ(FloatingPointError(K::Invalid).what(), "Invalid floating point operation");
    EXPECT_STREQ(FloatingPointError(K::Overflow).what(), "Floating point overflow");
}

using Kind = FloatingPointError::Kind;
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Max = std::numeric_limits<double>::max();

/// The kind thrown by f, or nullopt when it returns.
template <class F>
std::optional<Kind> thrownKind(F f)
{
    try {
        f();
    } catch (const FloatingPointError& e) {
        return e.kind();
    }
    return std::nullopt;
}

TEST(FpCheck, Divide)
{
    struct Case {
        const char* name;
        double a, b;
        std::optional<Kind> kind;
        double quotient;
    };
    const Case cases[] = {
        {"ordinary", 1.0, 4.0, std::nullopt, 0.25},
        {"negative zero divisor", 1.0, -0.0, Kind::DivideByZero, 0},
        {"x / 0", -3.0, 0.0, Kind::DivideByZero, 0},
        {"0 / 0", 0.0, 0.0, Kind::Invalid, 0},
        {"NaN / 0", NaN, 0.0, Kind::Invalid, 0},
        {"inf / inf", Inf, Inf, Kind::Invalid, 0},
        {"overflowing quotient", Max, 0.5, Kind::Overflow, 0},
        {"inf / 2 is no new overflow", Inf, 2.0, std::nullopt, Inf},
        {"underflow is not an error", 1e-300, 1e300, std::nullopt, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double q = -1;
        EXPECT_EQ(thrownKind([&] { q = fp::divide(c.a, c.b); }), c.kind);
        if (!c.kind) {
            EXPECT_EQ(q, c.quotient);
        }
    }
}

TEST(FpCheck, Sqrt)
{
    EXPECT_EQ(fp::sqrt(2.25), 1.5);
    EXPECT_EQ(fp::sqrt(0.0), 0.0);
    EXPECT_EQ(thrownKind([] { fp::sqrt(-1e-300); }), Kind::Invalid);
    EXPECT_EQ(thrownKind([] { fp::sqrt(NaN); }), Kind::Invalid);
}

// volatile keeps the compiler from folding the operations away.
volatile double sink, z = 0.0, o = 1.0, b = Max;

TEST(FpCheck, CheckReportsRaisedFlagsInOrder)
{
    struct Case {
        const char* name;
        void (*raise)();
        std::optional<Kind> kind;
    };
    const Case cases[] = {
        {"nothing raised", [] { sink = o + o; }, std::nullopt},
        {"division by zero", [] { sink = o / z; }, Kind::DivideByZero},
        {"invalid", [] { sink = z / z; }, Kind::Invalid},
        {"overflow", [] { sink = b * b; }, Kind::Overflow},
        {"division by zero before overflow", [] { sink = b * b; sink = o / z; }, Kind::DivideByZero},
        {"invalid before overflow", [] { sink = b * b; sink = std::sqrt(-o); }, Kind::Invalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fp::clear();
        c.raise();
        EXPECT_EQ(thrownKind(fp::check), c.kind);
    }
    fp::clear();
    EXPECT_NO_THROW(fp::check());
}

TEST(Paths, JoinAndFolderOf)
{
    EXPECT_EQ(paths::join("/data/Quorvane", "SeaRaw.cds"), "/data/Quorvane/SeaRaw.cds");
    EXPECT_EQ(paths::join("/data/", "x"), "/data//x"); // plain concatenation
    EXPECT_EQ(paths::join("", "x"), "/x");

    struct Case {
        const char* path;
        const char* folder;
    };
    const Case cases[] = {
        {"/a/b/c.xls", "/a/b/"}, {"/c.xls", "/"}, {"c.xls", ""}, {"/a/b/", "/a/b/"}, {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(paths::folderOf(c.path), c.folder);
    }
}

} // namespace
} // namespace quorvane
