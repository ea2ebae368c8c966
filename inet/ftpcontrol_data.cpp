// The data connections of a control connection: active and passive mode, the fallback
// between them, and the listings read over them.
#include "inet/ftpcontrol.h"

#include "inet/ftpdatachannel.h"
#include "inet/ftpsessionshared.h"
#include "inet/listingparser.h"

#include <QDateTime>

namespace {

constexpr qint64 kListingLimit = 256LL * 1024 * 1024;

} // namespace

std::unique_ptr<FtpDataChannel> FtpControl::OpenData(const QByteArray& command,
                                                     FileAccess direction, TransferType type)
{
    EnsureUsable();
    EnsureNoOpenFile();
    SetType(type);
    for (int attempt = 0;; ++attempt) {
        QString failure;
        std::unique_ptr<FtpDataChannel> channel = passive ? OpenPassive(command, direction, failure)
                                                          : OpenActive(command, direction, failure);
        if (channel)
            return channel;
        EnsureUsable();
        if (modeSwitched || attempt > 0)
            throw CInternetException(
                InetErrorKind::DataConnection,
                QStringLiteral("No data connection could be made: %1").arg(failure));
        // This mode does not work here (a firewall, NAT, a server that refuses it): the
        // other one is used for the rest of the connection's life.
        passive = !passive;
        modeSwitched = true;
    }
}

std::unique_ptr<FtpDataChannel> FtpControl::OpenPassive(const QByteArray& command,
                                                        FileAccess direction, QString& failure)
{
    std::optional<quint16> port;
    const bool v4 = [this] {
        unsigned char bytes[4];
        return peer.IPv4Bytes(bytes);
    }();
    if (!epsvRefused && (features.epsv || !v4)) {
        const FtpReply reply = Execute("EPSV");
        if (reply.code == 229)
            port = ParseEpsvReply(reply.FirstLineText());
        else if (reply.Class() == 5)
            epsvRefused = true;
        failure = QStringLiteral("EPSV: %1 %2").arg(reply.code).arg(reply.Text());
    }
    if (!port && v4) {
        const FtpReply reply = Execute("PASV");
        if (reply.code == 227) {
            // Only the port is taken: the address a server names may be a private one, or
            // a third party's.
            if (const std::optional<FtpPassiveReply> target = ParsePasvReply(reply.FirstLineText()))
                port = target->port;
        }
        failure = QStringLiteral("PASV: %1 %2").arg(reply.code).arg(reply.Text());
    }
    if (!port)
        return nullptr;

    CSocketAddress target = peer;
    target.SetPort(*port);
    CFtpWaiter waiter(shared.get());
    const InternetOptions options = shared->Options();
    CFtpSocket data;
    try {
        data = CFtpSocket::Connect({target}, DeadlineIn(options.connectTimeout), waiter,
                                   QStringLiteral("the server's data port %1").arg(*port));
    } catch (const CInternetException& e) {
        if (e.Kind() == InetErrorKind::Cancelled)
            throw;
        failure = e.Message();
        return nullptr;
    }

    SendLine(command, waiter);
    const FtpReply reply = ReadReply(waiter, DeadlineIn(options.replyTimeout));
    if (reply.Class() == 1)
        return std::make_unique<FtpDataChannel>(shared, std::move(data), direction, std::nullopt);
    if (reply.Class() == 2) // done without a preliminary reply: the data is there already
        return std::make_unique<FtpDataChannel>(shared, std::move(data), direction, reply);
    if (reply.code == 425) {
        failure = QStringLiteral("%1 %2").arg(reply.code).arg(reply.Text());
        return nullptr;
    }
    throw ReplyError(InetErrorKind::Reply, QStringLiteral("The server refused the transfer"),
                     reply);
}

bool FtpControl::AnnounceActivePort(const CSocketAddress& listening, QString& failure)
{
    unsigned char v4[4];
    const bool isV4 = listening.IPv4Bytes(v4);
    const quint16 port = listening.Port();
    if (!eprtRefused && (features.eprt || !isV4)) {
        const QByteArray text = QStringLiteral("EPRT |%1|%2|%3|")
                                    .arg(isV4 ? 1 : 2)
                                    .arg(listening.Host())
                                    .arg(port)
                                    .toLatin1();
        const FtpReply reply = Execute(text);
        if (reply.Class() == 2)
            return true;
        if (reply.Class() == 5)
            eprtRefused = true;
        failure = QStringLiteral("EPRT: %1 %2").arg(reply.code).arg(reply.Text());
    }
    if (!isV4)
        return false;
    const QByteArray text = QStringLiteral("PORT %1,%2,%3,%4,%5,%6")
                                .arg(v4[0])
                                .arg(v4[1])
                                .arg(v4[2])
                                .arg(v4[3])
                                .arg(port >> 8)
                                .arg(port & 0xFF)
                                .toLatin1();
    const FtpReply reply = Execute(text);
    if (reply.Class() == 2)
        return true;
    failure = QStringLiteral("PORT: %1 %2").arg(reply.code).arg(reply.Text());
    return false;
}

std::unique_ptr<FtpDataChannel> FtpControl::OpenActive(const QByteArray& command,
                                                       FileAccess direction, QString& failure)
{
    CFtpSocket listener = CFtpSocket::Listen(local);
    if (!listener.IsValid()) {
        failure = QStringLiteral("no port to listen on: %1").arg(SystemErrorText(errno));
        return nullptr;
    }
    if (!AnnounceActivePort(listener.LocalAddress(), failure))
        return nullptr;

    CFtpWaiter waiter(shared.get());
    const InternetOptions options = shared->Options();
    SendLine(command, waiter);
    const auto acceptDeadline = DeadlineIn(options.acceptTimeout);
    const auto replyDeadline = DeadlineIn(options.replyTimeout);
    std::optional<FtpReply> first;
    CFtpSocket data;
    try {
        for (;;) {
            if (!first) {
                if (std::optional<FtpReply> reply = reader.Next()) {
                    if (reply->code == 421)
                        MarkLost(QStringLiteral("closed by the server: %1").arg(reply->Text()));
                    if (reply->code == 425) {
                        failure = QStringLiteral("%1 %2").arg(reply->code).arg(reply->Text());
                        return nullptr;
                    }
                    if (reply->Class() != 1 && reply->Class() != 2)
                        throw ReplyError(InetErrorKind::Reply,
                                         QStringLiteral("The server refused the transfer"), *reply);
                    first = std::move(reply);
                }
            }
            if (data.IsValid() && first)
                break;
            if (first && first->Class() == 2 && !data.IsValid()) {
                // Finished without connecting: nothing was to be sent, or it is queued.
                CSocketAddress from;
                CFtpSocket pending = listener.Accept(from);
                if (pending.IsValid() && from.SameHost(peer))
                    data = std::move(pending);
                break;
            }
            pollfd items[2] = {{socket.Fd(), POLLIN, 0}, {listener.Fd(), POLLIN, 0}};
            const nfds_t count = data.IsValid() ? 1 : 2;
            if (!waiter.Wait(items, count, data.IsValid() ? replyDeadline : acceptDeadline)) {
                if (data.IsValid()) {
                    MarkLost(QStringLiteral("time-out"));
                    throw CInternetException(InetErrorKind::Timeout,
                                             QStringLiteral("The server did not answer in time."));
                }
                AbortTransfer(!first || first->Class() == 1);
                failure = QStringLiteral("the server did not connect within %1 s")
                              .arg(options.acceptTimeout.count() / 1000.0);
                return nullptr;
            }
            if (count == 2 && (items[1].revents & POLLIN)) {
                CSocketAddress from;
                CFtpSocket accepted = listener.Accept(from);
                // Only the server may deliver the data; anyone else is turned away.
                if (accepted.IsValid() && from.SameHost(peer))
                    data = std::move(accepted);
            }
            if (items[0].revents)
                ReceiveIntoReader();
        }
    } catch (const CInternetException& e) {
        if (e.Kind() == InetErrorKind::Cancelled && !lost)
            AbortTransfer(!first || first->Class() == 1);
        throw;
    }
    std::optional<FtpReply> done;
    if (first->Class() == 2)
        done = std::move(first);
    return std::make_unique<FtpDataChannel>(shared, std::move(data), direction, std::move(done));
}

bool FtpControl::UseMachineListings() const
{
    return features.mlst && shared->Options().useMachineListings;
}

std::vector<FtpListEntry> FtpControl::List(const QByteArray& folder)
{
    const bool mlsd = UseMachineListings();
    QByteArray command = mlsd ? "MLSD" : "LIST";
    if (!folder.isEmpty())
        command += ' ' + SafePathArgument(folder);
    std::unique_ptr<FtpDataChannel> channel =
        OpenData(command, FileAccess::Read, TransferType::Ascii);
    // An open search on this connection has its entries already; a listing for Stat may
    // run beside it, holding a lease of its own that the connection does not count.
    channel->Hold(lease ? std::make_shared<FtpLease>(FtpLease{this, true}) : AcquireLease(true));
    const QByteArray data = channel->ReadAll(kListingLimit);
    channel->Close();
    std::vector<FtpListEntry> entries = ParseListing(
        data, mlsd ? ListingFormat::Mlsd : ListingFormat::List, QDateTime::currentSecsSinceEpoch());
    for (const FtpListEntry& entry : entries)
        shared->codec.Learn(entry);
    return entries;
}

std::optional<FtpListEntry> FtpControl::Mlst(const QByteArray& path)
{
    const FtpReply reply = Execute("MLST " + path);
    if (reply.code == 550 || reply.code == 450)
        return std::nullopt;
    if (reply.Class() != 2)
        throw ReplyError(InetErrorKind::Reply, QStringLiteral("The server refused MLST"), reply);
    for (const QByteArray& line : reply.lines) {
        if (line.startsWith(' ')) {
            std::optional<FtpListEntry> entry = ParseMlstLine(QByteArrayView(line).sliced(1));
            if (entry)
                shared->codec.Learn(*entry);
            return entry;
        }
    }
    return std::nullopt;
}
