#pragma once

#include "launcher/updateserver.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

// Whether the update server holds a newer main program than the one installed. The server
// answers "GET /test5/maq/vz.ver" with a body whose first line is the newest version, a
// dotted number ("8.78"); versions compare numerically part by part, so 8.100 > 8.77 and
// 8.77 == 8.77.0.
enum class VersionCheck {
    Newer,
    NotNewer,
    Undecided, // no answer, another status, or a garbled body
};

inline constexpr const char* kVersionPath = "/test5/maq/vz.ver";

// Negative, zero or positive as `a` is below, equal to or above `b`; nothing when either is
// not a dotted number.
std::optional<int> CompareVersions(QStringView a, QStringView b);

// The version on the first line of the server's answer; nothing when that line is not one.
std::optional<QString> VersionFromBody(QByteArrayView body);

// `installed` is the main program's own version as it stored it; a missing or unreadable
// one counts as 0, so that any version on the server is newer.
VersionCheck CheckForNewerVersion(const CUpdateServer& server,
                                  const std::optional<QString>& installed,
                                  const CHttpConnection::WaitHook& hook);
