#pragma once
// A curve table: an in-memory table of typed rows kept in ascending order of its
// Age field, optionally bound to an internal file that it reads when it is
// opened and writes back when it is closed with changes.
//
// Ordering: rows are visited by increasing Age; rows with equal ages stay in the
// order they were posted (a stable index). Posting in ascending order costs O(1);
// rows posted out of order are merged into place the next time the rows are read.
#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace quorvane::data {

enum class FieldType {
    Float,    ///< 8-byte IEEE double
    SmallInt, ///< 16-bit signed integer
};

struct FieldDef {
    std::string name;          ///< "Age", "Ratio", ...
    FieldType type = FieldType::Float;
    std::string displayFormat; ///< grid pattern such as "####0.000"; empty for none
};

/// Failures of the table component (work on a closed table, bad text for a field,
/// an unreadable or invalid internal file).
class TableError : public Error {
public:
    using Error::Error;
};

namespace text {
inline constexpr const char* MissingDataPacket = "Missing data provider or data packet";
inline constexpr const char* DatasetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* DatasetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* NotFloat = "'%s' is not a valid floating point value";
inline constexpr const char* NotInteger = "'%s' is not a valid integer value";
inline constexpr const char* NotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* InvalidFile = "The file \"%s\" is not a valid table file";
inline constexpr const char* CannotReadFile = "Cannot read the table file \"%s\"";
inline constexpr const char* CannotWriteFile = "Cannot write the table file \"%s\"";
inline constexpr const char* FieldsDiffer = "The table file \"%s\" does not hold the fields of this table";
} // namespace text

/// Something bound to a table (a grid, a chart) that is told when it must redraw.
/// While controls are disabled the table tells nothing; enabling them again sends
/// one tableChanged.
class TableObserver {
public:
    virtual ~TableObserver() = default;
    /// Rows, their order, the open state or the fields may have changed.
    virtual void tableChanged() = 0;
    /// Only the cursor moved.
    virtual void cursorMoved() {}
};

class CurveTable {
public:
    static constexpr int MaxFields = 8;

    /// `name` is the table's own name ("SeaRaw"); the first field must be "Age".
    CurveTable(std::string name, std::vector<FieldDef> fields);
    ~CurveTable();
    CurveTable(const CurveTable&) = delete;
    CurveTable& operator=(const CurveTable&) = delete;

    const std::string& name() const noexcept { return name_; }
    std::string componentName() const { return "cds" + name_; }
    std::string dataSourceName() const { return "ds" + name_; }
    const std::vector<FieldDef>& fields() const noexcept { return fields_; }
    int fieldCount() const noexcept { return static_cast<int>(fields_.size()); }
    /// Index of a field by name (case-insensitive), or -1.
    int fieldIndex(std::string_view fieldName) const;
    /// Index of a field by name; throws TableError when there is none.
    int field(std::string_view fieldName) const;

    // ---- state -------------------------------------------------------------
    bool isOpen() const noexcept { return open_; }
    /// Opens an empty table with the defined fields (a table created in memory).
    void createDataSet();
    /// Opens a closed table: a bound table reads its file; a table with no file
    /// fails with "Missing data provider or data packet". An open table is left alone.
    void open();
    /// Writes a bound table back to its file when its data changed since it was
    /// loaded or the file is missing, then discards the rows. If that write fails
    /// the table stays open with its rows and the error is passed on.
    void close();
    /// Closes the table (with the write-back above), reads the file and opens the
    /// table with its rows. On failure the table is left closed.
    void loadFromFile(const std::string& path);
    /// Remembers `path` as the table's internal file.
    void bindToFile(std::string path) { boundFile_ = std::move(path); }
    const std::string& boundFile() const noexcept { return boundFile_; }
    /// Writes fields and rows to `path`, replacing the file atomically; a closed
    /// table writes nothing. Saving to the bound file clears the changed state.
    void saveToFile(const std::string& path);
    /// True when rows were posted, deleted or emptied since the last load or save.
    bool changed() const noexcept { return changed_; }

    // ---- cursor, in Age order ---------------------------------------------------
    void first();
    void next();
    void prior();
    void last();
    bool eof() const noexcept { return eof_; }
    bool bof() const noexcept { return bof_; }
    /// Position of the cursor, 0-based, or -1 on an empty table.
    int recNo() const;
    /// Moves the cursor to a row position (0-based, clamped).
    void moveTo(int row);
    /// Moves to the first row whose Age equals `age`; returns false (cursor kept) if none.
    bool locateAge(double age);

    // ---- editing -------------------------------------------------------------
    enum class State { Inactive, Browse, Insert, Edit };
    State state() const noexcept { return state_; }
    /// Starts a new row with every field empty; the cursor is on it until post.
    void append();
    /// Starts editing the current row.
    void edit();
    /// Places the appended or edited row at its Age position; the cursor stays on it.
    void post();
    /// Abandons the row being appended or the changes being edited.
    void cancel();
    /// Removes the current row; on a row being appended it abandons that row.
    void deleteRow();
    /// Removes every row; the table stays open and counts as changed.
    void emptyTable();
    int rowCount() const;
    bool isEmpty() const { return rowCount() == 0; }

    // ---- fields of the current row (or of the row being edited) ---------------
    bool isNull(int field) const;
    /// The value as a number; 0 for an empty field.
    double asFloat(int field) const;
    /// The value as text in the user's locale (15 significant digits); empty for null.
    std::string asText(int field) const;
    /// Sets a number; a SmallInt field takes the value truncated and range-checked.
    void setFloat(int field, double value);
    /// Sets from text in the user's locale: empty text makes the field empty.
    void setText(int field, std::string_view text);
    void setNull(int field);

    // ---- direct read access by position, for grids, charts and reports ----------
    double value(int row, int field) const;
    bool isNull(int row, int field) const;

    // ---- bound views ----------------------------------------------------------
    void addObserver(TableObserver* observer);
    void removeObserver(TableObserver* observer);
    void disableControls() noexcept { ++disabled_; }
    /// Resumes updating and sends one tableChanged when the last disable ends.
    void enableControls();
    bool controlsDisabled() const noexcept { return disabled_ > 0; }

    /// Rows in Age order as plain values (null as std::nullopt); for tests and files.
    using Value = std::optional<double>;
    std::vector<std::vector<Value>> rows() const;

private:
    struct Row {
        std::array<double, MaxFields> v{};
        std::uint64_t seq = 0;   ///< posting order, for the stable order of equal ages
        std::uint8_t nulls = 0;  ///< bit f set: field f is empty
    };

    void requireOpen() const;
    void requireEditing() const;
    const Row& currentRow() const;
    Row& editingRow();
    void ensureSorted() const;
    void setCursor(int pos) const;
    void notifyChanged();
    void notifyCursor();
    void readFile(const std::string& path);

    std::string name_;
    std::vector<FieldDef> fields_;
    std::string boundFile_;
    bool open_ = false;
    bool changed_ = false;
    State state_ = State::Inactive;

    // Rows [0, sortedCount_) are in order; rows after it were posted out of order
    // and are merged in by ensureSorted(). Both are logically const.
    mutable std::vector<Row> rows_;
    mutable std::size_t sortedCount_ = 0;
    mutable int cursor_ = -1;
    mutable std::optional<std::uint64_t> cursorSeq_; ///< cursor row to find after a merge
    bool eof_ = true;
    bool bof_ = true;

    Row pending_;        ///< the row being appended or edited
    int editPos_ = -1;   ///< position of the row being edited
    std::uint64_t nextSeq_ = 1;

    std::vector<TableObserver*> observers_;
    int disabled_ = 0;
    bool changedWhileDisabled_ = false;
};

/// Suspends the bound views of tables during a bulk change and resumes them when
/// resume() is called or the scope ends, so a command that stops early never
/// leaves its grids and charts frozen.
class ControlsPause {
public:
    ControlsPause() = default;
    ControlsPause(std::initializer_list<CurveTable*> tables)
    {
        for (CurveTable* t : tables)
            pause(*t);
    }
    ~ControlsPause() { resume(); }
    ControlsPause(const ControlsPause&) = delete;
    ControlsPause& operator=(const ControlsPause&) = delete;

    void pause(CurveTable& table)
    {
        table.disableControls();
        paused_.push_back(&table);
    }
    /// Resumes in the reverse order of pausing.
    void resume()
    {
        while (!paused_.empty()) {
            paused_.back()->enableControls();
            paused_.pop_back();
        }
    }

private:
    std::vector<CurveTable*> paused_;
};

/// Formats a value with a display pattern of '#', '0' and '.': the digits after
/// the point are exactly the number of '0' and '#' there (rounded half away from
/// zero on the exact binary value), at least as many integer digits as there are
/// '0' before the point, no group separators, `decimalPoint` as the point. A value
/// that rounds to zero shows no minus sign. An empty pattern gives the shortest
/// text that reads back exactly.
std::string formatDisplay(double value, std::string_view pattern, char decimalPoint = '.');

} // namespace quorvane::data
