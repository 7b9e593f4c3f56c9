#include "app/export_dialog.h"

#include "app/settings/settings_store.h"
#include "platform/paths.h"
#include "platform/ui/dialogs.h"

#include <stdexcept>

namespace quorvane::app {

void exportCurveData(QWidget* parent, ExportCurve curve)
{
    data::TdmSea* module = data::dmSea();
    if (!module)
        throw std::logic_error("the data module is created at start-up, before any command");
    data::TdmSea& dm = *module;
    SettingsStore& store = settingsStore();
    setExportTemplate(dm, curve, store.text(key::TemplatePath));

    // SaveDialogRep: "Excel|*.xls", confirmation before an existing file is chosen.
    ui::FileDialogOptions options;
    options.filter = QStringLiteral("Excel|*.xls");
    options.defaultSuffix = QStringLiteral("xls");
    options.initialFolder = QString::fromStdString(store.text(key::DataExportPath));
    options.fileName = QString::fromUtf8(exportEntry(curve).suggestedName);
    options.confirmOverwrite = true;
    const std::optional<QString> chosen = ui::dialogs().saveFile(parent, options);
    if (!chosen)
        return;
    const std::string path = chosen->toStdString();
    store.setText(key::DataExportPath, paths::folderOf(path));
    // A failure leaves here for the application's default error display.
    runExport(dm, curve, path);
}

} // namespace quorvane::app
