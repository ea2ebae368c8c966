#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class CFtpConnection;
class CServerChecks;
class CStreamDigest;

// What comparing the two digests of a copy showed. Only two equal digests are a match; a
// digest missing on either side (none offered, refused, failed, too late) leaves the size
// as the only check.
enum class DigestCheck { Match, Mismatch, NotVerified };

// The length of a server file for the progress, and the size a complete copy must have:
// only where the server tells sizes exactly, not from a listing that may round them.
struct ServerLength
{
    std::optional<quint64> length;
    std::optional<quint64> announced;
    std::optional<qint64> time; // the file's time, where the same answer told it exactly
};

// The server's digest of `path`, empty when it cannot tell (no digest, a refusal, a reply
// too late); only the user's Cancel ends the wait with an exception.
QByteArray ServerDigestOf(CFtpConnection& connection, const CServerChecks& checks,
                          const QString& path);
DigestCheck CompareDigests(const QByteArray& ours, const QByteArray& theirs);
// A digest of the server's favourite algorithm, none where it offers none.
std::unique_ptr<CStreamDigest> DigestFor(const CServerChecks& checks);
ServerLength LengthOf(CFtpConnection& connection, const CServerChecks& checks, const QString& path);
// Lets a server that copies files by itself (SITE CPFR, SITE CPTO) make the copy, so that
// the bytes need not cross the network twice. Nothing when it will not, and the program
// copies the bytes itself; else whether the copy is whole, by its size and, where the
// server tells digests, by the digests of both files.
std::optional<bool> CopyOnServer(CFtpConnection& connection, const CServerChecks& checks,
                                 const QString& source, const QString& destination,
                                 std::optional<quint64> announced);
// The file a download replaces: a link is followed, so that the file it names is updated
// and the link stays.
QString DownloadTarget(const QString& localPath);
