#include "xls/grid/cellentry.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>

#include <cmath>
#include <optional>

namespace quorvane::xls::grid {

namespace {

QChar firstChar(const QString& s)
{
    return s.isEmpty() ? QChar() : s.at(0);
}

// Qt's date and time pattern letters to number format codes: M (month) becomes m, H
// (24-hour) becomes h, AP/ap/A/a become AM/PM, quoted literals are kept in quotes; a
// narrow no-break space (as some locales put before AM/PM) becomes a plain blank.
QString toFormatCode(const QString& qt)
{
    QString out;
    for (qsizetype i = 0; i < qt.size(); ++i) {
        const QChar c = qt.at(i);
        if (c == u'\'') {
            const qsizetype end = qt.indexOf(u'\'', i + 1);
            const QString lit = qt.mid(i + 1, end < 0 ? -1 : end - i - 1);
            out += lit.isEmpty() ? QStringLiteral("\\'") : u'"' + lit + u'"';
            i = end < 0 ? qt.size() : end;
        } else if (c == u'M') {
            out += u'm';
        } else if (c == u'H') {
            out += u'h';
        } else if (c == u'A' || c == u'a') {
            out += QStringLiteral("AM/PM");
            if (i + 1 < qt.size() && (qt.at(i + 1) == u'P' || qt.at(i + 1) == u'p'))
                ++i;
        } else if (c == QChar(0x202F) || c == QChar(0x00A0)) {
            out += u' ';
        } else if (c == u't') {
            // A time zone has no number format code.
        } else {
            out += c;
        }
    }
    return out.trimmed();
}

QString plainBlanks(QString f)
{
    return f.replace(QChar(0x202F), u' ').replace(QChar(0x00A0), u' ');
}

// Two-digit years: 00..49 are 2000..2049, 50..99 are 1950..1999.
QDate windowed(QDate d, const QString& format)
{
    if (d.isValid() && !format.contains(QStringLiteral("yyyy")) && format.contains(QStringLiteral("yy")) &&
        d.year() < 1950)
        return d.addYears(100);
    return d;
}

struct Parsed {
    QDate date;
    QTime time;
};

std::optional<Parsed> parseDateTime(const QString& t, const QLocale& loc)
{
    const QString d = loc.dateFormat(QLocale::ShortFormat);
    const QString tm = plainBlanks(loc.timeFormat(QLocale::ShortFormat));
    QStringList dates{d};
    if (!d.contains(QStringLiteral("yyyy")))
        dates << QString(d).replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    QStringList times{tm};
    if (!tm.contains(u's'))
        times << QString(tm).replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    for (const QString& df : dates)
        for (const QString& tf : times) {
            const QDateTime dt = loc.toDateTime(t, df + u' ' + tf);
            if (dt.isValid())
                return Parsed{windowed(dt.date(), df), dt.time()};
        }
    for (const QString& df : dates)
        if (const QDate date = loc.toDate(t, df); date.isValid())
            return Parsed{windowed(date, df), QTime()};
    for (const QString& tf : times)
        if (const QTime time = loc.toTime(t, tf); time.isValid())
            return Parsed{QDate(), time};
    return std::nullopt;
}

} // namespace

QString withoutThousandsSeparators(const QString& t, const QLocale& locale)
{
    const QChar dec = firstChar(locale.decimalPoint());
    const QChar grp = firstChar(locale.groupSeparator());
    if (grp.isNull())
        return t;
    const qsizetype d = t.indexOf(dec);
    const QString intPart = d < 0 ? t : t.left(d);
    const QString after = d < 0 ? QString() : t.mid(d + 1);
    if (after.contains(grp) || t.startsWith(grp))
        return t;
    for (qsizetype k = 4; k <= intPart.size(); k += 4) {
        const QChar c = intPart.at(intPart.size() - k);
        if (c != grp && c != u'-')
            return t;
    }
    // A separator anywhere else is no thousands separator: "1.5" in a locale that groups
    // with "." must not become 15.
    for (qsizetype k = 1; k <= intPart.size(); ++k)
        if (intPart.at(intPart.size() - k) == grp && k % 4 != 0)
            return t;
    return QString(t).remove(grp);
}

QString dateFormatCode(const QLocale& locale)
{
    return toFormatCode(locale.dateFormat(QLocale::ShortFormat));
}

QString timeFormatCode(const QLocale& locale)
{
    return toFormatCode(locale.timeFormat(QLocale::ShortFormat));
}

Entry interpretEntry(const QString& t, const QLocale& locale)
{
    const QString plain = withoutThousandsSeparators(t, locale);
    QLocale strict = locale;
    strict.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = strict.toDouble(plain.trimmed(), &ok);
    if (ok && std::isfinite(v) && !plain.trimmed().isEmpty())
        return v;
    if (t.compare(QStringLiteral("TRUE"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QStringLiteral("FALSE"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto p = parseDateTime(t.trimmed(), locale)) {
        static const QDate Epoch(1899, 12, 30);
        const qint64 days = p->date.isValid() ? Epoch.daysTo(p->date) : 0;
        const double serial = static_cast<double>(days) +
                              (p->time.isValid() ? p->time.msecsSinceStartOfDay() / 86400000.0 : 0.0);
        const QChar ds = firstChar(locale.dateFormat(QLocale::ShortFormat).remove(QRegularExpression(QStringLiteral("[dMy]"))));
        const bool datePart = (t.contains(u'.') || t.contains(u'/') || t.contains(u'-') || (!ds.isNull() && t.contains(ds))) &&
                              std::floor(serial) != 0;
        const bool timePart = t.contains(u':');
        if (datePart || timePart) {
            // A whole-day part of 0 is no date: only the time part is kept in the format.
            QString code;
            if (datePart)
                code = dateFormatCode(locale);
            if (timePart)
                code += (code.isEmpty() ? QString() : QStringLiteral(" ")) + timeFormatCode(locale);
            return DateTimeEntry{serial, code};
        }
    }
    return t;
}

} // namespace quorvane::xls::grid
