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
// The server's digest of `path` against `digest` (NotVerified without one).
DigestCheck CheckDigest(CFtpConnection& connection, const CServerChecks& checks,
                        const QString& path, CStreamDigest* digest);
// Whether the server's digest of `path` differs from the one computed while the bytes
// streamed: false only for a proven mismatch.
bool DigestMatches(CFtpConnection& connection, const CServerChecks& checks, const QString& path,
                   CStreamDigest* digest);
// A digest of the server's favourite algorithm, none where it offers none.
std::unique_ptr<CStreamDigest> DigestFor(const CServerChecks& checks);
ServerLength LengthOf(CFtpConnection& connection, const CServerChecks& checks, const QString& path);
// Whether the file the server stored holds the `moved` bytes that were sent, by its size
// (unless the caller checks it later) and its digest where the server tells them.
bool StoredFileMatches(CFtpConnection& connection, const CServerChecks& checks, const QString& path,
                       quint64 moved, CStreamDigest* digest, bool sizeLater = false);
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
