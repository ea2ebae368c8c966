#pragma once

#include "profiles/profilerecord.h"

#include <QList>
#include <QString>

// Reads `path` into `profiles` (file order) and sets theApp().profileFileReserved. Each
// record's isActive becomes true exactly when its index is theApp().activeProfileIndex.
// False when the file cannot be read at all.
bool LoadProfiles(const QString& path, QList<ProfileRecord>& profiles);

// Writes every record of `profiles` with theApp().profileFileReserved. False (after a
// message box naming the file) when the file cannot be written; the old file then stays.
bool SaveProfiles(const QString& path, const QList<ProfileRecord>& profiles);

// Start-up: reads the file and makes its default profile the active one
// (theApp().activeProfileIndex and activeProfile).
bool LoadStartupProfile(const QString& path);
