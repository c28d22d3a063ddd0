#include "VersionReply.h"

#include "store/AppError.h"
#include "store/TextCodec.h"

#include <QCoreApplication>

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
    v.address = TextCodec::fromAnsi(reply.sliced(bar + 1));
    return v;
}

bool VersionReply::isNewerThan(int ownMajor, int ownMinor) const
{
    return major > ownMajor || (major == ownMajor && minor > ownMinor);
}

bool VersionReply::isWebAddress(QStringView address)
{
    return address.startsWith(u"http://", Qt::CaseInsensitive)
        || address.startsWith(u"https://", Qt::CaseInsensitive);
}
