#include "UpdateCheck.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

namespace UpdateCheck {

std::optional<QByteArray> download(QNetworkAccessManager &http, const QUrl &url, int timeLimitMs)
{
    http.setProxy(QNetworkProxy::NoProxy);

    QNetworkRequest request(url);
    request.setRawHeader("Accept", "text/html, */*");
    request.setRawHeader("User-Agent", "Mozilla/3.0 (compatible; Indy Library)");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);

    QNetworkReply *reply = http.get(request);
    QByteArray body;
    bool failed = false;
    QEventLoop loop;

    auto fail = [&] {
        failed = true;
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body += reply->readAll();
        if (body.size() > kMaxReplySize)
            fail();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, [&](qint64, qint64 total) {
        if (total > kMaxReplySize)
            fail();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The program's own limit: a server that accepts the connection and never answers
    // must not keep the window waiting for ever.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, fail);
    deadline.start(timeLimitMs);

    if (!reply->isFinished())
        loop.exec();
    deadline.stop();

    if (!failed) {
        body += reply->readAll();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        failed = reply->error() != QNetworkReply::NoError || body.size() > kMaxReplySize
            || (status.isValid() && (status.toInt() < 200 || status.toInt() > 299));
    }
    reply->deleteLater();
    if (failed)
        return std::nullopt;
    return body;
}

} // namespace UpdateCheck
