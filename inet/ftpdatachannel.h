#pragma once

#include "inet/ftpclaim.h"
#include "inet/ftpconnection.h"
#include "inet/ftpreplyreader.h"
#include "inet/ftpstream.h"
#include "inet/ftpwaiter.h"
#include "inet/internetexception.h"

#include <memory>
#include <optional>

struct FtpSessionShared;

// The data connection of one transfer and its buffer. A file's channel holds its control
// connection busy (a claim) from the moment it opens until Close has the final reply. The
// buffer makes the program's 1000-byte calls cost a system call only every kBufferSize
// bytes.
class CFtpDataChannel
{
public:
    static constexpr qint64 kBufferSize = 256 * 1024;
    // How long an aborted TLS download is read on for the server's end of it.
    static constexpr int kAbortDrainMs = 3000;

    // `stream` is null when the server finished without connecting.
    CFtpDataChannel(std::shared_ptr<FtpSessionShared> session, std::shared_ptr<FtpControlLink> link,
                    std::unique_ptr<CFtpStream> stream, FileAccess direction,
                    std::optional<FtpReply> finalReply);
    ~CFtpDataChannel();
    CFtpDataChannel(const CFtpDataChannel&) = delete;
    CFtpDataChannel& operator=(const CFtpDataChannel&) = delete;

    void Hold(CFtpClaim held) { claim = std::move(held); }
    // After the end of a download: whether the data ended cleanly (see CFtpStream).
    bool EndedCleanly() const { return endedCleanly; }

    qint64 Read(void* target, qint64 count);
    void Write(const void* data, qint64 count);
    void Close();
    // Close for a destructor: never throws. An upload that was not closed is abandoned.
    void CloseQuietly() noexcept;
    // Gives the transfer up: the data connection is reset (never a clean end of the data,
    // which a server would take for a complete file) and the server is told (ABOR).
    void Abandon() noexcept;

    // Gives the transfer up for `reason`, which it throws.
    [[noreturn]] void Abort(const CInternetException& reason);

private:
    CFtpControl* Control() const;
    void EnsureOpen() const;
    void CloseStream();
    // Whether the data is at its end, after a short look.
    bool AtEndOfData();
    qint64 ReceiveSome(char* target, qint64 count);
    void Flush();
    // Gives the transfer up after `failure`: the server is told (ABOR) or its verdict is
    // read, the connection is released, and `failure` (or the server's reason) is thrown.
    [[noreturn]] void Fail(const CInternetException& failure, bool serverStillSending);
    // Aborts a transfer the server is still sending: ABOR, and the data connection ended.
    void AbortSending(CFtpControl& control);
    void Release();

    std::shared_ptr<FtpSessionShared> shared;
    std::shared_ptr<FtpControlLink> link;
    CFtpClaim claim;
    std::unique_ptr<CFtpStream> stream;
    FileAccess direction;
    std::optional<FtpReply> finalReply;
    std::unique_ptr<char[]> buffer;
    qint64 begin = 0;
    qint64 end = 0;
    bool atEnd = false;
    bool endedCleanly = false;
    bool closed = false;
    CFtpWaiter waiter;
};
