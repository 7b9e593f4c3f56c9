#pragma once
// An internal files folder for window tests: made in a temporary folder with
// the seven tables saved empty (as on a first start), named by the settings
// store's "Internal files", and filled with rows a test chooses.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/settings_store.h"
#include "data/dm_sea.h"
#include "support/temp_dir.h"

namespace quorvane::test {

struct Row {
    double age;
    double ratio;
    std::optional<double> yPrime = std::nullopt; ///< for the spline tables
};

class InternalFiles {
public:
    InternalFiles() : folder_(dir_.path() + "/internal")
    {
        data::seedInternalFolder(folder_);
        settingsStore().setText(key::InternalFiles, folder_);
    }

    const std::string& folder() const { return folder_; }
    const TempDir& temp() const { return dir_; }
    /// The full path of a table's internal file, as the windows name it.
    std::string path(const std::string& table) const { return folder_ + "/" + table + ".cds"; }

    /// Replaces a table's file by one holding `rows` in that order.
    void write(const std::string& table, const std::vector<Row>& rows) const
    {
        data::TdmSea scratch;
        data::CurveTable& t = *scratch.table(table);
        t.createDataSet();
        for (const Row& p : rows) {
            t.append();
            t.setFloat(t.field("Age"), p.age);
            t.setFloat(t.field("Ratio"), p.ratio);
            if (p.yPrime)
                t.setFloat(t.field("YPrime"), *p.yPrime);
            t.post();
        }
        t.saveToFile(path(table));
    }
    void remove(const std::string& table) const { std::filesystem::remove(path(table)); }
    /// A file that exists but is no table.
    void spoil(const std::string& table) const { writeFile(path(table), "not a table"); }

    /// The (Age, Ratio) rows of a table's file, read by a data module of its own.
    std::vector<std::pair<double, double>> read(const std::string& table) const
    {
        data::TdmSea scratch;
        data::CurveTable& t = *scratch.table(table);
        t.loadFromFile(path(table));
        std::vector<std::pair<double, double>> rows;
        for (int r = 0; r < t.rowCount(); ++r)
            rows.emplace_back(t.value(r, t.field("Age")), t.value(r, t.field("Ratio")));
        return rows;
    }

private:
    TempDir dir_;
    std::string folder_;
};

} // namespace quorvane::test
