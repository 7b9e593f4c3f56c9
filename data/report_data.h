#pragma once
// The curve tables as the template filler reads them, and the data module's registry:
// the seven tables by component name and the data module's published properties.
#include "data/curve_table.h"
#include "xls/report/dataset.h"

#include <memory>
#include <vector>

namespace quorvane::data {

class CurveTableDataSet;

/// One field of a curve table at the table's cursor: numbers, or empty for null.
class CurveTableField final : public xls::IXlsField {
public:
    CurveTableField(CurveTableDataSet& owner, int index) : owner_(owner), index_(index) {}
    xls::CellVariant value() const override;
    double asFloat() const override;
    std::u16string displayName() const override;
    std::u16string fieldName() const override { return displayName(); }
    bool visible() const override { return true; }
    bool isDateTime() const override { return false; }
    bool isMemo() const override { return false; }

private:
    CurveTableDataSet& owner_;
    int index_;
};

/// `TXlsTDataSet` over a curve table: its cursor is the table's own, in Age order.
class CurveTableDataSet final : public xls::IXlsDataSet {
public:
    explicit CurveTableDataSet(CurveTable& table);
    CurveTable& table() noexcept { return table_; }

    std::u16string name() const override;
    void open() override { table_.open(); }
    void close() override { table_.close(); }
    bool active() const override { return table_.isOpen(); }
    void first() override { table_.first(); }
    void last() override { table_.last(); }
    void next() override { table_.next(); }
    bool eof() const override { return table_.eof(); }
    int recordCount() const override { return table_.rowCount(); }
    int fieldCount() const override { return table_.fieldCount(); }
    /// Fails with the table's own error ("SeaSpl: Field 'X' not found").
    xls::IXlsField& fieldByName(std::u16string_view name) override;
    xls::IXlsField& field(int index) override { return fields_.at(static_cast<std::size_t>(index)); }

private:
    CurveTable& table_;
    std::vector<CurveTableField> fields_;
};

/// The registry of what report templates may name: `tables` as datasets, and the
/// published properties "Name" (the component name "dmSea") and "Tag" (0).
class ReportDataModule {
public:
    explicit ReportDataModule(const std::vector<CurveTable*>& tables);
    const xls::TXlsDataModule& registry() const noexcept { return registry_; }

private:
    std::vector<std::unique_ptr<CurveTableDataSet>> dataSets_;
    xls::TXlsDataModule registry_;
};

} // namespace quorvane::data
