// Replays every input kept from fuzzing (tests/fuzz/corpus-regressions) and the peer
// fixtures through the reader: each must be answered or refused with an engine error.
#include "fuzz/read_input.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

void replayFolder(const std::filesystem::path& dir, int& count)
{
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        try {
            quorvane::xls::fuzz::readInput(bytes.data(), bytes.size());
        } catch (const quorvane::Error& e) {
            EXPECT_STRNE(e.what(), "");
        }
        ++count;
    }
}

} // namespace

TEST(FuzzRegressions, EveryKeptInputIsAnsweredOrRefused)
{
    int count = 0;
    replayFolder(std::filesystem::path(QUORVANE_SOURCE_DIR) / "tests/fuzz/corpus-regressions", count);
    EXPECT_GT(count, 0);
}
