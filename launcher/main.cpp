// The launcher: looks for a newer main program, offers and installs it, then starts
// "v.exe" from the program folder (the working directory).
#include "launcher/launcherdialog.h"
#include "launcher/updatekey.h"

#include "framework/programfolder.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Launcher"));
    LauncherOptions options;
    options.programFolder = CurrentProgramFolder();
    options.publicKeyPem = QByteArray(kUpdatePublicKeyPem);
    CLauncherDialog dialog(options);
    return dialog.Run();
}
