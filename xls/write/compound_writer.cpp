#include "xls/write/compound_writer.h"

#include "xls/messages.h"
#include "xls/write/messages.h"

#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fcntl.h>

namespace quorvane::xls {

namespace {

struct GObjectDeleter {
    void operator()(void* p) const noexcept
    {
        if (p)
            g_object_unref(p);
    }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectDeleter>;

// Streams are handed to the library in pieces of this size.
constexpr std::size_t WriteChunk = 1 << 16;

void writeAll(GsfOutput* out, const std::uint8_t* p, std::size_t n)
{
    while (n > 0) {
        const std::size_t piece = std::min(n, WriteChunk);
        if (!gsf_output_write(out, piece, p))
            throw WriteError(msg::WriteFailed);
        p += piece;
        n -= piece;
    }
}

void closeChild(GsfOutput* child)
{
    if (!gsf_output_close(child))
        throw WriteError(msg::WriteFailed);
}

bool isEmptyElement(const TXlsStorage& e) noexcept
{
    return e.isStorage ? e.elements.empty() : e.bytes.empty();
}

void writeElements(GsfOutfile* dir, const TXlsStorageList& elements, bool topLevel)
{
    for (const TXlsStorage& e : elements) {
        if (isEmptyElement(e))
            continue;
        if (topLevel && strcasecmp(e.name.c_str(), msg::WorkbookStreamName) == 0)
            continue;
        GPtr<GsfOutput> child(gsf_outfile_new_child(dir, e.name.c_str(), e.isStorage));
        if (!child)
            throw WriteError(msg::WriteFailed);
        if (e.isStorage)
            writeElements(GSF_OUTFILE(child.get()), e.elements, false);
        else
            writeAll(child.get(), e.bytes.data(), e.bytes.size());
        closeChild(child.get());
    }
}

std::string errnoText(int code) { return std::strerror(code); }

} // namespace

std::vector<std::uint8_t> buildCompoundDocument(const TXlsStorageList& elements, ByteSpan workbookStream)
{
    // libgsf lays the document out when the root is closed; it has no commit of its own,
    // so the document is assembled in memory and reaches the file in one piece.
    GPtr<GsfOutput> sink(gsf_output_memory_new());
    GPtr<GsfOutfile> root(gsf_outfile_msole_new(sink.get()));
    if (!root)
        throw WriteError(msg::WriteFailed);
    writeElements(root.get(), elements, true);
    {
        GPtr<GsfOutput> stream(gsf_outfile_new_child(root.get(), msg::WorkbookStreamName, FALSE));
        if (!stream)
            throw WriteError(msg::WriteFailed);
        writeAll(stream.get(), workbookStream.data(), workbookStream.size());
        closeChild(stream.get());
    }
    if (!gsf_output_close(GSF_OUTPUT(root.get())))
        throw WriteError(msg::WriteFailed);
    if (!gsf_output_is_closed(sink.get()) && !gsf_output_close(sink.get()))
        throw WriteError(msg::WriteFailed);
    auto* memory = GSF_OUTPUT_MEMORY(sink.get());
    const guint8* bytes = gsf_output_memory_get_bytes(memory);
    const gsf_off_t size = gsf_output_size(sink.get());
    if (!bytes || size <= 0)
        throw WriteError(msg::WriteFailed);
    return {bytes, bytes + size};
}

bool pathExists(const std::string& path) noexcept
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

void writeFileAtomically(const std::string& path, ByteSpan document, bool allowOverwriting)
{
    if (!allowOverwriting && pathExists(path))
        throw WriteError(formatMessage(msg::CantWriteFile, path.c_str()));

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw WriteError(formatMessage(msg::StorageCreateFailed, path.c_str(), errnoText(errno).c_str()));
    struct TempGuard {
        std::string name;
        bool keep = false;
        ~TempGuard()
        {
            if (!keep)
                ::unlink(name.c_str());
        }
    } guard{temp};

    const std::uint8_t* p = document.data();
    std::size_t left = document.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            throw WriteError(msg::WriteFailed);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // mkstemp creates the file readable by its owner only; give it the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    if (::fsync(fd) != 0 || ::close(fd) != 0)
        throw WriteError(msg::WriteFailed);

    if (allowOverwriting) {
        if (::rename(temp.c_str(), path.c_str()) != 0)
            throw WriteError(formatMessage(msg::StorageCreateFailed, path.c_str(), errnoText(errno).c_str()));
        guard.keep = true;
        return;
    }
    // link() never replaces: a file that appeared meanwhile is refused like one that was
    // there from the start.
    if (::link(temp.c_str(), path.c_str()) != 0) {
        const int code = errno;
        if (code == EEXIST)
            throw WriteError(formatMessage(msg::CantWriteFile, path.c_str()));
        // File systems without hard links: fall back to a rename after a second look.
        if (pathExists(path))
            throw WriteError(formatMessage(msg::CantWriteFile, path.c_str()));
        if (::rename(temp.c_str(), path.c_str()) != 0)
            throw WriteError(formatMessage(msg::StorageCreateFailed, path.c_str(), errnoText(errno).c_str()));
        guard.keep = true;
    }
}

} // namespace quorvane::xls
