#include "commandparser.h"

#include "telegram.h"

namespace devsim {

namespace {

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

Request textRequest(const QByteArray &line)
{
    Request request;
    request.raw = line;
    request.known = true;
    if (line == "LP") {
        request.command = Command::ReadParameters;
    } else if (line == "L_ZLW") {
        request.command = Command::ReadCounter;
    } else if (line == "S_ZLW" || line.startsWith("S_ZLW ")) {
        request.command = Command::WriteCounter;
        request.argument = line.mid(6);
    } else {
        request.known = false;
    }
    return request;
}

} // namespace

qsizetype CommandParser::takeDropped()
{
    const qsizetype dropped = m_dropped;
    m_dropped = 0;
    return dropped;
}

std::optional<Request> CommandParser::next()
{
    int start = 0;
    while (start < m_pending.size() && isLineEnd(m_pending.at(start)))
        ++start;
    m_pending.remove(0, start);
    if (m_pending.isEmpty())
        return std::nullopt;

    qsizetype length = -1; // bytes taken from the buffer, line end included
    qsizetype contentLength = -1;
    if (m_pending.startsWith("SP ")) {
        if (m_pending.size() < 4)
            return std::nullopt;
        if (quint8(m_pending.at(3)) == tavik7::kWriteTelegramLengthByte) {
            if (m_pending.size() >= tavik7::kWriteTelegramSize)
                length = contentLength = tavik7::kWriteTelegramSize;
        } else {
            const qsizetype end = m_pending.indexOf("\r\n");
            if (end >= 0)
                length = contentLength = end + 2;
        }
    } else {
        for (qsizetype i = 0; i < m_pending.size(); ++i) {
            if (isLineEnd(m_pending.at(i))) {
                contentLength = i;
                length = i + 1;
                break;
            }
        }
    }

    if (length < 0) {
        // Nothing complete yet. A sender that never ends its command must
        // not make the buffer grow without bound.
        if (m_pending.size() > kMaxPending) {
            m_dropped += m_pending.size();
            m_pending.clear();
        }
        return std::nullopt;
    }

    const QByteArray raw = m_pending.left(contentLength);
    m_pending.remove(0, length);
    if (raw.startsWith("SP ")) {
        Request request;
        request.known = true;
        request.command = Command::WriteParameters;
        request.raw = raw;
        return request;
    }
    return textRequest(raw);
}

} // namespace devsim
