#include "inet/ftpclaim.h"

#include "inet/ftpcontrol.h"

#include <utility>

CFtpClaim::CFtpClaim(std::shared_ptr<FtpControlLink> controlLink, quint64 claimId)
    : link(std::move(controlLink))
    , id(claimId)
{}

CFtpClaim::~CFtpClaim()
{
    Release();
}

CFtpClaim::CFtpClaim(CFtpClaim&& other) noexcept
    : link(std::move(other.link))
    , id(std::exchange(other.id, 0))
{}

CFtpClaim& CFtpClaim::operator=(CFtpClaim&& other) noexcept
{
    if (this != &other) {
        Release();
        link = std::move(other.link);
        id = std::exchange(other.id, 0);
    }
    return *this;
}

void CFtpClaim::Release()
{
    if (link && link->control)
        link->control->EndClaim(id);
    link.reset();
    id = 0;
}
