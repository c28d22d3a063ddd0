#include "HttpReply.h"

#include <QList>

namespace {
// A head (status line, headers, trailers) or a chunk-size line longer than this is no
// answer a version server sends.
constexpr qsizetype kMaxHead = 16 * 1024;
} // namespace

void HttpReply::feed(QByteArrayView bytes)
{
    if (m_state == Done || m_state == Failed)
        return;
    m_pending.append(bytes.data(), bytes.size());
    while (step()) {
    }
    // Only what is not understood yet stays, never more than a line of the head.
    m_pending.remove(0, m_pos);
    m_pos = 0;
    if (m_pending.size() > kMaxHead)
        fail();
}

void HttpReply::endOfStream()
{
    if (m_state == Body && m_mode == UntilClose)
        m_state = Done;
    else if (m_state != Done)
        fail();
}

bool HttpReply::takeLine(QByteArray &line)
{
    const qsizetype end = m_pending.indexOf('\n', m_pos);
    if (end < 0)
        return false;
    qsizetype stop = end;
    if (stop > m_pos && m_pending.at(stop - 1) == '\r')
        --stop;
    line = m_pending.mid(m_pos, stop - m_pos);
    m_headBytes += end + 1 - m_pos;
    m_pos = end + 1;
    if (m_headBytes > kMaxHead)
        fail();
    return true;
}

bool HttpReply::step()
{
    QByteArray line;
    switch (m_state) {
    case StatusLine: {
        if (!takeLine(line) || m_state == Failed)
            return false;
        // "HTTP/1.1 200 OK": the version, a blank, three digits.
        const QList<QByteArray> parts = line.split(' ');
        bool ok = false;
        m_status = parts.value(1).toInt(&ok);
        if (!line.startsWith("HTTP/1.") || parts.value(1).size() != 3 || !ok || m_status < 100) {
            fail();
            return false;
        }
        m_state = Headers;
        return true;
    }
    case Headers:
    case Trailer:
        if (!takeLine(line) || m_state == Failed)
            return false;
        if (!line.isEmpty()) {
            if (m_state == Headers)
                header(line);
            return m_state != Failed;
        }
        if (m_state == Trailer)
            m_state = Done;
        else
            headEnded();
        return m_state != Done && m_state != Failed;
    case Body: {
        const qsizetype available = m_pending.size() - m_pos;
        const qsizetype take = m_mode == Length ? qsizetype(qMin<qint64>(m_remaining, available)) : available;
        if (take == 0)
            return false;
        append(QByteArrayView(m_pending).sliced(m_pos, take));
        m_pos += take;
        if (m_mode == Length && (m_remaining -= take) == 0 && m_state != Failed)
            m_state = Done;
        return m_state == Body;
    }
    case ChunkSize: {
        // Framing lines are not kept; each is bounded on its own.
        m_headBytes = 0;
        if (!takeLine(line) || m_state == Failed)
            return false;
        // The size in hexadecimal, perhaps followed by ";" and extensions.
        const qsizetype semicolon = line.indexOf(';');
        const QByteArray digits = (semicolon < 0 ? line : line.first(semicolon)).trimmed();
        bool ok = false;
        const qint64 size = digits.toLongLong(&ok, 16);
        if (!ok || digits.isEmpty() || digits.size() > 15 || size < 0 || size > m_maxBody - m_body.size()) {
            fail();
            return false;
        }
        m_remaining = size;
        m_state = size == 0 ? Trailer : ChunkData;
        return true;
    }
    case ChunkData: {
        const qsizetype take = qsizetype(qMin<qint64>(m_remaining, m_pending.size() - m_pos));
        if (take == 0)
            return false;
        append(QByteArrayView(m_pending).sliced(m_pos, take));
        m_pos += take;
        if ((m_remaining -= take) == 0 && m_state != Failed)
            m_state = ChunkEnd;
        return m_state != Failed;
    }
    case ChunkEnd:
        m_headBytes = 0;
        if (!takeLine(line) || m_state == Failed)
            return false;
        if (!line.isEmpty()) {
            fail();
            return false;
        }
        m_state = ChunkSize;
        return true;
    case Done:
    case Failed:
        return false;
    }
    return false;
}

void HttpReply::header(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) {
        fail();
        return;
    }
    const QByteArray name = line.first(colon).trimmed().toByteArray().toLower();
    const QByteArray value = line.sliced(colon + 1).trimmed().toByteArray();
    if (name == "content-length") {
        bool ok = false;
        const qint64 length = value.toLongLong(&ok);
        if (!ok || length < 0 || (m_length >= 0 && length != m_length)) {
            fail();
            return;
        }
        m_length = length;
    } else if (name == "transfer-encoding") {
        m_chunked = value.toLower().endsWith("chunked");
    } else if (name == "location") {
        m_location = value;
    }
}

void HttpReply::headEnded()
{
    // An interim answer ("100 Continue"): the real one follows.
    if (m_status < 200 && m_status != 101) {
        m_status = 0;
        m_chunked = false;
        m_length = -1;
        m_location.clear();
        m_state = StatusLine;
        return;
    }
    // Only a success carries the version file; of anything else the status is enough.
    if (m_status > 299 || m_status == 204) {
        m_state = m_status == 101 ? Failed : Done;
        return;
    }
    m_headBytes = 0;
    if (m_chunked) {
        m_state = ChunkSize;
    } else if (m_length >= 0) {
        if (m_length > m_maxBody) {
            fail();
            return;
        }
        m_mode = Length;
        m_remaining = m_length;
        m_state = m_length == 0 ? Done : Body;
    } else {
        m_mode = UntilClose;
        m_state = Body;
    }
}

void HttpReply::append(QByteArrayView part)
{
    if (m_body.size() + part.size() > m_maxBody) {
        fail();
        return;
    }
    m_body.append(part.data(), part.size());
}
