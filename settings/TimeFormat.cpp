#include "TimeFormat.h"

#include <QStringList>

namespace vexlo::settings {

namespace {

bool separator(QChar c) { return c.isSpace() || (c.isPunct() && c != u'\''); }

} // namespace

QString longTimeFormat(const QLocale& locale)
{
    const QString full = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    bool hasH = false, hasM = false, hasS = false;
    for (qsizetype i = 0; i < full.size(); ++i) {
        const QChar c = full.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            continue;
        }
        if (quoted) {
            out += c;
            continue;
        }
        if (c == u't') {
            while (i + 1 < full.size() && full.at(i + 1) == u't')
                ++i;
            // Drop the separators that tie the zone to the time ("HH:mm:ss t",
            // "h:mm:ss AP, t", "H:mm:ss (t)", "h:mm:ss [t]"), or follow it when
            // it leads.
            while (!out.isEmpty() && separator(out.back()))
                out.chop(1);
            if (out.isEmpty()) {
                while (i + 1 < full.size() && separator(full.at(i + 1)))
                    ++i;
            } else {
                while (i + 1 < full.size() && (full.at(i + 1) == u')' || full.at(i + 1) == u']'))
                    ++i;
            }
            continue;
        }
        if (c == u'B') {
            // A day period ("B h:mm:ss"): Qt shows AM/PM for it; a lone letter B
            // would be printed as it stands.
            while (i + 1 < full.size() && full.at(i + 1) == u'B')
                ++i;
            out += QStringLiteral("AP");
            continue;
        }
        hasH = hasH || c == u'h' || c == u'H';
        hasM = hasM || c == u'm';
        hasS = hasS || c == u's';
        out += c;
    }
    out = out.trimmed();
    if (!hasH || !hasM || !hasS)
        return QStringLiteral("HH:mm:ss");
    return out;
}

QString formatTimeOfDay(const QTime& time, const QLocale& locale)
{
    return locale.toString(time, longTimeFormat(locale));
}

std::optional<QTime> parseTimeOfDay(const QString& text, const QLocale& locale)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return std::nullopt;
    QTime time = locale.toTime(s, longTimeFormat(locale));
    if (time.isValid())
        return time;
    // Forms written under another locale. The narrow no-break space some
    // locales put before AM/PM reads as a blank.
    QString plain = s;
    plain.replace(QChar(0x202F), u' ').replace(QChar(0x00A0), u' ');
    const QLocale c = QLocale::c();
    // Earlier versions wrote a day-period letter as it stood ("B22:30:00").
    if (plain.size() > 1 && plain.front() == u'B' && plain.at(1).isDigit())
        plain.remove(0, 1);
    for (const char* format : {"H:mm:ss", "h:mm:ss AP", "h:mm:ssAP", "AP h:mm:ss"}) {
        time = c.toTime(plain, QString::fromLatin1(format));
        if (time.isValid())
            return time;
    }
    return std::nullopt;
}

} // namespace vexlo::settings
