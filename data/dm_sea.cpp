#include "data/dm_sea.h"

#include "data/table_file.h"
#include "platform/paths.h"

namespace quorvane::data {

namespace {

constexpr const char* AgeFormat = "####0.000";
constexpr const char* RatioFormat = "##0.00000";
constexpr const char* ErrorFormat = "##0.00000";

std::vector<FieldDef> rawFields()
{
    return {{"Age", FieldType::Float, AgeFormat},
            {"Ratio", FieldType::Float, RatioFormat},
            {"Error", FieldType::Float, ErrorFormat}};
}

std::vector<FieldDef> averagedFields()
{
    auto f = rawFields();
    f.push_back({"N", FieldType::SmallInt, ""});
    return f;
}

std::vector<FieldDef> splineFields()
{
    auto f = rawFields();
    f.push_back({"YPrime", FieldType::Float, "##0.00000"});
    f.push_back({"S", FieldType::Float, "##0.00"});
    return f;
}

std::vector<FieldDef> movingAverageFields()
{
    return {{"Age", FieldType::Float, AgeFormat},
            {"Ratio", FieldType::Float, RatioFormat},
            {"Error", FieldType::Float, "####0.000"},
            {"N", FieldType::SmallInt, ""}};
}

std::vector<FieldDef> deltaTFields()
{
    return {{"Age", FieldType::Float, "####0.00000"}, {"DeltaT", FieldType::Float, "####0.000000"}};
}

TdmSea* g_module = nullptr;

} // namespace

TdmSea::TdmSea()
    : cdsSeaRaw("SeaRaw", rawFields()),
      cdsSeaRawAv("SeaRawAv", averagedFields()),
      cdsSeaSpl("SeaSpl", splineFields()),
      cdsSeaSplP("SeaSplP", splineFields()),
      cdsSeaSplM("SeaSplM", splineFields()),
      cdsMovAv("MovAv", movingAverageFields()),
      cdsDeltaT("DeltaT", deltaTFields()),
      reportModule_({&cdsSeaRaw, &cdsSeaRawAv, &cdsSeaSpl, &cdsSeaSplP, &cdsSeaSplM, &cdsMovAv, &cdsDeltaT})
{
    cdsDeltaT.createDataSet();
    XLSAdapter1.SetAllowOverwritingFiles(false);
    for (xls::TXlsReport* rep : {&RepSpline, &RepSplP, &RepSplM, &RepMovAv}) {
        rep->Adapter = &XLSAdapter1;
        rep->AutoClose = true;
        rep->DateTimeFormat = u"yyyy/mm/dd hh:mm";
        rep->KeepEmptyPictures = false;
        rep->DataModule = &reportModule();
    }
}

TdmSea::~TdmSea()
{
    if (g_module == this)
        g_module = nullptr;
    for (CurveTable* t : tables()) {
        try {
            t->close();
        } catch (const std::exception&) {
            // Ending the application: a table that cannot be written keeps its former file.
        }
    }
}

std::array<CurveTable*, 7> TdmSea::tables()
{
    return {&cdsSeaRaw, &cdsSeaRawAv, &cdsSeaSpl, &cdsSeaSplP, &cdsSeaSplM, &cdsMovAv, &cdsDeltaT};
}

CurveTable* TdmSea::table(std::string_view name)
{
    for (CurveTable* t : tables())
        if (t->name() == name || t->componentName() == name)
            return t;
    return nullptr;
}

std::string TdmSea::fileName(const CurveTable& table) { return table.name() + ".cds"; }

std::string TdmSea::filePath(const std::string& folder, const CurveTable& table)
{
    return paths::join(folder, fileName(table));
}

TdmSea* dmSea() { return g_module; }
void setDmSea(TdmSea* module) { g_module = module; }

TablePlan splineWindowPlan(TdmSea& dm)
{
    return {{&dm.cdsSeaRaw, &dm.cdsSeaRawAv, &dm.cdsSeaSpl, &dm.cdsSeaSplP, &dm.cdsSeaSplM, &dm.cdsDeltaT},
            {{&dm.cdsSeaRaw, false},
             {&dm.cdsSeaRawAv, true},
             {&dm.cdsSeaSpl, true},
             {&dm.cdsSeaSplM, true},
             {&dm.cdsSeaSplP, true},
             {&dm.cdsDeltaT, true}},
            {&dm.cdsSeaRaw, &dm.cdsSeaRawAv, &dm.cdsSeaSpl, &dm.cdsSeaSplM, &dm.cdsSeaSplP, &dm.cdsDeltaT}};
}

TablePlan movingAverageWindowPlan(TdmSea& dm)
{
    return {{&dm.cdsSeaRaw, &dm.cdsMovAv},
            {{&dm.cdsSeaRaw, false}, {&dm.cdsMovAv, true}},
            {&dm.cdsSeaRaw, &dm.cdsMovAv}};
}

TablePlan graphsWindowPlan(TdmSea& dm)
{
    return {{&dm.cdsSeaRaw, &dm.cdsSeaSpl, &dm.cdsMovAv},
            {{&dm.cdsSeaRaw, false}, {&dm.cdsMovAv, true}, {&dm.cdsSeaSpl, true}},
            {}};
}

bool loadTables(const TablePlan& plan, const std::string& folder, const WarningSink& warn)
{
    for (CurveTable* t : plan.closedOnShow) {
        try {
            t->close();
        } catch (const std::exception&) {
            // Its write-back failed: it stays open with its rows rather than lose them.
        }
    }

    bool failed = false;
    for (const auto& f : plan.filesLoaded) {
        const std::string path = TdmSea::filePath(folder, *f.table);
        f.table->bindToFile(path);
        if (!paths::fileExists(path)) {
            warn(std::string(text::RequiredFileNotFound) + path);
            failed = failed || f.required;
        }
    }
    if (failed)
        return false;

    for (const auto& f : plan.filesLoaded) {
        const std::string path = TdmSea::filePath(folder, *f.table);
        try {
            f.table->loadFromFile(path);
        } catch (const std::exception&) {
            warn(std::string(text::UnableToOpenFile) + path);
        }
    }
    return true;
}

void saveTables(const TablePlan& plan, const std::string& folder)
{
    for (CurveTable* t : plan.savedOnClose) {
        try {
            t->saveToFile(TdmSea::filePath(folder, *t));
        } catch (const std::exception&) {
            // Silent by design; the file keeps its former content.
        }
    }
}

bool seedInternalFolder(const std::string& folder)
{
    if (paths::folderExists(folder))
        return true;
    if (!paths::makeFolders(folder))
        return false;
    TdmSea blank;
    try {
        for (CurveTable* t : blank.tables()) {
            TableFileData empty;
            empty.name = t->name();
            empty.fields = t->fields();
            writeTableFile(TdmSea::filePath(folder, *t), empty);
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

} // namespace quorvane::data
