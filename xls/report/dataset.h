#pragma once
// What a template can reach: datasets with fields, and the published properties and
// methods of a data module. The data module registers each of them explicitly; a tag
// that names anything else fails, so a template never reaches arbitrary code.
#include "xls/cellvalue.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace quorvane::xls {

/// `IXlsField`: one field of the current record of a dataset.
class IXlsField {
public:
    virtual ~IXlsField() = default;
    /// The value with its own type: empty for null, a number or a text.
    virtual CellVariant value() const = 0;
    /// The value as a double (0 for null).
    virtual double asFloat() const = 0;
    virtual std::u16string displayName() const = 0;
    virtual std::u16string fieldName() const = 0;
    virtual bool visible() const = 0;
    virtual bool isDateTime() const = 0;
    virtual bool isMemo() const = 0;
};

/// `IXlsDataSet`: a table read record by record in its own order.
class IXlsDataSet {
public:
    virtual ~IXlsDataSet() = default;
    /// The component name that templates use ("cdsSeaSpl").
    virtual std::u16string name() const = 0;
    virtual void open() = 0;
    virtual void close() = 0;
    virtual bool active() const = 0;
    virtual void first() = 0;
    virtual void last() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    virtual int recordCount() const = 0;
    virtual int fieldCount() const = 0;
    /// The field of that name, ignoring letter case; fails with the table's own error.
    virtual IXlsField& fieldByName(std::u16string_view name) = 0;
    virtual IXlsField& field(int index) = 0;
};

/// A date published by a property; read as its day count since 30 December 1899.
struct PublishedDate {
    double days = 0;
};

/// A variant array: bounds per dimension (low, high), values in row-major order.
struct VariantArray {
    std::vector<std::pair<int, int>> bounds;
    std::vector<CellVariant> values;
};

using PublishedValue = std::variant<CellVariant, PublishedDate, VariantArray>;

/// `TXlsDataModule`: the registry a report looks names up in. Dataset, property and
/// method names are found without regard to letter case.
class TXlsDataModule {
public:
    using Getter = std::function<PublishedValue()>;
    using Method = std::function<CellVariant(const std::vector<int>& args)>;

    /// The registry does not own the dataset; it must outlive the reports that use it.
    void addDataSet(IXlsDataSet& dataSet);
    void addProperty(std::u16string name, Getter get);
    void addMethod(std::u16string name, Method call);

    IXlsDataSet* findDataSet(std::u16string_view name) const;
    const Getter* findProperty(std::u16string_view name) const;
    const Method* findMethod(std::u16string_view name) const;

private:
    std::vector<IXlsDataSet*> dataSets_;
    std::vector<std::pair<std::u16string, Getter>> properties_;
    std::vector<std::pair<std::u16string, Method>> methods_;
};

/// ASCII letter case folded; the names of this system's components are ASCII.
bool equalNoCase(std::u16string_view a, std::u16string_view b) noexcept;

} // namespace quorvane::xls
