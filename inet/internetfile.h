#pragma once

#include <QtGlobal>

#include <memory>

class CFtpDataChannel;

// A file being transferred over a data connection of a CFtpConnection (OpenFile, Command).
// It keeps its own buffer, so the program's 1000-byte calls normally cost no system call.
class CInternetFile
{
public:
    ~CInternetFile(); // closes without throwing: an unfinished download is aborted (ABOR)
    CInternetFile(const CInternetFile&) = delete;
    CInternetFile& operator=(const CInternetFile&) = delete;

    // The bytes read, up to `count`; 0 at the end of the data. Throws on failure.
    qint64 Read(void* buffer, qint64 count);
    // Writes all `count` bytes or throws.
    void Write(const void* buffer, qint64 count);
    // Sends what is buffered, ends the data connection and waits for the server's final
    // reply; throws when the server reports failure or the connection broke before it.
    // Closing a download before its end aborts it (ABOR) and keeps the connection usable.
    void Close();
    // Once Read has returned 0: whether the data ended as the protocol ends it. Over TLS a
    // connection that simply closed may have been cut short by anyone on the way.
    bool EndedCleanly() const;

private:
    friend class CFtpConnection;
    explicit CInternetFile(std::unique_ptr<CFtpDataChannel> channel);

    std::unique_ptr<CFtpDataChannel> channel;
};
