// The checks that hold a transferred file against what the server says of it.
#include "ftp/transferchecks.h"

#include "ftp/serverchecks.h"
#include "ftp/streamdigest.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"

#include <QFileInfo>

// The server's digest of `path`, empty when it cannot tell (no digest, a refusal, a reply
// too late); only the user's Cancel ends the wait with an exception.
QByteArray ServerDigestOf(CFtpConnection& connection, const CServerChecks& checks,
                          const QString& path)
{
    FtpCommandReply reply;
    try {
        for (const QString& command : checks.DigestCommands(path))
            reply = connection.Query(command);
    } catch (const CInternetException& error) {
        if (error.Kind() == InetErrorKind::Cancelled)
            throw;
        return {};
    }
    return checks.DigestFromReply(reply.code, reply.text);
}

DigestCheck CompareDigests(const QByteArray& ours, const QByteArray& theirs)
{
    if (ours.isEmpty() || theirs.isEmpty())
        return DigestCheck::NotVerified;
    return ours == theirs ? DigestCheck::Match : DigestCheck::Mismatch;
}

std::unique_ptr<CStreamDigest> DigestFor(const CServerChecks& checks)
{
    if (const std::optional<DigestAlgorithm> algorithm = checks.Algorithm())
        return std::make_unique<CStreamDigest>(*algorithm);
    return nullptr;
}

ServerLength LengthOf(CFtpConnection& connection, const CServerChecks& checks, const QString& path)
{
    ServerLength result;
    if (const std::optional<FtpStat> stat = connection.Stat(path); stat && !stat->isDirectory) {
        result.length = stat->size;
        if (checks.HasExactSize())
            result.announced = stat->size;
        if (stat->exactTime)
            result.time = stat->writeTime;
    }
    return result;
}

// Lets a server that copies files by itself (SITE CPFR, SITE CPTO) make the copy, so that
// the bytes need not cross the network twice. Nothing when it will not, and the program
// copies the bytes itself; else whether the copy is whole, by its size and, where the
// server tells digests, by the digests of both files.
std::optional<bool> CopyOnServer(CFtpConnection& connection, const CServerChecks& checks,
                                 const QString& source, const QString& destination,
                                 std::optional<quint64> announced)
{
    if (!checks.CopiesFiles() || !announced ||
        connection.Query(QStringLiteral("SITE CPFR ") + source).code != 350 ||
        connection.Query(QStringLiteral("SITE CPTO ") + destination).code / 100 != 2)
        return std::nullopt;
    const std::optional<FtpStat> stored = connection.Stat(destination);
    if (!stored || stored->size != *announced)
        return false;
    if (!checks.Algorithm())
        return true;
    const QByteArray original = ServerDigestOf(connection, checks, source);
    const QByteArray copy = ServerDigestOf(connection, checks, destination);
    return original.isEmpty() || copy.isEmpty() || original == copy;
}

// The file a download replaces: a link is followed, so that the file it names is updated
// and the link stays.
QString DownloadTarget(const QString& localPath)
{
    const QFileInfo info(localPath);
    return info.isSymLink() ? info.symLinkTarget() : localPath;
}
