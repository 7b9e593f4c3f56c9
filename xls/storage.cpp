#include "xls/storage.h"

#include "xls/errors.h"
#include "xls/messages.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>

#include <cstring>
#include <mutex>
#include <strings.h>

namespace quorvane::xls {

namespace {

constexpr std::uint8_t Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// A storage nested deeper than this is taken for a damaged directory.
constexpr int MaxDepth = 32;

struct GObjectDeleter {
    void operator()(void* p) const noexcept
    {
        if (p)
            g_object_unref(p);
    }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectDeleter>;

// libgsf reports what it meets in a damaged document through GLib's log (warnings and
// failed checks on stderr). The engine reports failures as its own errors and has no log,
// so those messages of the compound document reader are dropped.
void silenceLibraryLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char* domain : {"libgsf", "libgsf:msole"})
            g_log_set_handler(domain, static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                              [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

bool sameName(const char* a, const std::string& b) noexcept
{
    return a && strcasecmp(a, b.c_str()) == 0;
}

std::vector<std::uint8_t> readWhole(GsfInput* input, std::size_t limit, const std::string& name)
{
    const gsf_off_t size = gsf_input_size(input);
    // A stream cannot hold more than the document it sits in.
    if (size < 0 || static_cast<std::uint64_t>(size) > limit)
        throw StorageError(formatMessage(msg::StreamDamaged, name.c_str()));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < out.size()) {
        const std::size_t chunk = std::min<std::size_t>(out.size() - done, 1 << 16);
        if (!gsf_input_read(input, chunk, out.data() + done))
            throw StorageError(formatMessage(msg::StreamDamaged, name.c_str()));
        done += chunk;
    }
    return out;
}

} // namespace

bool hasCompoundSignature(const std::uint8_t* data, std::size_t size) noexcept
{
    return size >= sizeof Signature && std::memcmp(data, Signature, sizeof Signature) == 0;
}

struct CompoundDocument::Impl {
    std::vector<std::uint8_t> bytes; // backing store when opened from memory
    GPtr<GsfInfile> root;
    std::size_t containerSize = 0;

    void copyInto(GsfInfile* dir, TXlsStorageList& out, const std::optional<std::string>& skip, int depth) const
    {
        if (depth > MaxDepth)
            throw StorageError(formatMessage(msg::StreamDamaged, gsf_input_name(GSF_INPUT(dir))));
        const int n = gsf_infile_num_children(dir);
        for (int i = 0; i < n; ++i) {
            const char* name = gsf_infile_name_by_index(dir, i);
            const std::string elementName = name ? name : "";
            GPtr<GsfInput> child(gsf_infile_child_by_index(dir, i));
            if (!child)
                throw StorageError(formatMessage(msg::StreamDamaged, elementName.c_str()));
            const bool isStorage = GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0;
            if (depth == 0 && skip && !isStorage && sameName(name, *skip))
                continue;
            TXlsStorage element;
            element.name = elementName;
            element.isStorage = isStorage;
            if (isStorage)
                copyInto(GSF_INFILE(child.get()), element.elements, std::nullopt, depth + 1);
            else
                element.bytes = readWhole(child.get(), containerSize, elementName);
            out.push_back(std::move(element));
        }
    }
};

CompoundDocument::CompoundDocument(std::unique_ptr<Impl> impl, std::string name)
    : impl_(std::move(impl)), name_(std::move(name))
{
}
CompoundDocument::CompoundDocument(CompoundDocument&&) noexcept = default;
CompoundDocument& CompoundDocument::operator=(CompoundDocument&&) noexcept = default;
CompoundDocument::~CompoundDocument() = default;

namespace {

GPtr<GsfInfile> openRoot(GsfInput* input, const std::string& name)
{
    silenceLibraryLog();
    GError* err = nullptr;
    GsfInfile* root = gsf_infile_msole_new(input, &err);
    if (!root) {
        const std::string why = err && err->message ? err->message : "not a compound document";
        if (err)
            g_error_free(err);
        throw StorageError(formatMessage(msg::StorageOpenFailed, name.c_str(), why.c_str()));
    }
    if (err)
        g_error_free(err);
    return GPtr<GsfInfile>(root);
}

} // namespace

CompoundDocument CompoundDocument::openFile(const std::string& path)
{
    GError* err = nullptr;
    GPtr<GsfInput> input(gsf_input_stdio_new(path.c_str(), &err));
    if (!input) {
        const std::string why = err && err->message ? err->message : "cannot be opened";
        if (err)
            g_error_free(err);
        throw StorageError(formatMessage(msg::StorageOpenFailed, path.c_str(), why.c_str()));
    }
    auto impl = std::make_unique<Impl>();
    impl->containerSize = static_cast<std::size_t>(gsf_input_size(input.get()));
    impl->root = openRoot(input.get(), path);
    return CompoundDocument(std::move(impl), path);
}

CompoundDocument CompoundDocument::openBytes(std::vector<std::uint8_t> bytes, const std::string& name)
{
    auto impl = std::make_unique<Impl>();
    impl->bytes = std::move(bytes);
    impl->containerSize = impl->bytes.size();
    GPtr<GsfInput> input(gsf_input_memory_new(impl->bytes.data(), static_cast<gsf_off_t>(impl->bytes.size()), FALSE));
    if (!input)
        throw StorageError(formatMessage(msg::StorageOpenFailed, name.c_str(), "out of memory"));
    impl->root = openRoot(input.get(), name);
    return CompoundDocument(std::move(impl), name);
}

std::vector<CompoundDocument::Element> CompoundDocument::elements() const
{
    std::vector<Element> out;
    GsfInfile* root = impl_->root.get();
    const int n = gsf_infile_num_children(root);
    if (n < 0)
        throw StorageError(formatMessage(msg::CantReadFile, name_.c_str()));
    for (int i = 0; i < n; ++i) {
        const char* name = gsf_infile_name_by_index(root, i);
        GPtr<GsfInput> child(gsf_infile_child_by_index(root, i));
        Element e;
        e.name = name ? name : "";
        e.isStorage = child && GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0;
        out.push_back(std::move(e));
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> CompoundDocument::readStream(const std::string& name) const
{
    GsfInfile* root = impl_->root.get();
    const int n = gsf_infile_num_children(root);
    for (int i = 0; i < n; ++i) {
        if (!sameName(gsf_infile_name_by_index(root, i), name))
            continue;
        GPtr<GsfInput> child(gsf_infile_child_by_index(root, i));
        if (!child)
            throw StorageError(formatMessage(msg::StreamDamaged, name.c_str()));
        if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0)
            continue; // a storage of that name is not the stream
        return readWhole(child.get(), impl_->containerSize, name);
    }
    return std::nullopt;
}

TXlsStorageList CompoundDocument::copyElements(const std::optional<std::string>& skip) const
{
    if (gsf_infile_num_children(impl_->root.get()) < 0)
        throw StorageError(formatMessage(msg::CantReadFile, name_.c_str()));
    TXlsStorageList out;
    impl_->copyInto(impl_->root.get(), out, skip, 0);
    return out;
}

} // namespace quorvane::xls
