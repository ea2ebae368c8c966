#pragma once

#include "launcher/updateserver.h"

#include <QByteArray>
#include <QString>

// What the launcher is started with. The program passes the working directory and the key
// compiled into it; tests pass a folder, a key and time-outs of their own.
struct LauncherOptions
{
    QString programFolder;   // with a trailing "/"
    QByteArray publicKeyPem; // the key that signs installers; empty accepts none
    UpdateTimeouts timeouts;
};
