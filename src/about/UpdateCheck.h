#pragma once

#include <QByteArray>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;

// One plain HTTP GET of the version file, waited for on the calling thread.
namespace UpdateCheck {

// The reply is a one-line text; anything larger is not the version file.
constexpr qint64 kMaxReplySize = 64 * 1024;
constexpr int kDefaultTimeLimitMs = 20 * 1000;

// Downloads `url` without proxy or authentication, with the headers the update server
// expects. Returns the body, or nothing when the request failed for any reason: no
// connection, an HTTP error status, no complete answer within `timeLimitMs`, or a body
// larger than kMaxReplySize. Runs a local event loop until the request ends.
std::optional<QByteArray> download(QNetworkAccessManager &http, const QUrl &url, int timeLimitMs);

} // namespace UpdateCheck
