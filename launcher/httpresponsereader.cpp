#include "launcher/httpresponsereader.h"

#include <algorithm>

namespace {

constexpr QByteArrayView kHeaderEnd("\r\n\r\n");
constexpr QByteArrayView kLineEnd("\r\n");

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

QByteArrayView Trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

bool EqualsIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A decimal number of digits only, without sign or blanks; nothing above `limit`.
qint64 ParseDecimal(QByteArrayView text, qint64 limit)
{
    if (text.isEmpty())
        return -1;
    qint64 value = 0;
    for (const char c : text) {
        if (!IsDigit(c))
            return -1;
        value = value * 10 + (c - '0');
        if (value > limit)
            return -1;
    }
    return value;
}

} // namespace

CHttpResponseReader::CHttpResponseReader()
    : CHttpResponseReader(Options{})
{}

CHttpResponseReader::CHttpResponseReader(Options readerOptions)
    : options(readerOptions)
{}

QByteArrayView CHttpResponseReader::Feed(QByteArrayView block)
{
    switch (state) {
    case State::Header: {
        const QByteArrayView rest = TakeHeader(block);
        if (state != State::Body)
            return {};
        return TakeBody(rest);
    }
    case State::Body:
        return TakeBody(block);
    case State::Complete:
        if (!block.isEmpty())
            Fail(Failure::TooLong);
        return {};
    case State::Failed:
        return {};
    }
    return {};
}

void CHttpResponseReader::Finish()
{
    switch (state) {
    case State::Header:
        Fail(Failure::Incomplete);
        break;
    case State::Body:
        if (length >= 0)
            Fail(Failure::TooShort);
        else
            state = State::Complete;
        break;
    case State::Complete:
    case State::Failed:
        break;
    }
}

QByteArrayView CHttpResponseReader::TakeHeader(QByteArrayView block)
{
    // The end marker may straddle two blocks: search from a little before the new bytes.
    const qsizetype before = header.size();
    const qsizetype room = kMaxHeaderBytes - before;
    header.append(block.first(std::min(room, block.size())));
    const qsizetype from = std::max<qsizetype>(0, before - (kHeaderEnd.size() - 1));
    const qsizetype end = QByteArrayView(header).indexOf(kHeaderEnd, from);
    if (end < 0) {
        if (header.size() >= kMaxHeaderBytes)
            Fail(Failure::HeaderTooLong);
        return {};
    }
    const qsizetype bodyStart = end + kHeaderEnd.size();
    headerDone = true;
    if (!ParseHeader(QByteArrayView(header).first(end)))
        return {};
    state = State::Body;
    // What follows the header in this block is the first part of the body.
    const QByteArrayView rest = block.sliced(bodyStart - before);
    header.clear();
    header.squeeze();
    return rest;
}

bool CHttpResponseReader::ParseHeader(QByteArrayView text)
{
    qsizetype lineEnd = text.indexOf(kLineEnd);
    if (lineEnd < 0)
        lineEnd = text.size();
    if (!ParseStatusLine(text.first(lineEnd)))
        return false;
    qsizetype pos = lineEnd + kLineEnd.size();
    while (pos < text.size()) {
        qsizetype next = text.indexOf(kLineEnd, pos);
        if (next < 0)
            next = text.size();
        if (!ParseField(text.sliced(pos, next - pos)))
            return false;
        pos = next + kLineEnd.size();
    }
    if (length < 0 && options.lengthRequired) {
        Fail(Failure::NoLength);
        return false;
    }
    if (length > options.maxBodyBytes) {
        Fail(Failure::TooLong);
        return false;
    }
    return true;
}

bool CHttpResponseReader::ParseStatusLine(QByteArrayView line)
{
    // "HTTP/" digits "." digits, one blank, three digits, then the end or a blank.
    constexpr QByteArrayView kPrefix("HTTP/");
    if (!line.startsWith(kPrefix)) {
        Fail(Failure::BadStatusLine);
        return false;
    }
    qsizetype pos = kPrefix.size();
    const auto digits = [&] {
        const qsizetype start = pos;
        while (pos < line.size() && IsDigit(line[pos]))
            ++pos;
        return pos > start;
    };
    const bool versionOk = digits() && pos < line.size() && line[pos++] == '.' && digits();
    if (!versionOk || pos >= line.size() || line[pos++] != ' ' || line.size() < pos + 3) {
        Fail(Failure::BadStatusLine);
        return false;
    }
    const QByteArrayView code = line.sliced(pos, 3);
    if (!std::all_of(code.begin(), code.end(), IsDigit) ||
        (line.size() > pos + 3 && line[pos + 3] != ' ')) {
        Fail(Failure::BadStatusLine);
        return false;
    }
    status = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    if (status != 200) {
        Fail(Failure::Status);
        return false;
    }
    return true;
}

bool CHttpResponseReader::ParseField(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return true; // not a field we need; HTTP/1.0 servers send odd lines at times
    const QByteArrayView name = line.first(colon);
    const QByteArrayView value = Trimmed(line.sliced(colon + 1));
    if (EqualsIgnoringCase(name, "Content-Length")) {
        const qint64 parsed = ParseDecimal(value, kMaxContentLength);
        // Two different lengths leave the end of the body in doubt.
        if (parsed <= 0 || (length >= 0 && parsed != length)) {
            Fail(Failure::BadLength);
            return false;
        }
        length = parsed;
    } else if (EqualsIgnoringCase(name, "Transfer-Encoding") &&
               !EqualsIgnoringCase(value, "identity")) {
        Fail(Failure::Encoding);
        return false;
    }
    return true;
}

QByteArrayView CHttpResponseReader::TakeBody(QByteArrayView bytes)
{
    const qint64 limit = length >= 0 ? length : options.maxBodyBytes;
    if (bytes.size() > limit - received) {
        Fail(Failure::TooLong);
        return {};
    }
    received += bytes.size();
    if (length >= 0 && received == length)
        state = State::Complete;
    return bytes;
}

void CHttpResponseReader::Fail(Failure reason)
{
    state = State::Failed;
    failure = reason;
}
