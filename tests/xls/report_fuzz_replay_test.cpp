// Replays the template filler's fuzz inputs (tests/fuzz/corpus-regressions/report) and the
// templates it was seeded with: each is filled and read back, or refused with an engine error.
#include "fuzz/report_input.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Returns the text of the engine error that refused the template, or "" for a filled one.
std::string fill(const std::vector<std::uint8_t>& bytes)
{
    try {
        quorvane::xls::fuzz::reportInput(bytes.data(), bytes.size());
    } catch (const quorvane::Error& e) {
        return e.what();
    }
    return {};
}

// Inputs kept from fuzzing, and the test templates the fuzzer was seeded with.
TEST(FuzzReport, KeptInputsAreFilledOrRefusedWithAnEngineError)
{
    const fs::path root(QUORVANE_SOURCE_DIR);
    ASSERT_TRUE(fs::is_directory(root / "tests/fuzz/corpus-regressions/report"));
    for (const fs::path dir : {root / "tests/fuzz/corpus-regressions/report", root / "tests/fixtures/report"})
        for (const auto& e : fs::directory_iterator(dir)) {
            if (!e.is_regular_file() || e.path().extension() == ".md" || e.path().extension() == ".fods"
                || e.path().extension() == ".sh" || e.path().extension() == ".py")
                continue;
            SCOPED_TRACE(e.path().string());
            (void)fill(bytesOf(e.path())); // a fault aborts or throws something else
        }
}

// The shipped templates name only what the curve tables have: each one fills.
TEST(FuzzReport, ShippedTemplatesFill)
{
    for (const auto& e : fs::directory_iterator(fs::path(QUORVANE_SOURCE_DIR) / "templates")) {
        if (e.path().extension() != ".xls")
            continue;
        SCOPED_TRACE(e.path().string());
        EXPECT_EQ(fill(bytesOf(e.path())), "");
    }
}

} // namespace
