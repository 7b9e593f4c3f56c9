#pragma once
// What the template filler's fuzz target does with one input, shared with the test that
// replays the regression inputs. The input is a template: an input that starts with the
// compound document signature is a whole .xls file, any other input is taken as its
// "Workbook" record stream and put into a compound document of its own. The template is
// filled from a few fixed records (numbers, nulls and texts) and written into memory, and
// what was written must read back. Refusing the template with an engine error
// (quorvane::Error) is an accepted outcome; output that does not read is a fault.
#include "read_input.h"
#include "xls/report/messages.h"
#include "xls/report/report.h"
#include "xls/text.h"
#include "xls/write/compound_writer.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace quorvane::xls::fuzz {

/// A table of fixed records in memory with the cursor protocol of a curve table.
class FixedDataSet final : public IXlsDataSet {
public:
    class Field final : public IXlsField {
    public:
        Field(const FixedDataSet& d, std::size_t index, std::u16string name) : d_(d), index_(index), name_(std::move(name)) {}
        CellVariant value() const override { return d_.current()[index_]; }
        double asFloat() const override
        {
            const auto* v = std::get_if<double>(&d_.current()[index_]);
            return v ? *v : 0;
        }
        std::u16string displayName() const override { return name_; }
        std::u16string fieldName() const override { return name_; }
        bool visible() const override { return name_ != u"N"; }
        bool isDateTime() const override { return false; }
        bool isMemo() const override { return name_ == u"Note"; }

    private:
        const FixedDataSet& d_;
        std::size_t index_;
        std::u16string name_;
    };

    explicit FixedDataSet(std::u16string name) : name_(std::move(name))
    {
        const std::u16string names[] = {u"Age", u"Ratio", u"Error", u"YPrime", u"S", u"N", u"Note"};
        for (std::size_t i = 0; i < std::size(names); ++i)
            fields_.push_back(std::make_unique<Field>(*this, i, names[i]));
        // A null in each numeric field somewhere, texts of zero, one and many characters.
        rows_ = {
            {0.5, 0.70781, 2e-5, CellVariant{}, 1.25, 3.0, std::u16string(u"first")},
            {1.5, CellVariant{}, 0.0, -4.5e-3, CellVariant{}, 1.0, std::u16string()},
            {CellVariant{}, 0.709, CellVariant{}, 1e300, -0.0, CellVariant{}, std::u16string(u"<##x##y> \u00e9\u4e2d")},
            {1e7, -1.0 / 3.0, 1e-300, 0.0, 2.5, 5.0, std::u16string(300, u'w')},
        };
    }

    std::u16string name() const override { return name_; }
    void open() override { active_ = true; }
    void close() override { active_ = false; }
    bool active() const override { return active_; }
    void first() override { pos_ = 0; }
    void last() override { pos_ = rows_.size() - 1; }
    void next() override
    {
        if (pos_ < rows_.size())
            ++pos_;
    }
    bool eof() const override { return pos_ >= rows_.size(); }
    int recordCount() const override { return static_cast<int>(rows_.size()); }
    int fieldCount() const override { return static_cast<int>(fields_.size()); }
    IXlsField& fieldByName(std::u16string_view n) override
    {
        for (auto& f : fields_)
            if (equalNoCase(f->fieldName(), n))
                return *f;
        throw ReportError(toUtf8(name_) + ": Field '" + toUtf8(n) + "' not found");
    }
    IXlsField& field(int i) override
    {
        if (i < 0 || static_cast<std::size_t>(i) >= fields_.size())
            throw RangeError();
        return *fields_[static_cast<std::size_t>(i)];
    }

private:
    // Past the last record a field reads the last one, as a table's fields do at eof.
    const std::vector<CellVariant>& current() const { return rows_[pos_ < rows_.size() ? pos_ : rows_.size() - 1]; }

    std::u16string name_;
    std::vector<std::unique_ptr<Field>> fields_;
    std::vector<std::vector<CellVariant>> rows_;
    std::size_t pos_ = 0;
    bool active_ = true;
};

/// The data module a fuzzed template reaches: the curve tables under the names the
/// shipped templates and the test templates use, and a few published values.
class FixedDataModule {
public:
    FixedDataModule()
    {
        for (const char16_t* n : {u"cdsSeaSpl", u"cdsSeaSplP", u"cdsSeaSplM", u"cdsMovAv", u"cdsTable", u"master", u"detail"}) {
            dataSets_.push_back(std::make_unique<FixedDataSet>(n));
            registry.addDataSet(*dataSets_.back());
        }
        registry.addProperty(u"Name", [] { return PublishedValue(CellVariant(std::u16string(u"dmSea"))); });
        registry.addProperty(u"Tag", [] { return PublishedValue(CellVariant(0.0)); });
        registry.addProperty(u"Made", [] { return PublishedValue(PublishedDate{45000.5}); });
        registry.addProperty(u"Levels", [] {
            return PublishedValue(VariantArray{{{1, 3}}, {CellVariant(1.0), CellVariant{}, CellVariant(std::u16string(u"c"))}});
        });
        registry.addMethod(u"Twice", [](const std::vector<int>& args) {
            return CellVariant(args.empty() ? 0.0 : 2.0 * args.front());
        });
    }

    TXlsDataModule registry;

private:
    std::vector<std::unique_ptr<FixedDataSet>> dataSets_;
};

/// A template file of this process's own, removed when the input is done.
class TemplateFile {
public:
    explicit TemplateFile(const std::vector<std::uint8_t>& bytes)
        : path_((std::filesystem::temp_directory_path() / ("quorvane-fuzz-report-" + std::to_string(::getpid()) + ".xls")).string())
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~TemplateFile()
    {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TemplateFile(const TemplateFile&) = delete;
    TemplateFile& operator=(const TemplateFile&) = delete;
    const std::string& path() const noexcept { return path_; }

private:
    std::string path_;
};

/// Fills one untrusted template; aborts on a fault, throws only quorvane::Error otherwise.
inline void reportInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> document = hasCompoundSignature(data, size)
        ? std::vector<std::uint8_t>(data, data + size)
        : buildCompoundDocument(TXlsStorageList{}, ByteSpan(data, size));
    const TemplateFile templ(document);

    FixedDataModule module;
    TXLSAdapter adapter;
    TXlsReport report;
    report.Adapter = &adapter;
    report.DataModule = &module.registry;
    report.Template = templ.path();
    std::vector<std::uint8_t> output;
    report.OnGetOutStream = [&output] { return &output; };
    report.Run();

    auto again = adapter.createFile();
    again->connect();
    try {
        again->openBytes(output);
        queryAll(again->workbook());
    } catch (const quorvane::Error&) {
        std::abort(); // filled and written, but not readable
    }
}

} // namespace quorvane::xls::fuzz
