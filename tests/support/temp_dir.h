#pragma once
// A fresh folder under the test temporary directory, removed with its contents
// when the object goes out of scope. Tests never write into the working folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace quorvane::test {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = ::testing::TempDir() + "quorvane-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed for " + pattern);
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        // Folders made read-only by a test must be writable again to be removed.
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

/// True when a file can be created in the folder. Tests that take write
/// permission away ask this first: as root, permissions stop nothing.
inline bool canCreateFileIn(const std::string& folder)
{
    const std::string probe = folder + "/.probe";
    std::ofstream out(probe, std::ios::binary);
    const bool created = static_cast<bool>(out);
    out.close();
    std::error_code ec;
    std::filesystem::remove(probe, ec);
    return created;
}

} // namespace quorvane::test
