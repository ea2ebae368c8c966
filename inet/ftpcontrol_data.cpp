// The data connections of a control connection: active and passive mode, the fallback
// between them, and the listings read over them.
#include "inet/ftpcontrol.h"

#include "inet/ftpdatachannel.h"
#include "inet/ftpplainstream.h"
#include "inet/ftpsessionshared.h"
#include "inet/listingreader.h"

#include <QDateTime>
#include <QScopeGuard>

namespace {

// Past these a listing is given up: a folder that big, or a server that sends lines
// without end, would eat the machine.
constexpr qint64 kUnreadableLinesPerEntry = 2;
constexpr qint64 kListingChunk = 64 * 1024;

} // namespace

std::unique_ptr<CFtpDataChannel> CFtpControl::OpenData(const QByteArray& command,
                                                       FileAccess direction, TransferType type,
                                                       std::optional<quint64> restartAt)
{
    EnsureUsable();
    EnsureNoOpenFile();
    pendingRestart = restartAt;
    restartRefused = false;
    const auto clearRestart = qScopeGuard([this] { pendingRestart.reset(); });
    std::optional<QByteArray> directory;
    const auto endRedo = qScopeGuard([this] { dataRedoing = dataRedoPending = false; });
    for (int attempt = 0;; ++attempt) {
        if (shared->Facts(modeKey).passive != passive && !directory) {
            // A mode on trial may cost the connection; a fresh one must find its way back.
            const FtpReply pwd = Execute("PWD");
            directory = pwd.code == 257 ? ParsePwdReply(pwd.FirstLineText()).value_or(QByteArray())
                                        : QByteArray();
        }
        SetType(type);
        QString failure;
        std::unique_ptr<CFtpDataChannel> channel = passive
                                                       ? OpenPassive(command, direction, failure)
                                                       : OpenActive(command, direction, failure);
        if (channel) {
            shared->SetPassive(modeKey, passive);
            return channel;
        }
        // Refused for a spent TLS ticket (SecureData): once more in the same mode.
        if (std::exchange(dataRedoPending, false) && !dataRedoing) {
            dataRedoing = true;
            --attempt;
            continue;
        }
        if (modeSwitched || attempt > 0)
            throw CInternetException(
                InetErrorKind::DataConnection,
                QStringLiteral("No data connection could be made: %1").arg(failure));
        // This mode does not work here (a firewall, NAT, a server that refuses it): the
        // other one is used for the rest of the connection's life, on a fresh connection
        // when the failed attempt left this one out of step.
        passive = !passive;
        modeSwitched = true;
        if (line.IsLost())
            Reconnect(directory.value_or(QByteArray()));
    }
}

std::unique_ptr<CFtpDataChannel> CFtpControl::OpenPassive(const QByteArray& command,
                                                          FileAccess direction, QString& failure)
{
    std::optional<quint16> port;
    const bool v4 = [this] {
        unsigned char bytes[4];
        return line.peer.IPv4Bytes(bytes);
    }();
    // A restart goes between the two, so they cannot share one write.
    if (!epsvRefused && commandBehindEpsv.value_or(false) && !pendingRestart)
        return OpenPassiveTogether(command, direction, failure);
    if (!epsvRefused && (line.features.epsv || !v4)) {
        const FtpReply reply = Execute("EPSV");
        if (reply.code == 229 && !commandBehindEpsv)
            commandBehindEpsv = true;
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

    CFtpWaiter waiter(shared.get());
    std::optional<CFtpSocket> data = ConnectDataPort(*port, waiter, failure);
    if (!data)
        return nullptr;

    SendRestart();
    SendLine(command, waiter);
    const FtpReply reply = line.ReadReply(waiter, DeadlineIn(shared->Options().replyTimeout));
    if (reply.Class() == 1)
        return MakeChannel(std::move(*data), direction, std::nullopt);
    if (reply.Class() == 2) // done without a preliminary reply: the data is there already
        return MakeChannel(std::move(*data), direction, reply);
    if (reply.code == 425) {
        failure = QStringLiteral("%1 %2").arg(reply.code).arg(reply.Text());
        return nullptr;
    }
    throw ReplyError(InetErrorKind::Reply, QStringLiteral("The server refused the transfer"),
                     reply);
}

std::unique_ptr<CFtpDataChannel>
CFtpControl::OpenPassiveTogether(const QByteArray& command, FileAccess direction, QString& failure)
{
    CFtpWaiter waiter(shared.get());
    const InternetOptions options = shared->Options();
    DiscardStrayReplies(waiter);
    SendLine("EPSV\r\n" + command, waiter);
    const FtpReply epsv = line.ReadReply(waiter, DeadlineIn(options.replyTimeout));
    const std::optional<quint16> port =
        epsv.code == 229 ? ParseEpsvReply(epsv.FirstLineText()) : std::nullopt;
    std::optional<CFtpSocket> data;
    if (port)
        data = ConnectDataPort(*port, waiter, failure);
    // The command's reply comes whatever became of its EPSV.
    const FtpReply reply = line.ReadReply(waiter, DeadlineIn(options.replyTimeout));
    if (data && reply.Class() == 1)
        return MakeChannel(std::move(*data), direction, std::nullopt);
    if (data && reply.Class() == 2)
        return MakeChannel(std::move(*data), direction, reply);
    if (reply.Class() == 1 || reply.Class() == 2)
        throw ReplyError(InetErrorKind::Protocol,
                         QStringLiteral("The server started a transfer without its data port"),
                         reply);
    if (data && reply.code != 425 && reply.code != 426)
        throw ReplyError(InetErrorKind::Reply, QStringLiteral("The server refused the transfer"),
                         reply);
    // The server did not take the command behind its EPSV (or the data port failed): the
    // two go one after the other from now on.
    commandBehindEpsv = false;
    if (!port && epsv.Class() == 5)
        epsvRefused = true;
    return OpenPassive(command, direction, failure);
}

void CFtpControl::SendRestart()
{
    if (!pendingRestart)
        return;
    const FtpReply reply = Execute("REST " + QByteArray::number(*pendingRestart));
    restartRefused = reply.code != 350;
    if (restartRefused)
        throw ReplyError(InetErrorKind::Reply,
                         QStringLiteral("The server cannot continue a transfer part-way"), reply);
}

std::optional<CFtpSocket> CFtpControl::ConnectDataPort(quint16 port, CFtpWaiter& waiter,
                                                       QString& failure)
{
    // Only the port is taken from the server: the data comes from the control
    // connection's peer.
    CSocketAddress target = line.peer;
    target.SetPort(port);
    try {
        return CFtpSocket::Connect({target}, DeadlineIn(shared->Options().connectTimeout), waiter,
                                   QStringLiteral("the server's data port %1").arg(port));
    } catch (const CInternetException& e) {
        if (e.Kind() == InetErrorKind::Cancelled)
            throw;
        failure = e.Message();
        return std::nullopt;
    }
}

bool CFtpControl::AnnounceActivePort(const CSocketAddress& listening, QString& failure)
{
    unsigned char v4[4];
    const bool isV4 = listening.IPv4Bytes(v4);
    const quint16 port = listening.Port();
    if (!eprtRefused && (line.features.eprt || !isV4)) {
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

std::unique_ptr<CFtpDataChannel> CFtpControl::OpenActive(const QByteArray& command,
                                                         FileAccess direction, QString& failure)
{
    CFtpSocket listener = CFtpSocket::Listen(line.local);
    if (!listener.IsValid()) {
        failure = QStringLiteral("no port to listen on: %1").arg(SystemErrorText(errno));
        return nullptr;
    }
    if (!AnnounceActivePort(listener.LocalAddress(), failure))
        return nullptr;

    SendRestart();
    CFtpWaiter waiter(shared.get());
    const InternetOptions options = shared->Options();
    SendLine(command, waiter);
    const auto acceptDeadline = DeadlineIn(options.acceptTimeout);
    const auto replyDeadline = DeadlineIn(options.replyTimeout);
    bool started = false;         // a preliminary reply came
    std::optional<FtpReply> done; // the final reply, when it came before the data
    CFtpSocket data;
    try {
        for (;;) {
            // Every reply that has come, until the final one. A refusal may follow a
            // preliminary reply: then the server will not connect, and nothing waits longer.
            while (!done) {
                std::optional<FtpReply> reply = line.TakeReply();
                if (!reply)
                    break;
                if (reply->Class() == 1) {
                    started = true;
                } else if (reply->Class() == 2) {
                    done = std::move(reply);
                } else if (!data.IsValid() && (reply->code == 425 || reply->code == 426)) {
                    failure = QStringLiteral("%1 %2").arg(reply->code).arg(reply->Text());
                    return nullptr;
                } else {
                    throw ReplyError(InetErrorKind::Reply,
                                     QStringLiteral("The server refused the transfer"), *reply);
                }
            }
            if (data.IsValid() && (started || done))
                break;
            if (done) {
                // Finished without connecting: nothing was to be sent, or it is queued.
                CSocketAddress from;
                CFtpSocket pending = listener.Accept(from);
                if (pending.IsValid() && from.SameHost(line.peer))
                    data = std::move(pending);
                break;
            }
            if (data.IsValid()) {
                if (!line.Receive(waiter, replyDeadline)) {
                    line.MarkLost(QStringLiteral("time-out"));
                    throw CInternetException(InetErrorKind::Timeout,
                                             QStringLiteral("The server did not answer in time."));
                }
                continue;
            }
            pollfd items[2] = {{line.stream->Fd(), POLLIN, 0}, {listener.Fd(), POLLIN, 0}};
            if (!line.stream->HasBufferedInput() && !waiter.Wait(items, 2, acceptDeadline)) {
                AbortTransfer(true);
                failure = QStringLiteral("the server did not connect within %1 s")
                              .arg(options.acceptTimeout.count() / 1000.0);
                return nullptr;
            }
            if (items[1].revents & POLLIN) {
                CSocketAddress from;
                CFtpSocket accepted = listener.Accept(from);
                // Only the server may deliver the data; anyone else is turned away.
                if (accepted.IsValid() && from.SameHost(line.peer))
                    data = std::move(accepted);
            }
            if (items[0].revents || line.stream->HasBufferedInput())
                line.Receive(waiter, FtpDeadline());
        }
    } catch (const CInternetException& e) {
        if (e.Kind() == InetErrorKind::Cancelled && !line.IsLost())
            AbortTransfer(!done);
        throw;
    }
    return MakeChannel(std::move(data), direction, std::move(done));
}

std::unique_ptr<CFtpDataChannel> CFtpControl::MakeChannel(CFtpSocket socket, FileAccess direction,
                                                          std::optional<FtpReply> finalReply)
{
    std::unique_ptr<CFtpStream> data;
    if (socket.IsValid() && line.tlsContext) {
        data = SecureData(std::move(socket), !finalReply.has_value());
        if (dataRedoPending)
            return nullptr;
    } else if (socket.IsValid())
        data = CFtpPlainStream::Over(std::move(socket));
    return std::make_unique<CFtpDataChannel>(shared, link, std::move(data), direction,
                                             std::move(finalReply));
}

bool CFtpControl::UseMachineListings() const
{
    return line.features.mlst && shared->Options().useMachineListings;
}

std::vector<FtpListEntry> CFtpControl::List(const QByteArray& folder)
{
    const QByteArray argument = folder.isEmpty() ? QByteArray() : ' ' + SafePathArgument(folder);
    if (UseMachineListings())
        return ReadListing("MLSD" + argument, ListingFormat::Mlsd);
    // Many servers leave names beginning with "." out of a plain LIST; "-a" asks for them
    // where the server takes it. One that refuses it, reads it as a name or lists nothing
    // with it gets a plain LIST, and a server's answer is remembered once it is clear.
    const std::optional<bool> takesAll = shared->Facts(modeKey).listsHiddenWithA;
    if (takesAll != false) {
        try {
            std::vector<FtpListEntry> entries =
                ReadListing("LIST -a" + argument, ListingFormat::List);
            if (!entries.empty()) {
                shared->SetListsHiddenWithA(modeKey, true);
                return entries;
            }
        } catch (const CInternetException& e) {
            if (e.Kind() != InetErrorKind::Reply && e.Kind() != InetErrorKind::Protocol)
                throw;
        }
    }
    std::vector<FtpListEntry> entries = ReadListing("LIST" + argument, ListingFormat::List);
    if (!entries.empty() && takesAll != true)
        shared->SetListsHiddenWithA(modeKey, false);
    return entries;
}

std::vector<FtpListEntry> CFtpControl::ReadListing(const QByteArray& command, ListingFormat format)
{
    // Listings come as lines in either type: they keep the one in force, so that a TYPE goes
    // only where files and listings alternate.
    std::unique_ptr<CFtpDataChannel> channel =
        OpenData(command, FileAccess::Read, line.currentType.value_or(TransferType::Ascii));
    // An open search on this connection has its entries already; a listing for Stat may
    // run beside it.
    if (!IsClaimed())
        channel->Hold(Claim(true));
    CListingReader listing(format, QDateTime::currentSecsSinceEpoch());
    const std::size_t limit = shared->Options().listingEntryLimit;
    const std::unique_ptr<char[]> chunk(new char[kListingChunk]);
    for (qint64 got; (got = channel->Read(chunk.get(), kListingChunk)) > 0;) {
        listing.Feed(QByteArrayView(chunk.get(), got));
        if (listing.EntryCount() > limit ||
            listing.LineCount() > kUnreadableLinesPerEntry * static_cast<qint64>(limit))
            channel->Abort(CInternetException(
                InetErrorKind::Protocol,
                QStringLiteral("The folder lists more than %L1 entries, more than can be shown.")
                    .arg(limit)));
    }
    // Over TLS only the server's close_notify tells a whole listing from one cut short on
    // the way (a forged FIN): a listing without it is no listing, whatever the 226 says.
    const bool whole = channel->EndedCleanly();
    channel->Close();
    if (!whole)
        throw CInternetException(InetErrorKind::DataConnection,
                                 QStringLiteral("The listing ended without the encryption's "
                                                "closing message; it may have been cut short."));
    listing.Finish();
    if (listing.NothingReadable())
        throw CInternetException(InetErrorKind::Protocol,
                                 QStringLiteral("The server's listing could not be read."));
    std::vector<FtpListEntry> entries = listing.TakeEntries();
    for (const FtpListEntry& entry : entries)
        shared->codec.Learn(entry);
    return entries;
}

FtpMlstAnswer CFtpControl::Mlst(const QByteArray& path)
{
    FtpMlstAnswer answer;
    if (!UseMachineListings())
        return answer;
    const FtpReply reply = Execute("MLST " + path);
    if (reply.code == 550 || reply.code == 450) {
        answer.state = FtpMlstAnswer::State::Missing;
        return answer;
    }
    if (reply.Class() != 2)
        return answer;
    for (const QByteArray& replyLine : reply.lines) {
        if (!replyLine.startsWith(' '))
            continue;
        if (std::optional<FtpListEntry> entry =
                ParseMlstLine(QByteArrayView(replyLine).sliced(1))) {
            shared->codec.Learn(*entry);
            answer.state = FtpMlstAnswer::State::Found;
            answer.entry = std::move(*entry);
        }
        break;
    }
    return answer;
}
