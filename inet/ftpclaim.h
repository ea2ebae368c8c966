#pragma once

#include <QtGlobal>

#include <memory>

class CFtpControl;

// The tie from a transfer or a search to its control connection. The control connection
// cuts it (control = nullptr) when it goes first, so nothing reaches a dead one.
struct FtpControlLink
{
    CFtpControl* control = nullptr;
};

// Holds a control connection busy for an open file or an open search, from
// CFtpControl::Claim until released or destroyed.
class CFtpClaim
{
public:
    CFtpClaim() = default;
    CFtpClaim(std::shared_ptr<FtpControlLink> link, quint64 id);
    ~CFtpClaim();
    CFtpClaim(CFtpClaim&& other) noexcept;
    CFtpClaim& operator=(CFtpClaim&& other) noexcept;
    CFtpClaim(const CFtpClaim&) = delete;
    CFtpClaim& operator=(const CFtpClaim&) = delete;

    void Release();

private:
    std::shared_ptr<FtpControlLink> link;
    quint64 id = 0;
};
