#pragma once

#include <QString>

#include <cstdint>

// Attribute bit of a folder. Local entries carry more bits; server entries hold 0 for a
// plain file and this bit for everything else (folders, links, devices).
inline constexpr std::uint32_t kFolderAttribute = 0x10;
inline constexpr std::uint32_t kLinkAttribute =
    0x400; // a symbolic link; with kFolderAttribute when it leads to a folder
// Local entries that hold no content to copy: a device (block or character), a named pipe,
// a socket.
inline constexpr std::uint32_t kDeviceAttribute = 0x40;
inline constexpr std::uint32_t kPipeAttribute = 0x10000;
inline constexpr std::uint32_t kSocketAttribute = 0x20000;

// One entry of a folder listing, local or on the server.
struct DirEntry
{
    std::uint32_t attributes = 0;
    std::int64_t createTime = 0; // local entries only; never shown
    std::int64_t accessTime = 0; // local entries only; never shown
    std::int64_t writeTime = 0;  // UTC seconds since 1970; "Modified" and the date sort key
    std::uint64_t size = 0;      // bytes; shown for files only
    QString name;                // bare name, no path

    bool IsFolder() const { return (attributes & kFolderAttribute) != 0; }
    // "pipe", "socket" or "device" for such a local entry, else null: short, for the list.
    const char* SpecialKind() const
    {
        if (attributes & kPipeAttribute)
            return "pipe";
        if (attributes & kSocketAttribute)
            return "socket";
        return attributes & kDeviceAttribute ? "device" : nullptr;
    }
    bool IsDots() const { return name == QLatin1String(".") || name == QLatin1String(".."); }
};
