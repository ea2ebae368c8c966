#pragma once

#include <QString>

#include <sys/socket.h>

// An IPv4 or IPv6 socket address.
class CSocketAddress
{
public:
    CSocketAddress() = default;
    CSocketAddress(const sockaddr* address, socklen_t length);

    bool IsValid() const { return length > 0; }
    int Family() const { return storage.ss_family; }
    bool IsIPv6() const { return Family() == AF_INET6; }
    const sockaddr* Data() const { return reinterpret_cast<const sockaddr*>(&storage); }
    socklen_t Length() const { return length; }

    quint16 Port() const;
    void SetPort(quint16 port);
    // The numeric host ("127.0.0.1", "::1"), without brackets or port.
    QString Host() const;
    // Whether both name the same host; an IPv4 address mapped into IPv6 counts as IPv4.
    bool SameHost(const CSocketAddress& other) const;
    // For PORT: the four bytes of an IPv4 address (or of a mapped one); false otherwise.
    bool IPv4Bytes(unsigned char (&bytes)[4]) const;

private:
    sockaddr_storage storage{};
    socklen_t length = 0;
};
