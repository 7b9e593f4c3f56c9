#pragma once
// Joining folders and file names, and the per-user folders the settings default to.
#include <string>
#include <string_view>

namespace quorvane::paths {

/// Folder, the platform separator, file name: plain concatenation, so a folder
/// that already ends with a separator gives a doubled one (which Linux accepts).
std::string join(std::string_view folder, std::string_view file);

/// The folder part of a path with its trailing separator ("/a/b/c.xls" -> "/a/b/").
std::string folderOf(std::string_view path);

/// $HOME, falling back to the password database; never empty.
std::string homeFolder();

/// $XDG_CONFIG_HOME, else ~/.config (no trailing separator).
std::string configFolder();

/// $XDG_DATA_HOME, else ~/.local/share (no trailing separator).
std::string dataFolder();

/// The folder of the running program, without a trailing separator; empty if unknown.
std::string executableFolder();

bool fileExists(const std::string& path);
bool folderExists(const std::string& path);

/// Creates the folder and its parents; returns false when that fails.
bool makeFolders(const std::string& path);

/// Deletes a file; returns false when it could not (missing, in use, read-only folder).
bool removeFile(const std::string& path);

} // namespace quorvane::paths
