#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>
#include <optional>

// One plain HTTP GET of the version file, waited for on the calling thread.
namespace UpdateCheck {

// The reply is a one-line text; anything larger is not the version file.
constexpr qint64 kMaxReplySize = 64 * 1024;
constexpr int kDefaultTimeLimitMs = 20 * 1000;

// Downloads `url` without proxy or authentication, with the headers the update server
// expects, following up to five redirects that are no less safe (https never leads to
// http). Returns the body, or nothing when the request failed for any reason: no
// connection, an HTTP error status, no complete answer within `timeLimitMs`, or a body
// larger than kMaxReplySize. Runs a local event loop until the request ends. The answer is
// read as it arrives and cut as soon as it is too large, so a server that never stops
// sending costs no more memory than a proper answer.
std::optional<QByteArray> download(const QUrl &url, int timeLimitMs);

// The about window's HTTP client, `http`: download() as a component of the window.
class HttpClient : public QObject
{
public:
    using QObject::QObject;
    std::optional<QByteArray> get(const QUrl &url, int timeLimitMs) { return download(url, timeLimitMs); }
};

} // namespace UpdateCheck
