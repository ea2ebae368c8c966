#pragma once

#include "launcher/launcherdialog.h"
#include "tests/fixtures/httptestserver.h"
#include "tests/launcher/testsigningkey.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class QAbstractButton;
class QLabel;
class QProgressBar;

// One launcher under test: the test's program folder (emptied), settings that point at a scripted
// update server that offers version 8.78 (the installed one is 8.77), and a signing key
// whose public half the launcher is given.
//
// "v.exe" is only written when a test expects the main program to start: a start attempt
// without it shows a box that no script expects, so an unwanted start fails the test.
class CLauncherTestbed
{
public:
    CLauncherTestbed();

    LauncherOptions Options() const;
    void SetSetting(const QString& name, const QString& value) const;

    // A "v.exe" that writes its working folder into "v.started".
    void WriteMainProgram() const;
    // Serves `installer` as "vz.cxx" and its signature as "vz.sig".
    void ServeInstaller(const QByteArray& installer);
    // An installer script of at least `size` bytes (padded after its end): it copies
    // itself to "installer.copy", records its mode and folder, then (after a pause that
    // shows whether it was waited for) replaces "v.exe" with one that writes "new".
    static QByteArray InstallerScript(qsizetype size = 0);

    QString PathOf(const QString& name) const;
    bool Exists(const QString& name) const;
    QByteArray Read(const QString& name) const;
    // The contents of "v.started" once the main program has written it (bounded wait).
    std::optional<QByteArray> WaitForMainProgram() const;

    // Runs the launcher; while its dialog is shown modally, `drive` acts on it. Returns
    // the exit code; `result` gets the dialog's result.
    int Run(const std::function<void(CLauncherDialog&)>& drive, int* result = nullptr,
            const LauncherOptions* options = nullptr) const;

    CHttpTestServer server;
    CTestSigningKey key;
};

QLabel* TextLine(CLauncherDialog& dialog, int line);
QLabel* ProgressText(CLauncherDialog& dialog);
QProgressBar* ProgressBar(CLauncherDialog& dialog);
QAbstractButton* Button(CLauncherDialog& dialog, const char* name);
void Click(CLauncherDialog& dialog, const char* button);
// Checks that the dialog shows the download offer.
void ExpectOfferState(CLauncherDialog& dialog);
