#include "VersionReply.h"

#include "store/AppError.h"
#include "store/TextCodec.h"

#include <QCoreApplication>
#include <QUrl>

namespace {

QString shown(QByteArrayView text)
{
    constexpr qsizetype kMax = 40;
    QString s = TextCodec::fromAnsi(text.first(qMin(text.size(), kMax))).simplified();
    if (text.size() > kMax)
        s += QStringLiteral("...");
    return s;
}

int versionNumber(QByteArrayView text, const char *which)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    if (!ok) {
        throw AppError(QCoreApplication::translate("VersionReply",
                                                   "Risposta non valida dal server degli aggiornamenti: "
                                                   "la versione %1 \"%2\" non è un numero intero.")
                           .arg(QLatin1String(which), shown(text)));
    }
    return n;
}

} // namespace

VersionReply VersionReply::parse(QByteArrayView reply)
{
    const qsizetype dot = reply.indexOf('.');
    if (dot < 0) {
        throw AppError(QCoreApplication::translate("VersionReply",
                                                   "Risposta non valida dal server degli aggiornamenti: "
                                                   "manca il punto nel numero di versione (\"%1\").")
                           .arg(shown(reply)));
    }
    const qsizetype bar = reply.indexOf('|', dot);
    if (bar < 0) {
        throw AppError(QCoreApplication::translate("VersionReply",
                                                   "Risposta non valida dal server degli aggiornamenti: "
                                                   "manca il separatore \"|\" dopo la versione (\"%1\").")
                           .arg(shown(reply)));
    }
    VersionReply v;
    v.major = versionNumber(reply.first(dot), "principale");
    v.minor = versionNumber(reply.sliced(dot + 1, bar - dot - 1), "secondaria");
    // The address ends with its line; nothing but line ends may follow it.
    const QByteArrayView rest = reply.sliced(bar + 1);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != '\r' && rest[end] != '\n')
        ++end;
    bool onlyLineEnds = true;
    for (qsizetype i = end; i < rest.size(); ++i)
        onlyLineEnds = onlyLineEnds && (rest[i] == '\r' || rest[i] == '\n');
    v.address = TextCodec::fromAnsi(rest.first(end));
    if (!onlyLineEnds || !isWebAddress(v.address)) {
        throw AppError(QCoreApplication::translate("VersionReply",
                                                   "Risposta non valida dal server degli aggiornamenti: "
                                                   "l'indirizzo per scaricare la nuova versione non è un "
                                                   "indirizzo web (\"%1\").")
                           .arg(shown(rest)));
    }
    return v;
}

bool VersionReply::isNewerThan(int ownMajor, int ownMinor) const
{
    return major > ownMajor || (major == ownMajor && minor > ownMinor);
}

bool VersionReply::isWebAddress(QStringView address)
{
    if (!address.startsWith(u"http://", Qt::CaseInsensitive) && !address.startsWith(u"https://", Qt::CaseInsensitive))
        return false;
    for (const QChar c : address) {
        const QChar::Category category = c.category();
        if (c.isSpace() || category == QChar::Other_Control || category == QChar::Other_Format)
            return false;
    }
    const QUrl url(address.toString());
    return url.isValid() && !url.host().isEmpty();
}
