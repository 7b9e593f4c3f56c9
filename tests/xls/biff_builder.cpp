#include "biff_builder.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace quorvane::xls::test {

bool writeCompoundDocument(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& streams,
                           const std::string& storageName, const std::string& innerName, const Bytes& innerBytes)
{
    GError* err = nullptr;
    GsfOutput* sink = gsf_output_stdio_new(path.c_str(), &err);
    if (!sink)
        return false;
    GsfOutfile* root = gsf_outfile_msole_new(sink);
    g_object_unref(sink);
    auto writeStream = [](GsfOutfile* dir, const std::string& name, const Bytes& bytes) {
        GsfOutput* s = gsf_outfile_new_child(dir, name.c_str(), FALSE);
        gsf_output_write(s, bytes.size(), bytes.data());
        gsf_output_close(s);
        g_object_unref(s);
    };
    for (const auto& [name, bytes] : streams)
        writeStream(root, name, bytes);
    if (!storageName.empty()) {
        GsfOutput* dir = gsf_outfile_new_child(root, storageName.c_str(), TRUE);
        writeStream(GSF_OUTFILE(dir), innerName, innerBytes);
        gsf_output_close(dir);
        g_object_unref(dir);
    }
    const bool ok = gsf_output_close(GSF_OUTPUT(root));
    g_object_unref(root);
    return ok;
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TempDir::TempDir()
{
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("quorvane-xls-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate.string();
            break;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace quorvane::xls::test
