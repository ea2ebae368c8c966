// Connecting to a TLS server from the program: the certificate dialog before the login,
// the security pane, the step in the connect line, and the refusals that must say why.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "framework/modaldialog.h"
#include "ftp/certificatedialog.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "inet/ftpconnection.h"
#include "inet/tlsrunmemory.h"
#include "inet/tlstruststore.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testhelpers.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

// What the dialog showed when it was answered.
struct DialogSeen
{
    QString title;
    QString fingerprint;
    QString problem;
    QString defaultButton;
    QString connectLine; // the status window's, while the dialog is up
    int passwordsBefore = -1;
};

} // namespace

class CConnectTlsTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { server = new CFtpServerFixture(FixtureTls::Explicit); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->IsRunning());
        server->ClearLog();
        frame = MakeMainFrame();
        ProfileRecord& profile = theApp().activeProfile;
        profile.address = server->Address();
        profile.userId = QString::fromLatin1(CFtpServerFixture::kUser);
        profile.password = QString::fromLatin1(CFtpServerFixture::kPassword);
    }
    void TearDown() override { CCommStatusDialog::Disconnect(); }

    // Connects with the dialog answered by clicking `button` after `thinking`; records what
    // it showed.
    bool ConnectAnswering(const char* button, std::vector<DialogSeen>& seen,
                          std::chrono::milliseconds thinking = {})
    {
        CScopedModalHandler handler([&](QDialog& dialog) {
            std::this_thread::sleep_for(thinking);
            DialogSeen shown;
            shown.title = dialog.windowTitle();
            shown.fingerprint = dialog.findChild<QLabel*>(QStringLiteral("fingerprintLabel"))
                                    ->text()
                                    .remove(QLatin1Char('\n'));
            shown.problem = dialog.findChild<QLabel*>(QStringLiteral("problemLabel"))->text();
            for (QPushButton* candidate : dialog.findChildren<QPushButton*>()) {
                if (candidate->isDefault())
                    shown.defaultButton = candidate->objectName();
            }
            shown.passwordsBefore = server->CountCommands(QStringLiteral("PASS"));
            for (QLabel* line : frame->findChildren<QLabel*>(QStringLiteral("connectLine")))
                shown.connectLine = line->text();
            seen.push_back(shown);
            dialog.findChild<QPushButton*>(QLatin1String(button))->click();
            return QDialog::Rejected;
        });
        CCommOperation operation;
        return operation.Dialog().Connect();
    }

    static inline CFtpServerFixture* server = nullptr;
    CMainFrame* frame = nullptr;
};

TEST_F(CConnectTlsTest, TrustingTheCertificateLogsInAndTheNextConnectAsksNothing)
{
    CMessageBoxScript boxes;
    std::vector<DialogSeen> seen;
    ASSERT_TRUE(ConnectAnswering("trustButton", seen));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].passwordsBefore, 0);
    EXPECT_EQ(seen[0].title, QStringLiteral("Unknown Server Certificate"));
    EXPECT_EQ(seen[0].fingerprint, FormatFingerprint(server->CertificateFingerprint()));
    EXPECT_FALSE(seen[0].problem.isEmpty());
    EXPECT_EQ(seen[0].defaultButton, QStringLiteral("onceButton"));
    EXPECT_EQ(seen[0].connectLine, QStringLiteral("Setting up TLS Encryption - Please Wait"));
    EXPECT_EQ(server->CountCommands(QStringLiteral("PASS")), 1);
    EXPECT_TRUE(frame->SecurityText().startsWith(QLatin1String("TLS 1.")));

    CCommStatusDialog::Disconnect();
    EXPECT_TRUE(frame->SecurityText().isEmpty());
    std::vector<DialogSeen> again;
    ASSERT_TRUE(ConnectAnswering("cancelButton", again));
    EXPECT_TRUE(again.empty());
}

TEST_F(CConnectTlsTest, TheTimeTheUserTakesToDecideIsNotTheServers)
{
    // The login must not be given up because the user read the certificate for longer
    // than the server may take to answer.
    CCommStatusDialog::SetConnectWaitLimit(std::chrono::milliseconds(1500));
    CMessageBoxScript boxes;
    std::vector<DialogSeen> seen;
    const bool connected = ConnectAnswering("onceButton", seen, std::chrono::milliseconds(2000));
    CCommStatusDialog::SetConnectWaitLimit(CCommStatusDialog::kConnectWaitLimit);
    EXPECT_TRUE(connected);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(CConnectTlsTest, CancelSendsNoPasswordAndAChangedCertificateDefaultsToCancel)
{
    ASSERT_TRUE(
        CTlsTrustStore().Trust(QStringLiteral("127.0.0.1"), server->Port(), QByteArray(64, 'c')));
    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("The certificate of the server 127.0.0.1:%1 was not accepted.")
                     .arg(server->Port()),
                 FileMessages::ConnectErrorCaption(), MsgIcon::Stop);
    std::vector<DialogSeen> seen;
    EXPECT_FALSE(ConnectAnswering("cancelButton", seen));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, QStringLiteral("Server Certificate Changed"));
    EXPECT_EQ(seen[0].defaultButton, QStringLiteral("cancelButton"));
    EXPECT_EQ(server->CountCommands(QStringLiteral("USER")), 0);
    EXPECT_EQ(server->CountCommands(QStringLiteral("PASS")), 0);
    EXPECT_FALSE(theApp().ftpConnection);
    EXPECT_EQ(boxes.Pending(), 0);
}

TEST_F(CConnectTlsTest, PlainServerShowsNotEncryptedAndADowngradeSaysWhy)
{
    CFtpServerFixture plainServer;
    theApp().activeProfile.address = plainServer.Address();
    {
        CMessageBoxScript boxes;
        std::vector<DialogSeen> seen;
        ASSERT_TRUE(ConnectAnswering("cancelButton", seen));
        EXPECT_EQ(frame->SecurityText(), QStringLiteral("Not encrypted"));
        CCommStatusDialog::Disconnect();
    }
    ASSERT_TRUE(CTlsTrustStore().Trust(QStringLiteral("127.0.0.1"), plainServer.Port(),
                                       QByteArray(64, 'd')));
    CMessageBoxScript boxes;
    const QString key = QStringLiteral("127.0.0.1:%1").arg(plainServer.Port());
    boxes.Expect(FileMessages::DowngradeText(key), FileMessages::DowngradeCaption(), MsgIcon::Stop,
                 MsgAnswer::Yes);
    std::vector<DialogSeen> seen;
    EXPECT_FALSE(ConnectAnswering("cancelButton", seen));
    EXPECT_EQ(boxes.Pending(), 0);
    EXPECT_EQ(plainServer.CountCommands(QStringLiteral("PASS")), 1); // the first, plain login
}

TEST_F(CConnectTlsTest, OnceTlsAlwaysTlsAcrossReconnectsAndRestartsUntilForgottenOnPurpose)
{
    std::optional<CFtpServerFixture> tlsServer(std::in_place, FixtureTls::Explicit);
    ASSERT_TRUE(tlsServer->IsRunning());
    const quint16 port = tlsServer->Port();
    const QString key = QStringLiteral("127.0.0.1:%1").arg(port);
    theApp().activeProfile.address = tlsServer->Address();
    {
        CMessageBoxScript boxes;
        std::vector<DialogSeen> seen;
        ASSERT_TRUE(ConnectAnswering("onceButton", seen));
        ASSERT_EQ(seen.size(), 1u);
        // An idle drop and the login after it: "this time only" holds for the whole run.
        CCommStatusDialog::Disconnect();
        ASSERT_TRUE(ConnectAnswering("cancelButton", seen));
        EXPECT_EQ(seen.size(), 1u);
        CCommStatusDialog::Disconnect();
    }
    // Someone in between now answers AUTH TLS with a refusal on the same address: in this
    // run, and in the next one (a new run memory, the file kept).
    tlsServer.reset();
    for (const bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "after a restart" : "in the same run");
        if (restart)
            theApp().tlsMemory = std::make_shared<CTlsRunMemory>();
        CFtpServerFixture plainServer({QStringLiteral("--port"), QString::number(port)});
        ASSERT_EQ(plainServer.Port(), port);
        CMessageBoxScript boxes;
        boxes.Expect(FileMessages::DowngradeText(key), FileMessages::DowngradeCaption(),
                     MsgIcon::Stop, MsgAnswer::Yes);
        std::vector<DialogSeen> seen;
        EXPECT_FALSE(ConnectAnswering("cancelButton", seen));
        EXPECT_EQ(boxes.Pending(), 0);
        EXPECT_EQ(plainServer.CountCommands(QStringLiteral("AUTH")), 1);
        EXPECT_EQ(plainServer.CountCommands(QStringLiteral("USER")), 0);
        EXPECT_EQ(plainServer.CountCommands(QStringLiteral("PASS")), 0);
    }
    // Forgetting takes two answers; after it the plain server is used as the user chose.
    CFtpServerFixture plainServer({QStringLiteral("--port"), QString::number(port)});
    {
        CMessageBoxScript boxes;
        boxes.Expect(FileMessages::DowngradeText(key), MsgAnswer::No);
        boxes.Expect(FileMessages::ForgetTlsText(key), MsgAnswer::Cancel);
        std::vector<DialogSeen> seen;
        EXPECT_FALSE(ConnectAnswering("cancelButton", seen));
        EXPECT_TRUE(CTlsTrustStore().UsedTls(QStringLiteral("127.0.0.1"), port));
        boxes.Expect(FileMessages::DowngradeText(key), MsgAnswer::No);
        boxes.Expect(FileMessages::ForgetTlsText(key), MsgAnswer::Ok);
        EXPECT_FALSE(ConnectAnswering("cancelButton", seen));
        EXPECT_EQ(boxes.Pending(), 0);
    }
    EXPECT_FALSE(CTlsTrustStore().UsedTls(QStringLiteral("127.0.0.1"), port));
    CMessageBoxScript boxes;
    std::vector<DialogSeen> seen;
    EXPECT_TRUE(ConnectAnswering("cancelButton", seen));
    EXPECT_EQ(frame->SecurityText(), QStringLiteral("Not encrypted"));
}

TEST_F(CConnectTlsTest, AFailedWriteOfTheTrustFileIsSaidAndTheLoginGoesOn)
{
    // The configuration folder lies below a file: the trust file can be neither made nor
    // written, and the user's Trust holds for this run only.
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const QString blocker = QDir::currentPath() + QStringLiteral("/blocker");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker + QStringLiteral("/config")));
    QList<MessageBoxRequest> shown;
    CScopedMessageBoxHandler handler([&](const MessageBoxRequest& request) {
        shown.append(request);
        return MsgAnswer::Ok;
    });
    std::vector<DialogSeen> seen;
    const bool connected = ConnectAnswering("trustButton", seen);
    qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_TRUE(connected);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].caption, FileMessages::TrustFileCaption());
    EXPECT_TRUE(shown[0].text.contains(QLatin1String("cannot be written")))
        << shown[0].text.toStdString();
    EXPECT_TRUE(shown[0].text.contains(QLatin1String("until the program ends")));
}

TEST(CertificateDialog, ServerWordsAreShownAsTheyAreWithEveryProblem)
{
    TlsCertificateInfo certificate;
    certificate.host = QStringLiteral("<i>host</i>");
    certificate.port = 21;
    certificate.subject = QStringLiteral("CN=<b>Bank</b><img src=\"x\">");
    certificate.issuer = QStringLiteral("O=<a href=\"http://x\">Trusted</a>");
    certificate.fingerprint = QByteArray(64, 'a');
    certificate.problem = QStringLiteral("The certificate has expired.\nThe certificate was made "
                                         "for another server name.");
    CCertificateDialog dialog(certificate, nullptr);
    const char* names[] = {"introLabel", "serverLabel", "subjectLabel", "issuerLabel",
                           "problemLabel"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        auto* label = dialog.findChild<QLabel*>(QLatin1String(name));
        ASSERT_NE(label, nullptr);
        // What the label draws: markup taken as text, not as formatting.
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("subjectLabel"))->text(),
              certificate.subject);
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("problemLabel"))->text(),
              certificate.problem);
}
