#include "inet/socketaddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

CSocketAddress::CSocketAddress(const sockaddr* address, socklen_t addressLength)
{
    if (address && addressLength > 0 && addressLength <= static_cast<socklen_t>(sizeof storage) &&
        (address->sa_family == AF_INET || address->sa_family == AF_INET6)) {
        std::memcpy(&storage, address, addressLength);
        length = addressLength;
    }
}

quint16 CSocketAddress::Port() const
{
    if (Family() == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
    if (Family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    return 0;
}

void CSocketAddress::SetPort(quint16 port)
{
    if (Family() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
    else if (Family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
}

QString CSocketAddress::Host() const
{
    char text[INET6_ADDRSTRLEN] = {};
    unsigned char v4[4];
    if (IPv4Bytes(v4)) {
        inet_ntop(AF_INET, v4, text, sizeof text);
        return QString::fromLatin1(text);
    }
    if (Family() == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, text,
                  sizeof text);
        return QString::fromLatin1(text);
    }
    return {};
}

bool CSocketAddress::IPv4Bytes(unsigned char (&bytes)[4]) const
{
    if (Family() == AF_INET) {
        std::memcpy(bytes, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, 4);
        return true;
    }
    if (Family() == AF_INET6) {
        const in6_addr& address = reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&address)) {
            std::memcpy(bytes, address.s6_addr + 12, 4);
            return true;
        }
    }
    return false;
}

bool CSocketAddress::SameHost(const CSocketAddress& other) const
{
    unsigned char mine[4], theirs[4];
    const bool mineV4 = IPv4Bytes(mine), theirsV4 = other.IPv4Bytes(theirs);
    if (mineV4 || theirsV4)
        return mineV4 && theirsV4 && std::memcmp(mine, theirs, 4) == 0;
    if (Family() != AF_INET6 || other.Family() != AF_INET6)
        return false;
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&storage);
    const auto* b = reinterpret_cast<const sockaddr_in6*>(&other.storage);
    return std::memcmp(&a->sin6_addr, &b->sin6_addr, sizeof a->sin6_addr) == 0 &&
           (a->sin6_scope_id == b->sin6_scope_id || !a->sin6_scope_id || !b->sin6_scope_id);
}
