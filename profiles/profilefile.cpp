#include "profiles/profilefile.h"

#include "app/vantorapp.h"

// Stand-in until the file format lands: a first run with one local profile.
bool LoadProfiles(const QString&, QList<ProfileRecord>& profiles)
{
    ProfileRecord local;
    local.name = QStringLiteral("localhost");
    local.address = QStringLiteral("localhost");
    local.anonymous = true;
    local.isDefault = true;
    local.isActive = true;
    profiles = {local};
    return true;
}

bool SaveProfiles(const QString&, const QList<ProfileRecord>&)
{
    return false;
}

bool LoadStartupProfile(const QString& path)
{
    QList<ProfileRecord> profiles;
    if (!LoadProfiles(path, profiles))
        return false;
    theApp().activeProfileIndex = 0;
    theApp().activeProfile = profiles.front();
    return true;
}
