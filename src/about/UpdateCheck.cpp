#include "UpdateCheck.h"

#include "HttpReply.h"
#include "store/FileAccess.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkProxy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// The request is made on a socket of our own rather than through QNetworkAccessManager:
// that one reads ahead without limit inside a chunk, so a reply of one endless chunk took
// hundreds of megabytes before the size check ever saw it.

namespace UpdateCheck {

namespace {

constexpr int kMaxRedirects = 5;
// How far the socket reads ahead of what the reply has taken.
constexpr qint64 kReadAhead = 16 * 1024;

bool isWeb(const QUrl &url)
{
    return (url.scheme() == u"http" || url.scheme() == u"https") && !url.host().isEmpty();
}

QByteArray request(const QUrl &url)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    return "GET " + target + " HTTP/1.1\r\n"
        + "Host: " + url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1() + "\r\n"
        + "Accept: text/html, */*\r\n"
        + "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
        + "Connection: close\r\n\r\n";
}

// One GET over one connection; true when a whole answer arrived in time.
bool fetch(const QUrl &url, int timeLimitMs, HttpReply &reply)
{
    const bool tls = url.scheme() == u"https";
    std::unique_ptr<QTcpSocket> socket;
    if (tls) {
        if (!QSslSocket::supportsSsl())
            return false;
        socket = std::make_unique<QSslSocket>();
    } else {
        socket = std::make_unique<QTcpSocket>();
    }
    socket->setProxy(QNetworkProxy::NoProxy);
    // The socket stops reading from the network when this much waits: what the server sends
    // beyond it stays with the server until the reply has taken the rest.
    socket->setReadBufferSize(kReadAhead);

    QEventLoop loop;
    bool broken = false;
    const auto send = [&] { socket->write(request(url)); };
    if (tls)
        QObject::connect(static_cast<QSslSocket *>(socket.get()), &QSslSocket::encrypted, &loop, send);
    else
        QObject::connect(socket.get(), &QTcpSocket::connected, &loop, send);
    if (tls) {
        QObject::connect(socket.get(), &QTcpSocket::readyRead, &loop, [&] {
            reply.feed(socket->readAll());
            if (reply.done() || reply.failed())
                loop.quit();
        });
    } else {
        // Unbuffered, the socket reads only when asked: each read is preceded by a look at
        // what waits, so that a reset is seen as one before Qt could take it for a close.
        QObject::connect(socket.get(), &QTcpSocket::readyRead, &loop, [&] {
            char block[4096];
            bool readAny = false;
            for (;;) {
                const FileAccess::SocketState state = FileAccess::peekSocket(socket->socketDescriptor());
                if (state == FileAccess::SocketState::Closed) {
                    reply.endOfStream();
                    loop.quit();
                    return;
                }
                if (state == FileAccess::SocketState::Reset) {
                    broken = true;
                    loop.quit();
                    return;
                }
                // Nothing to read after all: one read all the same, which asks the socket to
                // tell of the next bytes again.
                if (state == FileAccess::SocketState::Nothing && readAny)
                    return;
                const qint64 n = socket->read(block, sizeof block);
                if (n < 0) {
                    // An end that came between the look and the read: not known to be clean.
                    broken = true;
                    loop.quit();
                    return;
                }
                if (n == 0)
                    return;
                readAny = true;
                reply.feed(QByteArrayView(block, n));
                if (reply.done() || reply.failed()) {
                    loop.quit();
                    return;
                }
            }
        });
    }
    QObject::connect(socket.get(), &QTcpSocket::disconnected, &loop, [&] {
        if (tls) {
            reply.feed(socket->readAll());
            reply.endOfStream();
        } else if (!reply.done()) {
            // Unread, the socket sees an end only when a write fails.
            broken = true;
        }
        loop.quit();
    });
    QObject::connect(socket.get(), &QTcpSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError error) {
        // A server that closes after its answer is the end of the answer, seen on disconnected.
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;
        broken = true;
        loop.quit();
    });
    // The program's own limit: a server that accepts the connection and never answers
    // must not keep the window waiting for ever.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        broken = true;
        loop.quit();
    });
    deadline.start(timeLimitMs);

    const quint16 port = quint16(url.port(tls ? 443 : 80));
    if (tls)
        static_cast<QSslSocket *>(socket.get())->connectToHostEncrypted(url.host(), port);
    else
        socket->connectToHost(url.host(), port, QIODevice::ReadWrite | QIODevice::Unbuffered);
    // A connection refused at once has quit the loop before it started.
    if (!broken && !reply.done() && !reply.failed())
        loop.exec();
    // Closing is no news for the handlers above.
    socket->disconnect(&loop);
    socket->abort();
    return !broken && reply.done();
}

} // namespace

std::optional<QByteArray> download(const QUrl &start, int timeLimitMs)
{
    QElapsedTimer clock;
    clock.start();
    QUrl url = start;
    for (int redirects = 0;; ++redirects) {
        const qint64 left = timeLimitMs - clock.elapsed();
        if (!isWeb(url) || left <= 0)
            return std::nullopt;
        HttpReply reply(kMaxReplySize);
        if (!fetch(url, int(left), reply))
            return std::nullopt;
        const int status = reply.status();
        if (status >= 300 && status <= 399 && !reply.location().isEmpty()) {
            const QUrl next = url.resolved(QUrl::fromEncoded(reply.location()));
            if (redirects == kMaxRedirects || (url.scheme() == u"https" && next.scheme() != u"https"))
                return std::nullopt;
            url = next;
            continue;
        }
        if (status < 200 || status > 299)
            return std::nullopt;
        return reply.body();
    }
}

} // namespace UpdateCheck
