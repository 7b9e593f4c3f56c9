// Writes the example workbook of a first run: a slowly varying strontium-isotope-like
// curve over 0-65 Ma, sampled unevenly, with scatter, repeated ages, a header row and
// one-sigma uncertainties, filled with our own engine into example_seed.xls (a sheet
// with a bold header made by a spreadsheet program).
//
//   quorvane-make-example SEED.xls OUT.xls
//
// The sequence is fixed (a 64-bit linear congruential generator and our own
// transforms), so every run on every machine writes the same numbers.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "platform/paths.h"
#include "xls/write/cells.h"
#include "xls/write/save.h"
#include "xls/xlsfile.h"

namespace {

using namespace quorvane;

class Sequence {
public:
    /// Uniform in [0, 1).
    double uniform()
    {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) * 0x1.0p-53;
    }
    /// Standard normal by the Box-Muller transform.
    double normal() { return std::sqrt(-2.0 * std::log(1.0 - uniform())) * std::cos(2.0 * M_PI * uniform()); }

private:
    std::uint64_t state_ = 0x51a5eedULL;
};

/// A smooth curve shaped like the Cenozoic seawater record: rising towards the present,
/// with a plateau and a dip on the way.
double trueRatio(double ageMa)
{
    return 0.70915 - 0.0000215 * ageMa + 0.00018 * std::exp(-std::pow((ageMa - 36.0) / 9.0, 2.0)) -
           0.00011 * std::exp(-std::pow((ageMa - 15.0) / 4.0, 2.0)) + 0.0000022 * std::sin(ageMa / 3.1);
}

std::u16string utf16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: quorvane-make-example SEED.xls OUT.xls\n");
        return 2;
    }
    try {
        xls::TXLSAdapter adapter;
        adapter.SetAllowOverwritingFiles(true);
        auto file = adapter.createFile();
        file->connect();
        file->openFile(argv[1]);
        xls::TWorkbook& book = file->workbook();
        auto* sheet = dynamic_cast<xls::TWorkSheet*>(book.sheets().at(0).get());
        if (!sheet)
            throw std::runtime_error("the seed's first sheet is not a worksheet");

        Sequence seq;
        const char* sites[] = {"DSDP 522", "ODP 747", "ODP 926", "DSDP 590", "ODP 1218", "IODP U1334"};
        int row = 1; // 0-based: the row after the header
        double age = 0.05;
        while (age < 65.0 && row < 460) {
            // Uneven spacing: dense in the young part, gaps up to a million years further back.
            age += (0.02 + 0.16 * seq.uniform()) * (1.0 + age / 40.0);
            const double rounded = std::round(age * 100.0) / 100.0;
            // About one age in twelve is measured twice, at another site.
            const int repeats = seq.uniform() < 0.08 ? 2 : 1;
            for (int k = 0; k < repeats && row < 460; ++k, ++row) {
                const double sigma = std::round((0.000008 + 0.000018 * seq.uniform()) * 1e6) / 1e6;
                const double value = std::round((trueRatio(rounded) + sigma * 1.3 * seq.normal()) * 1e6) / 1e6;
                const char* site = sites[static_cast<int>(seq.uniform() * 6) % 6];
                char sample[48];
                std::snprintf(sample, sizeof sample, "%s-%02d", site, 1 + static_cast<int>(seq.uniform() * 40));
                xls::setCellValue(*sheet, book.sst(), row, 0, xls::CellVariant(rounded));
                xls::setCellValue(*sheet, book.sst(), row, 1, xls::CellVariant(value));
                // A few old measurements came without an uncertainty.
                if (seq.uniform() > 0.03)
                    xls::setCellValue(*sheet, book.sst(), row, 2, xls::CellVariant(sigma));
                xls::setCellValue(*sheet, book.sst(), row, 3, xls::CellVariant(utf16(sample)));
            }
        }
        paths::removeFile(argv[2]);
        xls::saveFile(*file, std::string(argv[2]));
        std::printf("%s: %d points\n", argv[2], row - 1);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
