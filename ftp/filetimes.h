#pragma once

#include <QString>

#include <optional>

class CFtpConnection;
struct FtpListEntry;

// Keeping a copied file's modification time. A time that cannot be read or set is never a
// failed copy: the file keeps the time it was written at, and nothing is said. None of these
// throws.

// The time a folder's listing told for `entry` to the second (a "modify" fact), if any.
std::optional<qint64> ListedTime(const FtpListEntry& entry);
// The time of the server file `ftpPath`: `listedTime` where a listing gave it, else the
// server's answer to MDTM, where it offers MDTM.
std::optional<qint64> ServerFileTime(CFtpConnection& connection, const QString& ftpPath,
                                     std::optional<qint64> listedTime);
// The modification time of the open local file `fd`.
std::optional<qint64> OpenFileTime(int fd);
// Gives the local file `path` (a link itself, never what it leads to) the modification time
// `utc`; its access time stays. False when it cannot be set.
bool SetLocalFileTime(const QString& path, qint64 utc);

// A download: the local file `localPath`, which the download wrote, gets the server's time.
void KeepServerTime(CFtpConnection& connection, const QString& ftpPath, const QString& localPath,
                    std::optional<qint64> listedTime);
// An upload or a server-to-server copy: the server file `ftpPath` gets `utc`, where the
// server offers MFMT.
void SetServerFileTime(CFtpConnection& connection, const QString& ftpPath,
                       std::optional<qint64> utc);
