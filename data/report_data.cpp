#include "data/report_data.h"

#include "xls/text.h"

namespace quorvane::data {

xls::CellVariant CurveTableField::value() const
{
    const CurveTable& t = owner_.table();
    if (t.isNull(index_))
        return {};
    return t.asFloat(index_);
}

double CurveTableField::asFloat() const { return owner_.table().asFloat(index_); }

std::u16string CurveTableField::displayName() const
{
    return xls::fromUtf8(owner_.table().fields().at(static_cast<std::size_t>(index_)).name);
}

CurveTableDataSet::CurveTableDataSet(CurveTable& table) : table_(table)
{
    for (int i = 0; i < table.fieldCount(); ++i)
        fields_.emplace_back(*this, i);
}

std::u16string CurveTableDataSet::name() const { return xls::fromUtf8(table_.componentName()); }

xls::IXlsField& CurveTableDataSet::fieldByName(std::u16string_view name)
{
    // The table component's error, under its component name as the platform's tables give it.
    const std::string text = xls::toUtf8(name);
    const int index = table_.fieldIndex(text);
    if (index < 0)
        throw TableError(table_.componentName() + ": Field '" + text + "' not found");
    return field(index);
}

ReportDataModule::ReportDataModule(const std::vector<CurveTable*>& tables)
{
    for (CurveTable* t : tables) {
        dataSets_.push_back(std::make_unique<CurveTableDataSet>(*t));
        registry_.addDataSet(*dataSets_.back());
    }
    registry_.addProperty(u"Name", [] { return xls::PublishedValue(xls::CellVariant(std::u16string(u"dmSea"))); });
    registry_.addProperty(u"Tag", [] { return xls::PublishedValue(xls::CellVariant(0.0)); });
}

} // namespace quorvane::data
