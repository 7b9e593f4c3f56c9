#include "platform/ui/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QStringList>

namespace quorvane::ui {

namespace {

class ToolkitDialogs final : public DialogService {
public:
    void message(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, QApplicationTitle(), text, QMessageBox::Ok, parent);
        box.exec();
    }

    void warning(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::Warning, QApplicationTitle(), text, QMessageBox::Ok, parent);
        box.exec();
    }

    std::optional<QString> openFile(QWidget* parent, const FileDialogOptions& o) override
    {
        QFileDialog dialog(parent, o.title, o.initialFolder, toolkitFilter(o.filter));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        return run(dialog, o);
    }

    std::optional<QString> saveFile(QWidget* parent, const FileDialogOptions& o) override
    {
        QFileDialog dialog(parent, o.title, o.initialFolder, toolkitFilter(o.filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!o.confirmOverwrite)
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
        return run(dialog, o);
    }

    bool printerSetup(QWidget* parent, QPrinter& printer) override
    {
        QPrintDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted;
    }

private:
    static QString QApplicationTitle() { return QStringLiteral("Quorvane"); }

    static std::optional<QString> run(QFileDialog& dialog, const FileDialogOptions& o)
    {
        if (!o.defaultSuffix.isEmpty())
            dialog.setDefaultSuffix(o.defaultSuffix);
        if (!o.fileName.isEmpty())
            dialog.selectFile(o.fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().front();
    }
};

ToolkitDialogs g_toolkit;
DialogService* g_service = nullptr;

} // namespace

DialogService& dialogs() { return g_service ? *g_service : g_toolkit; }

void setDialogs(DialogService* service) { g_service = service; }

QString toolkitFilter(const QString& filter)
{
    // Pairs of description and pattern separated by bars, as in "Excel|*.xls|All|*.*".
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
    return out.join(QStringLiteral(";;"));
}

} // namespace quorvane::ui
