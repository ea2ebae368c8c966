#include "tests/launcher/launchertestbed.h"

#include "framework/modaldialog.h"
#include "framework/settingsstore.h"
#include "tests/fixtures/testenvironment.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

CLauncherTestbed::CLauncherTestbed()
{
    // Cases of one table share the test's folder; each starts from an empty one.
    const QDir folder(TestProgramFolder());
    for (const QFileInfo& entry :
         folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
    SetSetting(QStringLiteral("UpdateServer"), server.Address());
    SetSetting(QStringLiteral("Version"), QStringLiteral("8.77"));
    server.Serve("/test5/maq/vz.ver", CHttpTestServer::Ok("8.78\r\n"));
}

LauncherOptions CLauncherTestbed::Options() const
{
    LauncherOptions options;
    options.programFolder = TestProgramFolder();
    options.publicKeyPem = key.PublicPem();
    options.timeouts.connect = 2s;
    options.timeouts.answer = 1s;
    options.timeouts.stall = 2s;
    return options;
}

void CLauncherTestbed::SetSetting(const QString& name, const QString& value) const
{
    CSettingsStore store;
    ASSERT_TRUE(store.Open());
    ASSERT_TRUE(store.WriteText(name, value));
}

static void WriteExecutable(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void CLauncherTestbed::WriteMainProgram() const
{
    WriteExecutable(PathOf(QStringLiteral("v.exe")), "#!/bin/sh\npwd > v.started.tmp\n"
                                                     "mv v.started.tmp v.started\n");
}

void CLauncherTestbed::ServeInstaller(const QByteArray& installer)
{
    server.Serve("/test5/maq/vz.cxx", CHttpTestServer::Ok(installer));
    server.Serve("/test5/maq/vz.sig", CHttpTestServer::Ok(key.Sign(installer)));
}

QByteArray CLauncherTestbed::InstallerScript(qsizetype size)
{
    QByteArray script = "#!/bin/sh\n"
                        "cp \"$0\" installer.copy\n"
                        "stat -c %a \"$0\" > installer.mode\n"
                        "pwd > installer.ran\n"
                        "sleep 0.3\n"
                        // The new v.exe marks its start in one step, so that a test
                        // polling for the mark never reads it half written.
                        "printf '#!/bin/sh\\necho new > v.started.tmp\\n"
                        "mv v.started.tmp v.started\\n' > v.exe\n"
                        "chmod 700 v.exe\n"
                        "exit 0\n";
    if (script.size() < size)
        script += '#' + QByteArray(size - script.size() - 2, 'x') + '\n';
    return script;
}

QString CLauncherTestbed::PathOf(const QString& name) const
{
    return TestProgramFolder() + name;
}

bool CLauncherTestbed::Exists(const QString& name) const
{
    return QFile::exists(PathOf(name));
}

QByteArray CLauncherTestbed::Read(const QString& name) const
{
    QFile file(PathOf(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::optional<QByteArray> CLauncherTestbed::WaitForMainProgram() const
{
    if (!QTest::qWaitFor([this] { return Exists(QStringLiteral("v.started")); }, 5000))
        return std::nullopt;
    return Read(QStringLiteral("v.started")).trimmed();
}

int CLauncherTestbed::Run(const std::function<void(CLauncherDialog&)>& drive, int* result,
                          const LauncherOptions* options) const
{
    // Without `drive` the dialog must not show at all: the test harness fails any modal
    // dialog that no handler expects.
    std::optional<CScopedModalHandler> modal;
    if (drive) {
        modal.emplace([&](QDialog& dialog) {
            drive(static_cast<CLauncherDialog&>(dialog));
            return int(QDialog::Rejected);
        });
    }
    CLauncherDialog dialog(options ? *options : Options());
    const int exitCode = dialog.Run();
    if (result)
        *result = dialog.result();
    return exitCode;
}

QLabel* TextLine(CLauncherDialog& dialog, int line)
{
    return dialog.findChild<QLabel*>(line == 1 ? "textLine1" : "textLine2");
}

QLabel* ProgressText(CLauncherDialog& dialog)
{
    return dialog.findChild<QLabel*>("progressText");
}

QProgressBar* ProgressBar(CLauncherDialog& dialog)
{
    return dialog.findChild<QProgressBar*>("progressBar");
}

QAbstractButton* Button(CLauncherDialog& dialog, const char* name)
{
    return dialog.findChild<QAbstractButton*>(name);
}

void Click(CLauncherDialog& dialog, const char* button)
{
    QAbstractButton* target = Button(dialog, button);
    ASSERT_NE(target, nullptr) << button;
    ASSERT_TRUE(target->isVisible()) << button;
    QTest::mouseClick(target, Qt::LeftButton);
}

void ExpectOfferState(CLauncherDialog& dialog)
{
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Vantor - Download Current Version"));
    EXPECT_EQ(TextLine(dialog, 1)->text(),
              QStringLiteral("You currently have an old version of the Vantor program."));
    EXPECT_EQ(TextLine(dialog, 2)->text(),
              QStringLiteral("To use Vantor, please click the [Download] button below to "
                             "receive the current version."));
    EXPECT_TRUE(TextLine(dialog, 2)->isVisible());
    EXPECT_TRUE(Button(dialog, "downloadButton")->isVisible());
    EXPECT_TRUE(Button(dialog, "cancelButton")->isVisible());
    EXPECT_FALSE(Button(dialog, "okButton")->isVisible());
    EXPECT_FALSE(ProgressBar(dialog)->isVisible());
    EXPECT_FALSE(ProgressText(dialog)->isVisible());
    EXPECT_FALSE(dialog.IsDownloading());
}
