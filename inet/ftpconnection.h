#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CInternetFile;
class CFtpFileFind;
struct FtpSessionShared;
class CFtpControl;

enum class FileAccess { Read, Write };
enum class TransferType { Binary, Ascii };

// What one server path is (CFtpConnection::Stat).
struct FtpStat
{
    bool isDirectory = false;
    quint64 size = 0;
    qint64 writeTime = 0;   // UTC seconds since 1970; 0 when the server does not tell
    bool exactTime = false; // writeTime is to the second (MLST or MDTM), not a listing's
};

// The final reply of a command without a data connection (CFtpConnection::Query).
struct FtpCommandReply
{
    int code = 0;
    QString text; // the text after the code of every line, joined by "\n"
};

// One logged-in control connection. It carries one open file or one open search at a time;
// opening a second fails with InetErrorKind::Busy and leaves the first intact.
//
// The bool operations answer false for any failure, a lost connection included, and never
// throw. Everything else throws CInternetException. Once the control connection is lost,
// every further call fails at once with InetErrorKind::Closed (or false).
class CFtpConnection
{
public:
    ~CFtpConnection(); // Close()
    CFtpConnection(const CFtpConnection&) = delete;
    CFtpConnection& operator=(const CFtpConnection&) = delete;

    bool SetCurrentDirectory(const QString& path);
    bool GetCurrentDirectory(QString& directory);
    bool CreateDirectory(const QString& path);
    bool RemoveDirectory(const QString& path);
    bool Remove(const QString& path);
    bool Rename(const QString& from, const QString& to);

    // RETR (Read) or STOR (Write) of `path`.
    std::unique_ptr<CInternetFile> OpenFile(const QString& path, FileAccess access,
                                            TransferType type = TransferType::Binary);
    // The same, binary, from byte `offset` of the server file on (REST, then RETR or STOR).
    // Null when the server refuses REST, or the transfer right after it: nothing was
    // transferred, the connection stays usable, and the file may be opened from its start.
    std::unique_ptr<CInternetFile> OpenFileAt(const QString& path, FileAccess access,
                                              quint64 offset);

    // Sends a raw command. With `expectData` the command's data connection comes back as a
    // file to read (LIST); without, the reply is not examined and the result is null, but a
    // lost connection still throws.
    std::unique_ptr<CInternetFile> Command(const QString& text, bool expectData,
                                           TransferType type = TransferType::Ascii);

    // Sends a one-line command and returns its final reply, for commands whose answer the
    // caller reads (FEAT, HASH, SITE). Throws when the connection is lost or carries a
    // transfer, and for text that is not one line.
    FtpCommandReply Query(const QString& text);

    // Whether `path` exists and what it is: MLST where offered, else SIZE and MDTM, else the
    // parent's listing. Nothing when it does not exist; an empty folder exists.
    std::optional<FtpStat> Stat(const QString& path);

    // The modification time of the file `path` (UTC seconds since 1970) by MDTM, where the
    // server offers it; nothing when it does not, or cannot tell. Throws as Stat does.
    std::optional<qint64> GetModificationTime(const QString& path);
    // Gives the file `path` the modification time `utc` by MFMT (RFC draft "MFxx"), where the
    // server offers it. True only when the server confirmed it (213).
    bool SetModificationTime(const QString& path, qint64 utc);
    // The same for many files at once, the commands sent together; how many were set.
    int SetModificationTimes(const std::vector<std::pair<QString, qint64>>& times);

    // Sends QUIT, or gives a healthy idle connection back to its session's pool.
    void Close();

    bool IsOpen() const;
    bool IsPassive() const;
    // "TLS 1.3" or "TLS 1.2" while the connection is encrypted; empty when it is plain.
    QString SecurityName() const;

private:
    friend class CInternetSession;
    friend class CInternetFile;
    friend class CFtpFileFind;
    CFtpConnection(std::unique_ptr<CFtpControl> control, std::shared_ptr<FtpSessionShared> session);

    std::unique_ptr<CFtpControl> control;
    std::shared_ptr<FtpSessionShared> session;
};
