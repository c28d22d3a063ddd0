#include "DateText.h"

#include "TextCodec.h"

namespace {

// Rewrites a Qt date/time format letter by letter, leaving quoted literal text alone.
// For each run of the same letter, `replace` returns the new run (or the run itself).
template<typename Fn>
QString rewriteRuns(const QString &fmt, Fn replace)
{
    QString out;
    qsizetype i = 0;
    while (i < fmt.size()) {
        const QChar c = fmt[i];
        if (c == u'\'') {
            const qsizetype end = fmt.indexOf(u'\'', i + 1);
            const qsizetype stop = end < 0 ? fmt.size() : end + 1;
            out += QStringView(fmt).mid(i, stop - i);
            i = stop;
            continue;
        }
        qsizetype j = i;
        while (j < fmt.size() && fmt[j] == c)
            ++j;
        out += replace(c, j - i);
        i = j;
    }
    return out;
}

} // namespace

namespace DateText {

QString dateFormat(const QLocale &locale)
{
    return rewriteRuns(locale.dateFormat(QLocale::ShortFormat), [](QChar c, qsizetype n) {
        if (c == u'y')
            return QStringLiteral("yyyy");
        return QString(n, c);
    });
}

QString timeFormat(const QLocale &locale)
{
    // The time-zone name is left out: it cannot be read back reliably.
    const QString fmt = rewriteRuns(locale.timeFormat(QLocale::LongFormat), [](QChar c, qsizetype n) {
        return c == u't' ? QString() : QString(n, c);
    });
    return fmt.simplified();
}

QString format(const QDateTime &moment, const QLocale &locale)
{
    const QTime t = moment.time();
    QString text = locale.toString(moment.date(), dateFormat(locale));
    if (t.hour() != 0 || t.minute() != 0 || t.second() != 0)
        text += u' ' + locale.toString(t, timeFormat(locale));
    return text;
}

QByteArray now()
{
    return TextCodec::toAnsi(format(QDateTime::currentDateTime()));
}

std::optional<QDateTime> parse(QStringView text, const QLocale &locale)
{
    qsizetype start = 0;
    while (start < text.size() && text[start].isSpace())
        ++start;
    const QString s = text.mid(start).toString();
    const QString df = dateFormat(locale);
    QDateTime moment = locale.toDateTime(s, df + u' ' + timeFormat(locale));
    if (moment.isValid())
        return moment;
    const QDate date = locale.toDate(s, df);
    if (date.isValid())
        return QDateTime(date, QTime(0, 0));
    return std::nullopt;
}

} // namespace DateText
