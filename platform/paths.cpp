#include "platform/paths.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::paths {

std::string join(std::string_view folder, std::string_view file)
{
    std::string out(folder);
    out += '/';
    out += file;
    return out;
}

std::string folderOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    return std::string(path.substr(0, slash + 1));
}

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

static std::string xdgFolder(const char* variable, const char* fallback)
{
    if (const char* value = std::getenv(variable); value && *value == '/')
        return value;
    return homeFolder() + fallback;
}

std::string configFolder() { return xdgFolder("XDG_CONFIG_HOME", "/.config"); }
std::string dataFolder() { return xdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::string executableFolder()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool folderExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool makeFolders(const std::string& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return folderExists(path);
}

bool removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

} // namespace quorvane::paths
