#include "app/settings/settings_store.h"

#include "platform/ini.h"
#include "platform/paths.h"

#include <array>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#ifndef QUORVANE_TEMPLATE_DIR
#error "QUORVANE_TEMPLATE_DIR names the folder of the report templates"
#endif

namespace quorvane {

namespace {

constexpr const char* FilePaths = "File Paths";
constexpr const char* CurveParameters = "Curve parameters";
constexpr const char* InputFields = "Input fields";
constexpr const char* FormPositions = "Form positions";

enum class Kind { Text, Integer, Boolean };

/// Default of a folder key, computed on this machine when asked.
enum class Folder { None, Home, Data, Templates };

struct KeyDef {
    const char* section;
    std::string name;
    Kind kind;
    const char* text = "";      // texts that are not folders
    Folder folder = Folder::None;
    int integer = 0;            // integers and the boolean
};

/// Every key, in reading order.
const std::vector<KeyDef>& keyTable()
{
    static const std::vector<KeyDef> all = [] {
        std::vector<KeyDef> s = {
            {FilePaths, key::DataSpreadsheets, Kind::Text, "", Folder::Home},
            {FilePaths, key::InternalFiles, Kind::Text, "", Folder::Data},
            {FilePaths, key::DataImportPath, Kind::Text, "", Folder::Home},
            {FilePaths, key::DataExportPath, Kind::Text, "", Folder::Home},
            {FilePaths, key::TemplatePath, Kind::Text, "", Folder::Templates},
            {CurveParameters, key::MarineSrIsotope, Kind::Boolean},
            {CurveParameters, key::MinimumUncertainty, Kind::Text, "0.1"},
            {CurveParameters, key::StudentsTMultiplier, Kind::Text, "1.96"},
            {CurveParameters, key::RequiredSmoothingPrecision, Kind::Text, "0.8"},
            {CurveParameters, key::NumberOfPointsToAverage, Kind::Text, "5"},
            {CurveParameters, key::MovingAverageAgeWindow, Kind::Text, "1.0"},
            {CurveParameters, key::AgeRangeToAverage, Kind::Text, "0.1"},
            {InputFields, key::XColumn, Kind::Text, "A"},
            {InputFields, key::YColumn, Kind::Text, "B"},
            {InputFields, key::YErrColumn, Kind::Text, "C"},
            {InputFields, key::AgeFrom, Kind::Text, "0.0"},
            {InputFields, key::AgeTo, Kind::Text, "1.0"},
            {InputFields, key::FromRow, Kind::Text, "2"},
            {InputFields, key::ToRow, Kind::Text, "3"},
        };
        struct Window {
            const char* prefix;
            std::array<int, 4> defaults; // Left, Top, Height, Width in pixels
        };
        const Window windows[] = {
            {"Main", {1, 1, 480, 800}},   {"Sheet", {1, 50, 530, 800}}, {"Spline", {1, 50, 530, 800}},
            {"Moving Average", {1, 50, 530, 800}}, {"Graph", {1, 50, 530, 800}}, {"Export", {1, 50, 530, 800}},
        };
        for (const Window& w : windows) {
            const PositionKeys k = positionKeys(w.prefix);
            const std::string* names[] = {&k.left, &k.top, &k.height, &k.width};
            for (std::size_t i = 0; i < 4; ++i)
                s.push_back({FormPositions, *names[i], Kind::Integer, "", Folder::None, w.defaults[i]});
        }
        return s;
    }();
    return all;
}

/// Indexes into keyTable() in writing order: the reading order, but "Age range to
/// average" comes before "Number of points to average".
const std::vector<std::size_t>& writingOrder()
{
    static const std::vector<std::size_t> order = [] {
        std::vector<std::size_t> o;
        std::size_t ageRange = 0;
        for (std::size_t i = 0; i < keyTable().size(); ++i)
            if (keyTable()[i].name == key::AgeRangeToAverage)
                ageRange = i;
        for (std::size_t i = 0; i < keyTable().size(); ++i) {
            if (i == ageRange)
                continue;
            if (keyTable()[i].name == key::NumberOfPointsToAverage)
                o.push_back(ageRange);
            o.push_back(i);
        }
        return o;
    }();
    return order;
}

std::size_t indexOf(std::string_view name)
{
    const auto& s = keyTable();
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i].name == name)
            return i;
    throw std::logic_error("unknown settings key \"" + std::string(name) + "\"");
}

/// The key's index, checked to be of the kind the caller expects.
std::size_t indexOf(std::string_view name, Kind kind)
{
    const std::size_t i = indexOf(name);
    if (keyTable()[i].kind != kind)
        throw std::logic_error("settings key \"" + std::string(name) + "\" is of another kind");
    return i;
}

std::string withTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

/// The templates an installation put beside the program (<prefix>/share/quorvane/templates/)
/// when there are any, else the folder this build was configured with (the source tree's).
std::string templatesFolder()
{
    const std::string exe = paths::executableFolder();
    if (!exe.empty()) {
        const std::string installed = exe + "/../share/quorvane/templates";
        if (paths::folderExists(installed))
            return withTrailingSlash(installed);
    }
    return withTrailingSlash(QUORVANE_TEMPLATE_DIR);
}

std::string defaultOf(const KeyDef& def)
{
    switch (def.kind) {
    case Kind::Integer:
    case Kind::Boolean:
        return std::to_string(def.integer);
    case Kind::Text:
        break;
    }
    switch (def.folder) {
    case Folder::Home: return withTrailingSlash(paths::homeFolder());
    case Folder::Data: return paths::join(paths::dataFolder(), "Quorvane");
    case Folder::Templates: return templatesFolder();
    case Folder::None: break;
    }
    return def.text;
}

std::optional<std::string>& pathOverride()
{
    static std::optional<std::string> path;
    return path;
}

} // namespace

PositionKeys positionKeys(std::string_view prefix)
{
    const std::string p(prefix);
    return {p + " Left", p + " Top", p + " Height", p + " Width"};
}

SettingsStore::SettingsStore() : slots_(keyTable().size()) {}

const std::string& SettingsStore::text(std::string_view key) const { return slots_[indexOf(key, Kind::Text)].text; }
void SettingsStore::setText(std::string_view key, std::string value) { slots_[indexOf(key, Kind::Text)].text = std::move(value); }
int SettingsStore::integer(std::string_view key) const { return slots_[indexOf(key, Kind::Integer)].integer; }
void SettingsStore::setInteger(std::string_view key, int value) { slots_[indexOf(key, Kind::Integer)].integer = value; }
bool SettingsStore::boolean(std::string_view key) const { return slots_[indexOf(key, Kind::Boolean)].boolean; }
void SettingsStore::setBoolean(std::string_view key, bool value) { slots_[indexOf(key, Kind::Boolean)].boolean = value; }

void SettingsStore::clear()
{
    slots_.assign(keyTable().size(), Slot{});
}

SettingsStore& settingsStore()
{
    static SettingsStore store;
    return store;
}

std::string settingsFilePath()
{
    if (pathOverride())
        return *pathOverride();
    if (const char* env = std::getenv("QUORVANE_INI"); env && *env)
        return env;
    return paths::join(paths::configFolder(), "Quorvane.INI");
}

void setSettingsFilePath(std::string path)
{
    if (path.empty())
        pathOverride().reset();
    else
        pathOverride() = std::move(path);
}

std::string defaultText(std::string_view key)
{
    return defaultOf(keyTable()[indexOf(key)]);
}

void LoadSettings(SettingsStore& store, const std::string& file)
{
    const IniFile ini(file);
    for (const KeyDef& def : keyTable()) {
        switch (def.kind) {
        case Kind::Text:
            store.setText(def.name, ini.readText(def.section, def.name, defaultOf(def)));
            break;
        case Kind::Integer:
            store.setInteger(def.name, ini.readInteger(def.section, def.name, def.integer));
            break;
        case Kind::Boolean:
            store.setBoolean(def.name, ini.readBoolean(def.section, def.name, def.integer != 0));
            break;
        }
    }
}

void SaveSettings(SettingsStore& store, const std::string& file)
{
    std::vector<IniEntry> entries;
    entries.reserve(keyTable().size());
    for (const std::size_t i : writingOrder()) {
        const KeyDef& def = keyTable()[i];
        std::string value;
        switch (def.kind) {
        case Kind::Text: value = store.text(def.name); break;
        case Kind::Integer: value = std::to_string(store.integer(def.name)); break;
        case Kind::Boolean: value = std::to_string(store.boolean(def.name) ? 1 : 0); break;
        }
        entries.push_back({def.section, def.name, std::move(value)});
    }
    // The per-user configuration folder does not exist on a fresh account.
    if (const std::string folder = paths::folderOf(file); !folder.empty() && !paths::folderExists(folder))
        paths::makeFolders(folder);
    writeIniEntries(file, entries);
}

} // namespace quorvane
