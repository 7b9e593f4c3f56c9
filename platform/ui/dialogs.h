#pragma once
// The message box and file dialog service. Windows ask it instead of calling
// the toolkit's dialogs directly, so tests can install a scripted one and answer
// every dialog without a person.
#include <optional>

#include <QString>

class QPrinter;
class QWidget;

namespace quorvane::ui {

struct FileDialogOptions {
    QString title;
    QString filter;        ///< "Excel|*.xls" style: description, bar, pattern(s)
    QString defaultSuffix; ///< appended to a name typed without an extension ("xls")
    QString initialFolder;
    QString fileName;      ///< suggested name
    bool confirmOverwrite = true;
};

class DialogService {
public:
    virtual ~DialogService() = default;
    /// A plain message box with an OK button.
    virtual void message(QWidget* parent, const QString& text) = 0;
    /// A warning box (warning icon) with an OK button.
    virtual void warning(QWidget* parent, const QString& text) = 0;
    /// The chosen path, or nullopt when the user cancelled.
    virtual std::optional<QString> openFile(QWidget* parent, const FileDialogOptions& options) = 0;
    virtual std::optional<QString> saveFile(QWidget* parent, const FileDialogOptions& options) = 0;
    /// The printer set-up dialog on `printer`; false when cancelled (nothing changed).
    virtual bool printerSetup(QWidget* parent, QPrinter& printer) = 0;
};

/// The service in effect: the toolkit's dialogs unless a test installed another.
DialogService& dialogs();
/// Installs a service (not owned); nullptr restores the toolkit's dialogs.
void setDialogs(DialogService* service);

/// "Excel|*.xls" -> "Excel (*.xls)": the toolkit's filter form.
QString toolkitFilter(const QString& filter);

} // namespace quorvane::ui
