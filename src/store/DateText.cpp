#include "DateText.h"

#include "TextCodec.h"

#include <QRegularExpression>

#include <algorithm>

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
    // The time-zone name is left out: it cannot be read back reliably. What framed it goes
    // too: "H:mm:ss (t)" is "H:mm:ss", and "HH:mm:ss, t" is "HH:mm:ss" (a comma would
    // split the address book's line).
    QString fmt = rewriteRuns(locale.timeFormat(QLocale::LongFormat), [](QChar c, qsizetype n) {
        return c == u't' ? QString() : QString(n, c);
    });
    static const QRegularExpression emptyBrackets(QStringLiteral("\\(\\s*\\)|\\[\\s*\\]"));
    fmt.remove(emptyBrackets);
    fmt = fmt.simplified();
    while (!fmt.isEmpty() && (fmt.front() == u',' || fmt.front() == u' '))
        fmt.remove(0, 1);
    while (!fmt.isEmpty() && (fmt.back() == u',' || fmt.back() == u' '))
        fmt.chop(1);
    return fmt;
}

namespace {

const QString kFixedDate = QStringLiteral("dd/MM/yyyy");
const QString kFixedTime = QStringLiteral("HH:mm:ss");

bool hasTime(const QTime &t)
{
    return t.hour() != 0 || t.minute() != 0 || t.second() != 0;
}

QString localeText(const QDateTime &moment, const QLocale &locale)
{
    QString text = locale.toString(moment.date(), dateFormat(locale));
    if (hasTime(moment.time()))
        text += u' ' + locale.toString(moment.time(), timeFormat(locale));
    return text;
}

} // namespace

QString format(const QDateTime &moment, const QLocale &locale)
{
    const QDateTime second(moment.date(), QTime(moment.time().hour(), moment.time().minute(), moment.time().second()));
    const QString text = localeText(second, locale);
    if (std::all_of(text.begin(), text.end(), TextCodec::isAnsi) && parse(text, locale) == second)
        return text;
    const QLocale c = QLocale::c();
    return c.toString(second.date(), kFixedDate)
        + (hasTime(second.time()) ? u' ' + c.toString(second.time(), kFixedTime) : QString());
}

QByteArray stored(const QDateTime &moment, const QLocale &locale)
{
    return TextCodec::toAnsi(format(moment, locale));
}

QByteArray now()
{
    return stored(QDateTime::currentDateTime());
}

std::array<Form, 2> forms(const QLocale &locale)
{
    // The locale's own form first, then the fixed one written where the locale's cannot be.
    return {Form{locale, dateFormat(locale), timeFormat(locale)}, Form{QLocale::c(), kFixedDate, kFixedTime}};
}

std::optional<QDateTime> parse(QStringView text, const QLocale &locale)
{
    qsizetype start = 0;
    while (start < text.size() && text[start].isSpace())
        ++start;
    const QString s = text.mid(start).toString();
    for (const Form &f : forms(locale)) {
        const QDateTime moment = f.locale.toDateTime(s, f.date + u' ' + f.time);
        if (moment.isValid())
            return moment;
        const QDate date = f.locale.toDate(s, f.date);
        if (date.isValid())
            return QDateTime(date, QTime(0, 0));
    }
    return std::nullopt;
}

} // namespace DateText
