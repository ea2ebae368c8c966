#pragma once

#include "launcher/httpconnection.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

// How long the launcher waits for the update server.
struct UpdateTimeouts
{
    std::chrono::milliseconds connect{5000};
    // The first answer to a request, and every block of a small document.
    std::chrono::milliseconds answer{5000};
    // Silence in the middle of a download; Cancel works all the while.
    std::chrono::milliseconds stall{60000};
};

// The server the launcher asks for the newest version and fetches it from, as the settings
// value "UpdateServer" names it: "host" or "host:port" (port 80 when absent), and for IPv6
// "[address]" or "[address]:port". Requests go out in the one form the update server has
// always been sent: "GET <path> HTTP/1.0\n\n", nothing else.
class CUpdateServer
{
public:
    enum class Outcome { Ok, Failed, Stopped };

    struct Document
    {
        Outcome outcome = Outcome::Failed;
        QByteArray body;
    };

    // Nothing when the text names no usable server.
    static std::optional<CUpdateServer> FromSetting(const QString& text,
                                                    UpdateTimeouts timeouts = {});

    CUpdateServer(QString host, quint16 port, UpdateTimeouts timeouts = {});

    QString Host() const { return host; }
    quint16 Port() const { return port; }
    const UpdateTimeouts& GetTimeouts() const { return timeouts; }

    static QByteArray RequestFor(QByteArrayView path);

    // Connects `connection` and sends the request for `path`.
    CHttpConnection::Status Request(CHttpConnection& connection, QByteArrayView path) const;

    // Fetches a small document whole: a 200 reply, with or without a length, of at most
    // `maxBytes` body bytes. Anything else is Failed; Stopped when `hook` said stop.
    Document Fetch(QByteArrayView path, qint64 maxBytes,
                   const CHttpConnection::WaitHook& hook) const;

private:
    QString host;
    quint16 port;
    UpdateTimeouts timeouts;
};
