// Loading and saving the whole settings file, and what writing every key with
// its own file replacement would cost instead of the single one SaveSettings makes.
#include "app/settings/settings_store.h"
#include "platform/ini.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::string settingsFile()
{
    static const std::string file = [] {
        std::string folder = (std::filesystem::temp_directory_path() / "quorvane-bench-XXXXXX").string();
        if (::mkdtemp(folder.data()) == nullptr)
            std::abort();
        static const std::string made = folder;
        std::atexit([] { std::error_code ec; std::filesystem::remove_all(made, ec); });
        const std::string path = folder + "/Quorvane.INI";
        quorvane::SettingsStore store;
        quorvane::LoadSettings(store, path);
        quorvane::SaveSettings(store, path);
        return path;
    }();
    return file;
}

void LoadSettingsFile(benchmark::State& state)
{
    const std::string file = settingsFile();
    quorvane::SettingsStore store;
    for (auto _ : state)
        quorvane::LoadSettings(store, file);
}
BENCHMARK(LoadSettingsFile)->Unit(benchmark::kMicrosecond);

void SaveSettingsFile(benchmark::State& state)
{
    const std::string file = settingsFile();
    quorvane::SettingsStore store;
    quorvane::LoadSettings(store, file);
    int left = 0;
    for (auto _ : state) {
        store.setInteger("Main Left", ++left); // a real change every time
        quorvane::SaveSettings(store, file);
    }
}
BENCHMARK(SaveSettingsFile)->Unit(benchmark::kMicrosecond);

// The same 43 values, each written and flushed on its own.
void SaveEveryKeySeparately(benchmark::State& state)
{
    const std::string file = settingsFile();
    quorvane::IniFile source(file);
    const std::string contents = source.contents();
    std::vector<std::pair<std::string, std::string>> lines; // section, key=value
    std::string section;
    for (std::size_t at = 0; at < contents.size();) {
        const std::size_t end = contents.find('\n', at);
        const std::string line = contents.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.front() == '[')
            section = line.substr(1, line.size() - 2);
        else if (!line.empty())
            lines.emplace_back(section, line);
    }
    int left = 0;
    for (auto _ : state) {
        quorvane::IniFile ini(file);
        for (const auto& [s, kv] : lines) {
            const auto eq = kv.find('=');
            const std::string k = kv.substr(0, eq);
            ini.writeText(s, k, k == "Main Left" ? std::to_string(++left) : kv.substr(eq + 1));
            ini.flush();
        }
    }
}
BENCHMARK(SaveEveryKeySeparately)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
