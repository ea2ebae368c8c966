#pragma once

#include "inet/ftpclaim.h"
#include "inet/internetexception.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class CFtpConnection;

// One entry of a server listing.
struct FtpListEntry
{
    QString name; // bare name, never empty, never holding "/", NUL or a control character
    quint64 size = 0;
    qint64 writeTime = 0; // UTC seconds since 1970
    // The time came from a "modify" fact (MLSD, MLST), to the second; a LIST line's time is
    // rounded to the minute or the day, its year often guessed.
    bool exactTime = false;
    // A link tells its target's type here where the server, MLST, SIZE or a CWD told it:
    // a link to a folder is a directory, a link to a file is normal, and a link of which
    // nothing is known is neither.
    bool isDirectory = false;
    bool isNormal = false; // a plain file; devices, pipes and the like are not normal
    bool isLink = false;   // a symbolic link
    int permissions = -1;  // the Unix permission bits (0777) where the listing tells them
    QByteArray rawName;    // the name's bytes as the server sent them
};

// A directory search on a connection, with the classic find-first / find-next shape:
//
//   CFtpFileFind find(connection);
//   bool more = find.FindFile();
//   while (more) { more = find.FindNextFile(); use(find.GetFileName()); }
//
// FindFile never throws: false means nothing was found or the listing failed (LastError
// tells which). The search counts as open on its connection from a successful FindFile to
// Close, so the connection carries nothing else meanwhile.
class CFtpFileFind
{
public:
    explicit CFtpFileFind(CFtpConnection& connection);
    ~CFtpFileFind();
    CFtpFileFind(const CFtpFileFind&) = delete;
    CFtpFileFind& operator=(const CFtpFileFind&) = delete;

    // "" lists the current folder, "folder/*.*" lists that folder, any other text that one
    // path. `reload` is accepted for the classic signature; listings are never cached.
    bool FindFile(const QString& pattern = {}, bool reload = true);
    // Steps to the next entry; returns whether a further entry follows it.
    bool FindNextFile();

    QString GetFileName() const;
    quint64 GetLength() const;
    qint64 GetLastWriteTime() const; // UTC seconds since 1970
    bool IsNormal() const;
    bool IsDirectory() const;
    bool IsLink() const;
    bool IsDots() const;
    const FtpListEntry& Current() const;

    void Close();

    const std::optional<CInternetException>& LastError() const;

private:
    CFtpConnection& connection;
    std::vector<FtpListEntry> entries;
    std::size_t next = 0;
    std::optional<std::size_t> current;
    bool open = false;
    std::optional<CInternetException> lastError;
    CFtpClaim claim; // holds the connection while the search is open
};
