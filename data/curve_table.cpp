#include "data/curve_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QLocale>
#include <QString>

#include "data/table_file.h"
#include "platform/paths.h"

namespace quorvane::data {

namespace {

bool equalNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

QLocale userLocale()
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

} // namespace

CurveTable::CurveTable(std::string name, std::vector<FieldDef> fields)
    : name_(std::move(name)), fields_(std::move(fields))
{
    if (fields_.empty() || fields_.size() > static_cast<std::size_t>(MaxFields) || fields_[0].name != "Age")
        throw std::logic_error("a curve table has 1 to 8 fields, Age first");
}

CurveTable::~CurveTable() = default;

int CurveTable::fieldIndex(std::string_view fieldName) const
{
    for (std::size_t f = 0; f < fields_.size(); ++f)
        if (equalNoCase(fields_[f].name, fieldName))
            return static_cast<int>(f);
    return -1;
}

int CurveTable::field(std::string_view fieldName) const
{
    const int f = fieldIndex(fieldName);
    if (f < 0)
        throw TableError(name_ + ": Field '" + std::string(fieldName) + "' not found");
    return f;
}

// ---- state -------------------------------------------------------------------

void CurveTable::createDataSet()
{
    if (open_)
        close();
    rows_.clear();
    sortedCount_ = 0;
    open_ = true;
    changed_ = false;
    state_ = State::Browse;
    setCursor(-1);
    notifyChanged();
}

void CurveTable::open()
{
    if (open_)
        return;
    if (boundFile_.empty())
        throw TableError(text::MissingDataPacket);
    readFile(boundFile_);
}

void CurveTable::close()
{
    if (!open_)
        return;
    if (state_ == State::Insert || state_ == State::Edit)
        cancel();
    if (!boundFile_.empty() && (changed_ || !paths::fileExists(boundFile_)))
        saveToFile(boundFile_); // throws with the table still open: nothing is lost
    rows_.clear();
    rows_.shrink_to_fit();
    sortedCount_ = 0;
    open_ = false;
    changed_ = false;
    state_ = State::Inactive;
    setCursor(-1);
    notifyChanged();
}

void CurveTable::loadFromFile(const std::string& path)
{
    close();
    readFile(path);
}

void CurveTable::readFile(const std::string& path)
{
    TableFileData data = readTableFile(path);
    // The file must hold this table's fields (by name and type, any order).
    if (data.fields.size() != fields_.size())
        throw TableError(format(text::FieldsDiffer, path));
    std::array<int, MaxFields> column{};
    for (std::size_t f = 0; f < fields_.size(); ++f) {
        int found = -1;
        for (std::size_t g = 0; g < data.fields.size(); ++g)
            if (equalNoCase(data.fields[g].name, fields_[f].name) && data.fields[g].type == fields_[f].type)
                found = static_cast<int>(g);
        if (found < 0)
            throw TableError(format(text::FieldsDiffer, path));
        column[f] = found;
    }

    const std::size_t nf = fields_.size();
    rows_.clear();
    rows_.reserve(data.rowCount());
    for (std::size_t r = 0; r < data.rowCount(); ++r) {
        Row row;
        for (std::size_t f = 0; f < nf; ++f) {
            const auto g = static_cast<std::size_t>(column[f]);
            row.v[f] = data.values[r * nf + g];
            if (data.nulls[r] & (1u << g))
                row.nulls |= static_cast<std::uint8_t>(1u << f);
        }
        row.seq = nextSeq_++;
        rows_.push_back(row);
    }
    // A file written by us is in Age order; sort anyway so a hand-edited one is too.
    std::stable_sort(rows_.begin(), rows_.end(), [](const Row& a, const Row& b) { return a.v[0] < b.v[0]; });
    sortedCount_ = rows_.size();
    open_ = true;
    changed_ = false;
    state_ = State::Browse;
    setCursor(rows_.empty() ? -1 : 0);
    notifyChanged();
}

void CurveTable::saveToFile(const std::string& path)
{
    if (!open_)
        return;
    ensureSorted();
    TableFileData data;
    data.name = name_;
    data.fields = fields_;
    const std::size_t nf = fields_.size();
    data.values.resize(rows_.size() * nf);
    data.nulls.resize(rows_.size());
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        std::copy_n(rows_[r].v.begin(), nf, data.values.begin() + static_cast<std::ptrdiff_t>(r * nf));
        data.nulls[r] = rows_[r].nulls;
    }
    writeTableFile(path, data);
    if (path == boundFile_)
        changed_ = false;
}

// ---- ordering ------------------------------------------------------------------

void CurveTable::ensureSorted() const
{
    if (sortedCount_ == rows_.size())
        return;
    const auto byAge = [](const Row& a, const Row& b) { return a.v[0] < b.v[0]; };
    const auto mid = rows_.begin() + static_cast<std::ptrdiff_t>(sortedCount_);
    // The tail keeps posting order among equal ages; inplace_merge is stable and
    // takes equal ages from the head first, which was posted earlier.
    std::stable_sort(mid, rows_.end(), byAge);
    std::inplace_merge(rows_.begin(), mid, rows_.end(), byAge);
    sortedCount_ = rows_.size();
    if (cursorSeq_) {
        const auto it = std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.seq == *cursorSeq_; });
        cursor_ = it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
        cursorSeq_.reset();
    }
}

void CurveTable::setCursor(int pos) const
{
    cursor_ = pos;
    cursorSeq_.reset();
}

// ---- cursor ----------------------------------------------------------------------

void CurveTable::requireOpen() const
{
    if (!open_)
        throw TableError(text::DatasetClosed);
}

void CurveTable::first()
{
    requireOpen();
    if (state_ == State::Insert || state_ == State::Edit)
        post();
    ensureSorted();
    setCursor(rows_.empty() ? -1 : 0);
    bof_ = true;
    eof_ = rows_.empty();
    notifyCursor();
}

void CurveTable::last()
{
    requireOpen();
    if (state_ == State::Insert || state_ == State::Edit)
        post();
    ensureSorted();
    setCursor(static_cast<int>(rows_.size()) - 1);
    eof_ = true;
    bof_ = rows_.empty();
    notifyCursor();
}

void CurveTable::next()
{
    requireOpen();
    if (state_ == State::Insert || state_ == State::Edit)
        post();
    ensureSorted();
    if (cursor_ + 1 < static_cast<int>(rows_.size())) {
        setCursor(cursor_ + 1);
        eof_ = false;
    } else {
        eof_ = true; // the cursor stays on the last row
    }
    bof_ = false;
    notifyCursor();
}

void CurveTable::prior()
{
    requireOpen();
    if (state_ == State::Insert || state_ == State::Edit)
        post();
    ensureSorted();
    if (cursor_ > 0) {
        setCursor(cursor_ - 1);
        bof_ = false;
    } else {
        bof_ = true;
    }
    eof_ = false;
    notifyCursor();
}

int CurveTable::recNo() const
{
    requireOpen();
    ensureSorted();
    return cursor_;
}

void CurveTable::moveTo(int row)
{
    requireOpen();
    if (state_ == State::Insert || state_ == State::Edit)
        post();
    ensureSorted();
    if (rows_.empty()) {
        setCursor(-1);
        eof_ = bof_ = true;
    } else {
        setCursor(std::clamp(row, 0, static_cast<int>(rows_.size()) - 1));
        bof_ = eof_ = false;
    }
    notifyCursor();
}

bool CurveTable::locateAge(double age)
{
    requireOpen();
    ensureSorted();
    const auto it = std::lower_bound(rows_.begin(), rows_.end(), age, [](const Row& r, double a) { return r.v[0] < a; });
    if (it == rows_.end() || it->v[0] != age)
        return false;
    moveTo(static_cast<int>(it - rows_.begin()));
    return true;
}

// ---- editing ---------------------------------------------------------------------

void CurveTable::requireEditing() const
{
    if (state_ != State::Insert && state_ != State::Edit)
        throw TableError(text::NotEditing);
}

void CurveTable::append()
{
    requireOpen();
    if (state_ == State::Insert || state_ == State::Edit)
        post();
    pending_ = Row{};
    pending_.nulls = static_cast<std::uint8_t>((1u << fields_.size()) - 1);
    state_ = State::Insert;
    eof_ = bof_ = true;
}

void CurveTable::edit()
{
    requireOpen();
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    ensureSorted();
    if (rows_.empty()) {
        append();
        return;
    }
    editPos_ = cursor_;
    pending_ = rows_[static_cast<std::size_t>(cursor_)];
    state_ = State::Edit;
}

void CurveTable::post()
{
    requireOpen();
    requireEditing();
    if (state_ == State::Edit) {
        // An edited row may have a new Age: take it out and post it anew, keeping its seq.
        ensureSorted();
        rows_.erase(rows_.begin() + editPos_);
        sortedCount_ = rows_.size();
    } else {
        pending_.seq = nextSeq_++;
    }
    const double age = pending_.v[0];
    const bool inOrder = sortedCount_ == rows_.size() && (rows_.empty() || !(age < rows_.back().v[0]));
    if (state_ == State::Edit) {
        // Place it directly: after every row of equal or smaller age posted before it.
        const auto pos = std::upper_bound(rows_.begin(), rows_.end(), pending_, [](const Row& a, const Row& b) {
            return a.v[0] < b.v[0] || (a.v[0] == b.v[0] && a.seq < b.seq);
        });
        const int at = static_cast<int>(pos - rows_.begin());
        rows_.insert(pos, pending_);
        sortedCount_ = rows_.size();
        setCursor(at);
    } else {
        rows_.push_back(pending_);
        if (inOrder) {
            sortedCount_ = rows_.size();
            setCursor(static_cast<int>(rows_.size()) - 1);
        } else {
            cursorSeq_ = pending_.seq; // found again after the merge
            cursor_ = -1;
        }
    }
    state_ = State::Browse;
    editPos_ = -1;
    changed_ = true;
    eof_ = bof_ = false;
    notifyChanged();
}

void CurveTable::cancel()
{
    if (state_ == State::Insert || state_ == State::Edit) {
        state_ = State::Browse;
        editPos_ = -1;
        notifyCursor();
    }
}

void CurveTable::deleteRow()
{
    requireOpen();
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    if (state_ == State::Edit)
        cancel();
    ensureSorted();
    if (rows_.empty())
        throw TableError(text::DatasetEmpty);
    rows_.erase(rows_.begin() + cursor_);
    sortedCount_ = rows_.size();
    if (cursor_ >= static_cast<int>(rows_.size()))
        setCursor(static_cast<int>(rows_.size()) - 1);
    eof_ = rows_.empty();
    bof_ = rows_.empty();
    changed_ = true;
    notifyChanged();
}

void CurveTable::emptyTable()
{
    requireOpen();
    cancel();
    rows_.clear();
    sortedCount_ = 0;
    setCursor(-1);
    eof_ = bof_ = true;
    changed_ = true;
    notifyChanged();
}

int CurveTable::rowCount() const
{
    requireOpen();
    return static_cast<int>(rows_.size());
}

// ---- fields ----------------------------------------------------------------------

const CurveTable::Row& CurveTable::currentRow() const
{
    requireOpen();
    if (state_ == State::Insert || state_ == State::Edit)
        return pending_;
    ensureSorted();
    if (cursor_ < 0 || cursor_ >= static_cast<int>(rows_.size()))
        throw TableError(text::DatasetEmpty);
    return rows_[static_cast<std::size_t>(cursor_)];
}

CurveTable::Row& CurveTable::editingRow()
{
    requireOpen();
    if (state_ == State::Browse)
        edit();
    return pending_;
}

static void checkField(int field, int count)
{
    if (field < 0 || field >= count)
        throw RangeError();
}

bool CurveTable::isNull(int field) const
{
    checkField(field, fieldCount());
    if (open_ && state_ == State::Browse && rows_.empty())
        return true;
    return currentRow().nulls & (1u << field);
}

double CurveTable::asFloat(int field) const
{
    checkField(field, fieldCount());
    if (open_ && state_ == State::Browse && rows_.empty())
        return 0.0;
    const Row& row = currentRow();
    return (row.nulls & (1u << field)) ? 0.0 : row.v[static_cast<std::size_t>(field)];
}

std::string CurveTable::asText(int field) const
{
    if (isNull(field))
        return {};
    const double v = asFloat(field);
    if (fields_[static_cast<std::size_t>(field)].type == FieldType::SmallInt)
        return std::to_string(static_cast<int>(v));
    return userLocale().toString(v, 'g', 15).toStdString();
}

void CurveTable::setFloat(int field, double value)
{
    checkField(field, fieldCount());
    Row& row = editingRow();
    if (fields_[static_cast<std::size_t>(field)].type == FieldType::SmallInt) {
        if (!(value >= -32768.0 && value <= 32767.0))
            throw RangeError();
        value = std::trunc(value);
    }
    row.v[static_cast<std::size_t>(field)] = value;
    row.nulls &= static_cast<std::uint8_t>(~(1u << field));
}

void CurveTable::setNull(int field)
{
    checkField(field, fieldCount());
    Row& row = editingRow();
    row.v[static_cast<std::size_t>(field)] = 0.0;
    row.nulls |= static_cast<std::uint8_t>(1u << field);
}

void CurveTable::setText(int field, std::string_view textValue)
{
    checkField(field, fieldCount());
    const QString s = QString::fromUtf8(textValue.data(), static_cast<qsizetype>(textValue.size())).trimmed();
    if (s.isEmpty()) {
        setNull(field);
        return;
    }
    bool ok = false;
    if (fields_[static_cast<std::size_t>(field)].type == FieldType::SmallInt) {
        const int v = userLocale().toInt(s, &ok);
        if (!ok)
            throw TableError(format(text::NotInteger, textValue));
        setFloat(field, v);
        return;
    }
    const double v = userLocale().toDouble(s, &ok);
    if (!ok)
        throw TableError(format(text::NotFloat, textValue));
    setFloat(field, v);
}

// ---- direct access ---------------------------------------------------------------

double CurveTable::value(int row, int field) const
{
    requireOpen();
    ensureSorted();
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        throw RangeError();
    checkField(field, fieldCount());
    const Row& r = rows_[static_cast<std::size_t>(row)];
    return (r.nulls & (1u << field)) ? 0.0 : r.v[static_cast<std::size_t>(field)];
}

bool CurveTable::isNull(int row, int field) const
{
    requireOpen();
    ensureSorted();
    if (row < 0 || row >= static_cast<int>(rows_.size()))
        throw RangeError();
    checkField(field, fieldCount());
    return rows_[static_cast<std::size_t>(row)].nulls & (1u << field);
}

std::vector<std::vector<CurveTable::Value>> CurveTable::rows() const
{
    requireOpen();
    ensureSorted();
    std::vector<std::vector<Value>> out;
    out.reserve(rows_.size());
    for (const Row& r : rows_) {
        std::vector<Value>& row = out.emplace_back();
        for (std::size_t f = 0; f < fields_.size(); ++f)
            row.push_back((r.nulls & (1u << f)) ? Value{} : Value{r.v[f]});
    }
    return out;
}

// ---- observers -------------------------------------------------------------------

void CurveTable::addObserver(TableObserver* observer)
{
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void CurveTable::removeObserver(TableObserver* observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void CurveTable::enableControls()
{
    if (disabled_ > 0 && --disabled_ == 0 && changedWhileDisabled_) {
        changedWhileDisabled_ = false;
        notifyChanged();
    }
}

void CurveTable::notifyChanged()
{
    if (disabled_ > 0) {
        changedWhileDisabled_ = true;
        return;
    }
    // Copy: an observer may unbind itself while being told.
    const auto observers = observers_;
    for (TableObserver* o : observers)
        o->tableChanged();
}

void CurveTable::notifyCursor()
{
    if (disabled_ > 0)
        return;
    const auto observers = observers_;
    for (TableObserver* o : observers)
        o->cursorMoved();
}

} // namespace quorvane::data
