#include "launcher/updateserver.h"

#include "launcher/httpresponsereader.h"

namespace {

std::optional<quint16> ParsePort(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value < 1 || value > 65535)
        return std::nullopt;
    return quint16(value);
}

bool IsPlainHost(QStringView host)
{
    if (host.isEmpty())
        return false;
    for (const QChar c : host) {
        if (c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('[') ||
            c == QLatin1Char(']') || c == QLatin1Char('@'))
            return false;
    }
    return true;
}

} // namespace

std::optional<CUpdateServer> CUpdateServer::FromSetting(const QString& setting,
                                                        UpdateTimeouts timeouts)
{
    const QString text = setting.trimmed();
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 2)
            return std::nullopt;
        const QString address = text.mid(1, close - 1);
        const QStringView rest = QStringView(text).sliced(close + 1);
        if (!address.contains(QLatin1Char(':')) || !IsPlainHost(address))
            return std::nullopt;
        if (rest.isEmpty())
            return CUpdateServer(address, 80, timeouts);
        if (!rest.startsWith(QLatin1Char(':')))
            return std::nullopt;
        const std::optional<quint16> port = ParsePort(rest.sliced(1));
        if (!port)
            return std::nullopt;
        return CUpdateServer(address, *port, timeouts);
    }
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return IsPlainHost(text) ? std::optional(CUpdateServer(text, 80, timeouts)) : std::nullopt;
    // More than one colon without brackets: a bare IPv6 address, which carries no port.
    if (text.indexOf(QLatin1Char(':'), colon + 1) >= 0)
        return IsPlainHost(text) ? std::optional(CUpdateServer(text, 80, timeouts)) : std::nullopt;
    const QString host = text.left(colon);
    const std::optional<quint16> port = ParsePort(QStringView(text).sliced(colon + 1));
    if (!IsPlainHost(host) || !port)
        return std::nullopt;
    return CUpdateServer(host, *port, timeouts);
}

CUpdateServer::CUpdateServer(QString serverHost, quint16 serverPort, UpdateTimeouts serverTimeouts)
    : host(std::move(serverHost))
    , port(serverPort)
    , timeouts(serverTimeouts)
{}

QByteArray CUpdateServer::RequestFor(QByteArrayView path)
{
    return QByteArray("GET ") + path.toByteArray() + QByteArray(" HTTP/1.0\n\n");
}

CHttpConnection::Status CUpdateServer::Request(CHttpConnection& connection,
                                               QByteArrayView path) const
{
    const CHttpConnection::Status connected = connection.Connect(host, port, timeouts.connect);
    if (connected != CHttpConnection::Status::Ok)
        return connected;
    return connection.Send(RequestFor(path), timeouts.answer);
}

CUpdateServer::Document CUpdateServer::Fetch(QByteArrayView path, qint64 maxBytes,
                                             const CHttpConnection::WaitHook& hook) const
{
    using Status = CHttpConnection::Status;
    Document document;
    CHttpConnection connection(hook);
    const Status requested = Request(connection, path);
    if (requested != Status::Ok) {
        document.outcome = requested == Status::Stopped ? Outcome::Stopped : Outcome::Failed;
        return document;
    }
    CHttpResponseReader::Options options;
    options.lengthRequired = false;
    options.maxBodyBytes = maxBytes;
    CHttpResponseReader reader(options);
    char block[1024];
    while (reader.GetState() == CHttpResponseReader::State::Header ||
           reader.GetState() == CHttpResponseReader::State::Body) {
        const CHttpConnection::Received got =
            connection.Receive(block, sizeof block, timeouts.answer);
        if (got.status == Status::Stopped) {
            document.outcome = Outcome::Stopped;
            return document;
        }
        if (got.status == Status::Closed) {
            reader.Finish();
            break;
        }
        if (got.status != Status::Ok)
            return document;
        document.body.append(reader.Feed(QByteArrayView(block, got.count)));
    }
    if (reader.GetState() != CHttpResponseReader::State::Complete)
        return document;
    document.outcome = Outcome::Ok;
    return document;
}
