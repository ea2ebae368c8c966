#pragma once

#include <QString>

// One connection profile, in the order of its fields in Profiles.dat.
struct ProfileRecord
{
    QString name;    // shown in the profiles list and the main window's title; required
    QString address; // "host", "host:port", "[v6]" or "[v6]:port"; required
    bool anonymous = false;
    QString userId;     // required unless anonymous
    QString password;   // required unless anonymous; the file keeps it as plain text
    QString initialDir; // server folder to change to after login; empty stays put
    QString comment;
    bool isDefault = false; // becomes the active profile when the program starts
    bool isActive = false;

    bool operator==(const ProfileRecord&) const = default;
};
