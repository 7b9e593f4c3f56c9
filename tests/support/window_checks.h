#pragma once
// Checks shared by the window tests: the page box of a printed PDF, printing
// through the application's printer into a file, and optional screenshots.
#include <QCoreApplication>
#include <QFile>
#include <QPageLayout>
#include <QPrinter>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <ostream>
#include <string>

#include "platform/ui/application.h"

// Failures show texts as texts rather than as arrays of characters.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace quorvane::test {

/// The first page box of a PDF written by the toolkit, in points.
inline QSizeF pdfMediaBox(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression box(QStringLiteral(R"(/MediaBox\s*\[\s*0\s+0\s+([\d.]+)\s+([\d.]+)\s*\])"));
    const auto m = box.match(QString::fromLatin1(f.readAll()));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

/// Points the application's printer at a PDF file, portrait, for the life of
/// the object, so a window's Print Graph writes there without a dialog.
class PrintToPdf {
public:
    explicit PrintToPdf(const std::string& file) : printer_(ui::appPrinter())
    {
        format_ = printer_.outputFormat();
        name_ = printer_.outputFileName();
        printer_.setOutputFormat(QPrinter::PdfFormat);
        printer_.setOutputFileName(QString::fromStdString(file));
        printer_.setPageOrientation(QPageLayout::Portrait);
    }
    ~PrintToPdf()
    {
        printer_.setOutputFormat(format_);
        printer_.setOutputFileName(name_);
    }
    PrintToPdf(const PrintToPdf&) = delete;
    PrintToPdf& operator=(const PrintToPdf&) = delete;
    QPrinter& printer() { return printer_; }

private:
    QPrinter& printer_;
    QPrinter::OutputFormat format_;
    QString name_;
};

/// Saves a picture of `w` as <name>.png in $QUORVANE_SCREENSHOTS when that is
/// set (for looking at the windows by hand, under Xvfb or offscreen).
inline void screenshot(QWidget& w, const char* name)
{
    const QString dir = qEnvironmentVariable("QUORVANE_SCREENSHOTS");
    if (dir.isEmpty())
        return;
    // Let queued layouts and chart redraws happen first, as they do on screen.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    w.grab().save(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

} // namespace quorvane::test
