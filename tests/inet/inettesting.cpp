#include "tests/inet/inettesting.h"

#include "inet/internetfile.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ostream>

using namespace std::chrono_literals;

InternetOptions TestOptions()
{
    InternetOptions options;
    options.connectTimeout = 3000ms;
    options.replyTimeout = 3000ms;
    options.dataTimeout = 3000ms;
    options.acceptTimeout = 1500ms;
    // The test servers run on this host, where active mode works: a test that wants passive
    // asks for it.
    options.preferActive = true;
    return options;
}

QByteArray PatternBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = seed * 2654435761u + 1;
    for (qint64 i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<char>(state);
    }
    return bytes;
}

QByteArray Download(CFtpConnection& connection, const QString& path)
{
    std::unique_ptr<CInternetFile> file = connection.OpenFile(path, FileAccess::Read);
    QByteArray data;
    char block[1000];
    for (;;) {
        const qint64 got = file->Read(block, sizeof block);
        if (got == 0)
            break;
        data.append(block, got);
    }
    file->Close();
    return data;
}

void Upload(CFtpConnection& connection, const QString& path, const QByteArray& data)
{
    std::unique_ptr<CInternetFile> file = connection.OpenFile(path, FileAccess::Write);
    for (qint64 at = 0; at < data.size(); at += 1000)
        file->Write(data.constData() + at, std::min<qint64>(1000, data.size() - at));
    file->Close();
}

std::vector<FtpListEntry> ListAll(CFtpConnection& connection, const QString& pattern)
{
    std::vector<FtpListEntry> entries;
    CFtpFileFind find(connection);
    bool more = find.FindFile(pattern);
    while (more) {
        more = find.FindNextFile();
        entries.push_back(find.Current());
    }
    return entries;
}

const FtpListEntry* FindEntry(const std::vector<FtpListEntry>& entries, const QString& name)
{
    for (const FtpListEntry& entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

InetErrorKind KindThrown(const std::function<void()>& call)
{
    try {
        call();
    } catch (const CInternetException& e) {
        return e.Kind();
    }
    ADD_FAILURE() << "no CInternetException was thrown";
    return InetErrorKind::Protocol;
}

bool HoldUntilClientLeaves(CFakeFtpServer::CSession& session, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (session.IsOpen() && !session.server.Stopping() &&
           std::chrono::steady_clock::now() < until)
        session.ReadCommand(100ms); // what the client still sends is logged and left unanswered
    return !session.IsOpen();
}

quint16 UnusedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd); // nothing listens there now
    return ntohs(address.sin_port);
}

std::ostream& operator<<(std::ostream& out, InetErrorKind kind)
{
    return out << InetErrorKindName(kind);
}
