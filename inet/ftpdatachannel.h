#pragma once

#include "inet/ftpconnection.h"
#include "inet/ftpreplyreader.h"
#include "inet/ftpsocket.h"
#include "inet/ftpwaiter.h"
#include "inet/internetexception.h"

#include <memory>
#include <optional>

struct FtpLease;
struct FtpSessionShared;

// The data connection of one transfer and its buffer. It holds its control connection
// busy through a lease from the moment it opens until Close has the final reply. The
// buffer makes the program's 1000-byte calls cost a system call only every kBufferSize
// bytes.
struct FtpDataChannel
{
    static constexpr qint64 kBufferSize = 256 * 1024;

    FtpDataChannel(std::shared_ptr<FtpSessionShared> session, CFtpSocket dataSocket,
                   FileAccess direction, std::optional<FtpReply> finalReply);
    ~FtpDataChannel();
    FtpDataChannel(const FtpDataChannel&) = delete;
    FtpDataChannel& operator=(const FtpDataChannel&) = delete;

    void Hold(std::shared_ptr<FtpLease> held) { lease = std::move(held); }

    qint64 Read(void* target, qint64 count);
    void Write(const void* data, qint64 count);
    void Close();
    // Close for a destructor: never throws.
    void CloseQuietly() noexcept;

    // All the rest of the data (listings), at most `limit` bytes. Throws past it.
    QByteArray ReadAll(qint64 limit);

private:
    FtpControl* Control() const;
    void EnsureOpen() const;
    qint64 ReceiveSome(char* target, qint64 count);
    void Flush();
    // Gives the transfer up after `failure`: the server is told (ABOR) or its verdict is
    // read, the connection is released, and `failure` (or the server's reason) is thrown.
    [[noreturn]] void Fail(const CInternetException& failure, bool serverStillSending);
    void Release();

    std::shared_ptr<FtpSessionShared> shared;
    std::shared_ptr<FtpLease> lease;
    CFtpSocket socket;
    FileAccess direction;
    std::optional<FtpReply> finalReply;
    std::unique_ptr<char[]> buffer;
    qint64 begin = 0;
    qint64 end = 0;
    bool atEnd = false;
    bool closed = false;
    CFtpWaiter waiter;
};
