// Connecting to a TLS server from the program: the certificate dialog before the login,
// the security pane, the step in the connect line, and the refusals that must say why.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "framework/modaldialog.h"
#include "ftp/certificatedialog.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "inet/ftpconnection.h"
#include "inet/tlstruststore.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testhelpers.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

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
    boxes.Expect(QStringLiteral("The server 127.0.0.1:%1 stopped offering encryption, although "
                                "it used TLS before. The connection was refused and your "
                                "password was not sent.")
                     .arg(plainServer.Port()),
                 FileMessages::ConnectErrorCaption(), MsgIcon::Stop);
    std::vector<DialogSeen> seen;
    EXPECT_FALSE(ConnectAnswering("cancelButton", seen));
    EXPECT_EQ(boxes.Pending(), 0);
    EXPECT_EQ(plainServer.CountCommands(QStringLiteral("PASS")), 1); // the first, plain login
}
