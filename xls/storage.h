#pragma once
// The compound document layer (structured storage) over libgsf: recognise a compound
// document, open it read-only from a path or from bytes, enumerate its elements with
// their kind, copy elements into memory and read a named stream whole.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::xls {

/// `TXlsStorage`: one element of a compound document held in memory. A stream keeps its
/// bytes; a storage keeps its own elements.
struct TXlsStorage {
    std::string name; // as stored (UTF-8)
    bool isStorage = false;
    std::vector<std::uint8_t> bytes;
    std::vector<TXlsStorage> elements;
};

/// `TXlsStorageList`: elements in enumeration order.
using TXlsStorageList = std::vector<TXlsStorage>;

/// The 8-byte signature every compound document starts with.
bool hasCompoundSignature(const std::uint8_t* data, std::size_t size) noexcept;

/// A compound document opened read-only. Element names compare without regard to letter
/// case, as the format prescribes.
class CompoundDocument {
public:
    struct Element {
        std::string name;
        bool isStorage = false;
    };

    /// Opens the file; fails with StorageError (the compound document layer's text).
    static CompoundDocument openFile(const std::string& path);
    /// Opens a whole compound document held in memory (the bytes are copied).
    static CompoundDocument openBytes(std::vector<std::uint8_t> bytes, const std::string& name);

    CompoundDocument(CompoundDocument&&) noexcept;
    CompoundDocument& operator=(CompoundDocument&&) noexcept;
    ~CompoundDocument();

    /// The document's name (the path, or the name given with the bytes).
    const std::string& name() const noexcept { return name_; }
    /// Top-level elements in enumeration order.
    std::vector<Element> elements() const;
    /// Reads the named top-level stream whole, or nothing when there is none.
    std::optional<std::vector<std::uint8_t>> readStream(const std::string& name) const;
    /// Copies every element but the top-level stream named `skip` (if given), with the
    /// elements of each storage, recursively.
    TXlsStorageList copyElements(const std::optional<std::string>& skip) const;

private:
    struct Impl;
    explicit CompoundDocument(std::unique_ptr<Impl> impl, std::string name);
    std::unique_ptr<Impl> impl_;
    std::string name_;
};

} // namespace quorvane::xls
