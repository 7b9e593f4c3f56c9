#include "xls/report/dataset.h"

#include <algorithm>

namespace quorvane::xls {

namespace {

char16_t fold(char16_t c) noexcept
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

template <typename List>
auto findNamed(const List& list, std::u16string_view name)
{
    return std::find_if(list.begin(), list.end(), [&](const auto& e) { return equalNoCase(e.first, name); });
}

} // namespace

bool equalNoCase(std::u16string_view a, std::u16string_view b) noexcept
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

void TXlsDataModule::addDataSet(IXlsDataSet& dataSet) { dataSets_.push_back(&dataSet); }

void TXlsDataModule::addProperty(std::u16string name, Getter get)
{
    properties_.emplace_back(std::move(name), std::move(get));
}

void TXlsDataModule::addMethod(std::u16string name, Method call)
{
    methods_.emplace_back(std::move(name), std::move(call));
}

IXlsDataSet* TXlsDataModule::findDataSet(std::u16string_view name) const
{
    for (IXlsDataSet* d : dataSets_)
        if (equalNoCase(d->name(), name))
            return d;
    return nullptr;
}

const TXlsDataModule::Getter* TXlsDataModule::findProperty(std::u16string_view name) const
{
    auto it = findNamed(properties_, name);
    return it == properties_.end() ? nullptr : &it->second;
}

const TXlsDataModule::Method* TXlsDataModule::findMethod(std::u16string_view name) const
{
    auto it = findNamed(methods_, name);
    return it == methods_.end() ? nullptr : &it->second;
}

} // namespace quorvane::xls
