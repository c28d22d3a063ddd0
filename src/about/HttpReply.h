#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Reads one HTTP/1.x answer as its bytes arrive, keeping no more than the body it may keep
// and a few framing bytes not yet understood: a server that sends without end, in one giant
// chunk or in many, costs no more memory than a normal answer. Only a successful answer's
// body is read; for any other status the head is enough.
class HttpReply
{
public:
    explicit HttpReply(qsizetype maxBody) : m_maxBody(maxBody) {}

    // Takes the next bytes from the connection.
    void feed(QByteArrayView bytes);
    // The server closed the connection: the end of a body without length, a cut-off answer
    // otherwise.
    void endOfStream();

    // A whole answer has been read; the connection is no longer needed.
    bool done() const { return m_state == Done; }
    // Not HTTP, malformed, or a body larger than allowed.
    bool failed() const { return m_state == Failed; }

    int status() const { return m_status; }
    // The Location header of a redirect, as sent.
    QByteArray location() const { return m_location; }
    QByteArray body() const { return m_body; }

private:
    enum State { StatusLine, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailer, Done, Failed };
    enum BodyMode { Length, UntilClose };

    bool step();
    bool takeLine(QByteArray &line);
    void header(QByteArrayView line);
    void headEnded();
    void append(QByteArrayView part);
    void fail() { m_state = Failed; }

    const qsizetype m_maxBody;
    State m_state = StatusLine;
    BodyMode m_mode = UntilClose;
    QByteArray m_pending;
    qsizetype m_pos = 0;
    qsizetype m_headBytes = 0;
    qint64 m_remaining = 0;
    int m_status = 0;
    bool m_chunked = false;
    qint64 m_length = -1;
    QByteArray m_location;
    QByteArray m_body;
};
