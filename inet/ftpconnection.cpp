#include "inet/ftpconnection.h"

#include "inet/ftpcontrol.h"
#include "inet/ftpdatachannel.h"
#include "inet/ftpsessionshared.h"
#include "inet/internetfile.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

// The bool operations: any failure, a lost connection included, is false.
template <typename Operation>
bool Attempt(Operation&& operation)
{
    try {
        return operation();
    } catch (const CInternetException&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

// "a/b/c" -> "a/b" and "c"; "/c" -> "/" and "c"; "c" -> "" and "c".
void SplitPath(const QString& path, QString& parent, QString& name)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        parent.clear();
        name = trimmed;
    } else {
        parent = slash == 0 ? QStringLiteral("/") : trimmed.left(slash);
        name = trimmed.mid(slash + 1);
    }
}

// The control connection, usable and with no transfer running on it.
CFtpControl& Ready(const std::unique_ptr<CFtpControl>& control)
{
    if (!control)
        throw CInternetException(InetErrorKind::Closed,
                                 QStringLiteral("The connection to the server is closed."));
    control->EnsureUsable();
    control->EnsureNoOpenFile();
    return *control;
}

// Whether `to` is `from` in other letter case, with no entry of its exact name: a server
// that ignores case reports the target as existing although it is the source itself.
bool OnlyCaseDiffers(CFtpControl& c, const QString& from, const QString& to)
{
    QString fromParent, fromName, toParent, toName;
    SplitPath(from, fromParent, fromName);
    SplitPath(to, toParent, toName);
    if (fromParent != toParent || fromName.compare(toName, Qt::CaseInsensitive) != 0)
        return false;
    const QByteArray exact = c.Argument(toName);
    for (const FtpListEntry& entry :
         c.List(toParent.isEmpty() ? QByteArray() : c.Argument(toParent))) {
        if (entry.rawName == exact)
            return false;
    }
    return true;
}

} // namespace

CFtpConnection::CFtpConnection(std::unique_ptr<CFtpControl> controlConnection,
                               std::shared_ptr<FtpSessionShared> sessionShared)
    : control(std::move(controlConnection))
    , session(std::move(sessionShared))
{}

CFtpConnection::~CFtpConnection()
{
    try {
        Close();
    } catch (...) {
    }
}

bool CFtpConnection::SetCurrentDirectory(const QString& path)
{
    return Attempt([&] {
        CFtpControl& c = Ready(control);
        return c.Execute("CWD " + c.Argument(path)).Class() == 2;
    });
}

bool CFtpConnection::GetCurrentDirectory(QString& directory)
{
    return Attempt([&] {
        CFtpControl& c = Ready(control);
        const FtpReply reply = c.Execute("PWD");
        if (reply.code != 257)
            return false;
        const std::optional<QByteArray> path = ParsePwdReply(reply.FirstLineText());
        if (!path)
            return false;
        directory = session->codec.DecodePath(*path);
        return true;
    });
}

bool CFtpConnection::CreateDirectory(const QString& path)
{
    return Attempt([&] {
        CFtpControl& c = Ready(control);
        return c.Execute("MKD " + c.Argument(path)).Class() == 2;
    });
}

bool CFtpConnection::RemoveDirectory(const QString& path)
{
    return Attempt([&] {
        CFtpControl& c = Ready(control);
        return c.Execute("RMD " + c.Argument(path)).Class() == 2;
    });
}

bool CFtpConnection::Remove(const QString& path)
{
    return Attempt([&] {
        CFtpControl& c = Ready(control);
        return c.Execute("DELE " + c.Argument(path)).Class() == 2;
    });
}

bool CFtpConnection::Rename(const QString& from, const QString& to)
{
    return Attempt([&] {
        CFtpControl& c = Ready(control);
        const QByteArray source = c.Argument(from);
        const QByteArray target = c.Argument(to);
        // Many servers rename onto an existing name by replacing what is there; a rename
        // must never destroy a file, so an existing target refuses it.
        if (source != target && Stat(to) && !OnlyCaseDiffers(c, from, to))
            return false;
        if (c.Execute("RNFR " + source).Class() != 3)
            return false;
        return c.Execute("RNTO " + target).Class() == 2;
    });
}

std::unique_ptr<CInternetFile> CFtpConnection::OpenFile(const QString& path, FileAccess access,
                                                        TransferType type)
{
    CFtpControl& c = Ready(control);
    c.EnsureFree();
    const QByteArray command = (access == FileAccess::Read ? "RETR " : "STOR ") + c.Argument(path);
    std::unique_ptr<CFtpDataChannel> channel = c.OpenData(command, access, type);
    channel->Hold(c.Claim(true));
    return std::unique_ptr<CInternetFile>(new CInternetFile(std::move(channel)));
}

std::unique_ptr<CInternetFile> CFtpConnection::OpenFileAt(const QString& path, FileAccess access,
                                                          quint64 offset)
{
    CFtpControl& c = Ready(control);
    c.EnsureFree();
    const QByteArray command = (access == FileAccess::Read ? "RETR " : "STOR ") + c.Argument(path);
    std::unique_ptr<CFtpDataChannel> channel;
    try {
        channel = c.OpenData(command, access, TransferType::Binary, offset);
    } catch (const CInternetException& error) {
        // Some servers take REST and refuse the transfer after it instead (proftpd without
        // AllowStoreRestart: "451 Append/Restart not permitted"). A refusal that leaves the
        // connection standing is answered like a refused REST: a refusal that has nothing
        // to do with the offset comes again when the file is opened from its start.
        const int code = error.ReplyCode();
        if (c.RestartRefused() ||
            (error.Kind() == InetErrorKind::Reply && code >= 400 && code < 600 && code != 421))
            return nullptr;
        throw;
    }
    channel->Hold(c.Claim(true));
    return std::unique_ptr<CInternetFile>(new CInternetFile(std::move(channel)));
}

std::unique_ptr<CInternetFile> CFtpConnection::Command(const QString& text, bool expectData,
                                                       TransferType type)
{
    CFtpControl& c = Ready(control);
    if (text.isEmpty() || text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
        text.contains(QChar(0)))
        throw CInternetException(InetErrorKind::Protocol,
                                 QStringLiteral("A command must be one line of text."));
    const QByteArray line = session->codec.EncodeText(text);
    if (!expectData) {
        c.Execute(line); // the reply is the caller's business, as the command is
        return nullptr;
    }
    c.EnsureFree();
    std::unique_ptr<CFtpDataChannel> channel = c.OpenData(line, FileAccess::Read, type);
    channel->Hold(c.Claim(true));
    return std::unique_ptr<CInternetFile>(new CInternetFile(std::move(channel)));
}

FtpCommandReply CFtpConnection::Query(const QString& text)
{
    auto& c = Ready(control);
    if (text.isEmpty() || text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) ||
        text.contains(QChar(0)))
        throw CInternetException(InetErrorKind::Protocol,
                                 QStringLiteral("A command must be one line of text."));
    const FtpReply reply = c.Execute(session->codec.EncodeText(text));
    return FtpCommandReply{reply.code, reply.Text()};
}

std::optional<FtpStat> CFtpConnection::Stat(const QString& path)
{
    CFtpControl& c = Ready(control);
    QString parent, name;
    SplitPath(path, parent, name);
    if (path.isEmpty() || name == QLatin1String("/") || name.isEmpty())
        return FtpStat{true, 0, 0}; // the current folder or the root
    const QByteArray argument = c.Argument(path);

    const FtpMlstAnswer mlst = c.Mlst(argument);
    if (mlst.state == FtpMlstAnswer::State::Missing)
        return std::nullopt;
    if (mlst.state == FtpMlstAnswer::State::Found)
        return FtpStat{mlst.entry.isDirectory, mlst.entry.size, mlst.entry.writeTime,
                       mlst.entry.exactTime};
    // No MLST, or one that did not work: the other ways below.
    if (c.Features().size) {
        c.SetType(TransferType::Binary); // some servers refuse SIZE in ASCII mode
        const FtpReply size = c.Execute("SIZE " + argument);
        if (size.code == 213) {
            if (const std::optional<quint64> bytes = ParseSizeReply(size.FirstLineText())) {
                FtpStat stat{false, *bytes, 0};
                if (c.Features().mdtm) {
                    const FtpReply time = c.Execute("MDTM " + argument);
                    const std::optional<qint64> told =
                        time.code == 213 ? ParseMdtmReply(time.FirstLineText()) : std::nullopt;
                    stat.writeTime = told.value_or(0);
                    stat.exactTime = told.has_value();
                }
                return stat;
            }
        }
        // A folder has no size: the parent's listing tells.
    }
    std::vector<FtpListEntry> entries;
    try {
        entries = c.List(parent.isEmpty() ? QByteArray() : c.Argument(parent));
    } catch (const CInternetException& e) {
        if (e.Kind() == InetErrorKind::Reply && e.ReplyCode() / 100 == 5)
            return std::nullopt; // the parent does not exist either
        throw;
    }
    const QByteArray rawName = c.Argument(name);
    for (const FtpListEntry& entry : entries) {
        if (entry.rawName == rawName)
            return FtpStat{entry.isDirectory, entry.size, entry.writeTime, entry.exactTime};
    }
    return std::nullopt;
}

std::optional<qint64> CFtpConnection::GetModificationTime(const QString& path)
{
    CFtpControl& c = Ready(control);
    if (!c.Features().mdtm || path.isEmpty())
        return std::nullopt;
    const FtpReply reply = c.Execute("MDTM " + c.Argument(path));
    if (reply.code != 213)
        return std::nullopt;
    return ParseMdtmReply(reply.FirstLineText());
}

bool CFtpConnection::SetModificationTime(const QString& path, qint64 utc)
{
    return SetModificationTimes({{path, utc}}) == 1;
}

int CFtpConnection::SetModificationTimes(const std::vector<std::pair<QString, qint64>>& times)
{
    int set = 0;
    Attempt([&] {
        CFtpControl& c = Ready(control);
        if (!c.Features().mfmt)
            return false;
        QList<QByteArray> commands;
        for (const auto& [path, utc] : times) {
            // The command carries four digits of year.
            const QDateTime time = QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc());
            if (path.isEmpty() || time.date().year() < 1970 || time.date().year() > 9999)
                continue;
            const QByteArray stamp = time.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1();
            commands.append("MFMT " + stamp + ' ' + c.Argument(path));
        }
        // A few commands to a write: some servers read a write over TLS only in part and
        // then wait for the next before they act on the rest, which never comes.
        constexpr qsizetype kBytesPerWrite = 1024;
        for (qsizetype first = 0; first < commands.size();) {
            qsizetype end = first + 1;
            qsizetype bytes = commands[first].size();
            while (end < commands.size() && bytes + commands[end].size() + 2 <= kBytesPerWrite)
                bytes += commands[end++].size() + 2;
            for (const FtpReply& reply : c.ExecuteTogether(commands.mid(first, end - first)))
                set += reply.code == 213 ? 1 : 0;
            first = end;
        }
        return true;
    });
    return set;
}

void CFtpConnection::Close()
{
    if (!control)
        return;
    std::unique_ptr<CFtpControl> closing = std::move(control);
    const InternetOptions options = session->Options();
    const bool reusable = closing->CanBePooled() && !session->closed && options.poolPerServer > 0;
    if (!reusable) {
        closing->Quit();
        return;
    }
    const QString key = closing->PoolKey();
    for (std::unique_ptr<CFtpControl>& evicted :
         session->pool.Put(key, std::move(closing), options.poolPerServer, options.poolIdleLimit))
        evicted->Quit();
}

bool CFtpConnection::IsOpen() const
{
    return control && !control->IsLost();
}

bool CFtpConnection::IsPassive() const
{
    return control && control->IsPassive();
}

QString CFtpConnection::SecurityName() const
{
    return control ? control->SecurityName() : QString();
}
