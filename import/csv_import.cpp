#include "import/csv_import.h"

#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "data/curve_table.h"
#include "import/delta_t.h"
#include "work/parameter_text.h"

namespace quorvane {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return s;
}

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        out.push_back(trim(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return out;
}

int columnOf(const std::vector<std::string_view>& header, std::string_view name)
{
    for (std::size_t i = 0; i < header.size(); ++i)
        if (upperCase(header[i]) == upperCase(name))
            return static_cast<int>(i);
    return -1;
}

} // namespace

CsvImportResult importCsv(const std::string& path, data::CurveTable& seaRaw, data::CurveTable& deltaT)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error(format(text::CsvCannotRead, path));
    std::string line;
    if (!std::getline(in, line))
        throw Error(format(text::CsvNoHeader, path));
    if (line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
        line.erase(0, 3); // a byte order mark written by some spreadsheet programs
    const auto header = splitFields(line);
    const int cAge = columnOf(header, "Age");
    const int cRatio = columnOf(header, "Ratio");
    const int cError = columnOf(header, "Error");
    if (cAge < 0 || cRatio < 0)
        throw Error(format(text::CsvNoHeader, path));

    struct Point {
        double age, ratio;
        std::optional<double> error;
    };
    std::vector<Point> points;
    CsvImportResult result;
    while (std::getline(in, line)) {
        if (trim(line).empty())
            continue;
        ++result.linesRead;
        const auto fields = splitFields(line);
        const auto cell = [&](int c) { return c >= 0 && c < static_cast<int>(fields.size()) ? fields[c] : std::string_view(); };
        const auto age = parseDecimal(cell(cAge));
        const auto ratio = parseDecimal(cell(cRatio));
        if (!age || !ratio)
            continue;
        std::optional<double> error;
        if (!cell(cError).empty()) {
            error = parseDecimal(cell(cError));
            if (!error)
                continue;
        }
        points.push_back({*age, *ratio, error});
    }

    // As the import window does: empty SeaRaw from its last row, append with
    // the display suspended, save; then DeltaT.
    try {
        seaRaw.last();
        while (seaRaw.rowCount() > 0)
            seaRaw.deleteRow();
    } catch (const std::exception&) {
    }
    const int fAge = seaRaw.field("Age"), fRatio = seaRaw.field("Ratio"), fError = seaRaw.field("Error");
    seaRaw.disableControls();
    try {
        for (const Point& p : points) {
            seaRaw.append();
            seaRaw.setFloat(fAge, p.age);
            seaRaw.setFloat(fRatio, p.ratio);
            if (p.error)
                seaRaw.setFloat(fError, *p.error);
            seaRaw.post();
            ++result.imported;
        }
    } catch (...) {
        seaRaw.enableControls();
        throw;
    }
    seaRaw.enableControls();
    seaRaw.first();
    seaRaw.saveToFile(seaRaw.boundFile());
    seaRaw.first();
    rebuildDeltaT(seaRaw, deltaT);
    deltaT.saveToFile(deltaT.boundFile());
    return result;
}

} // namespace quorvane
