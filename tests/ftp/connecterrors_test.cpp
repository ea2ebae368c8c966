// Failures told in plain words: the fixed message stays, what most likely happened goes under
// it, the exact replies under Details.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/connecterrors.h"
#include "inet/ftpsocket.h"
#include "inet/internetexception.h"
#include "tests/fixtures/fakeftpserver.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/messageboxscript.h"

#include <gtest/gtest.h>

#include <cerrno>

using CSession = CFakeFtpServer::CSession;

namespace {

const QString kConnectError =
    QStringLiteral("The program was unable to connect to the requested FTP site.");
const QString kConnectCaption = QStringLiteral("Error Opening FTP Connection");

// A main window for the boxes' owner and a profile to connect with.
class ConnectErrors : public testing::Test
{
protected:
    void SetUp() override
    {
        frame = new CMainFrame;
        theApp().mainFrame = frame;
        frame->show();
        ProfileRecord& profile = theApp().activeProfile;
        profile.name = QStringLiteral("errors");
        profile.userId = QString::fromLatin1(CFtpServerFixture::kUser);
        profile.password = QString::fromLatin1(CFtpServerFixture::kPassword);
    }
    void TearDown() override { CCommStatusDialog::Disconnect(); }

    // Connects to `address` and returns the one box that must show: the connect error.
    MessageBoxRequest FailedConnectBox(const QString& address)
    {
        theApp().activeProfile.address = address;
        CMessageBoxScript boxes;
        boxes.Expect(kConnectError, kConnectCaption, MsgIcon::Stop);
        {
            CCommOperation operation;
            EXPECT_FALSE(operation.Dialog().Connect()) << address.toStdString();
        }
        return boxes.Shown().value(0);
    }

    CMainFrame* frame = nullptr;
};

} // namespace

// Each kind of failure, with the reply a server of that kind sends, and the words that must
// be in the explanation ("" where none is given).
TEST(ExplainNetworkError, EachFailureGetsItsLikelyCause)
{
    struct Row
    {
        InetErrorKind kind;
        QString message;
        int code;
        const char* reply;
        const char* explains;
    };
    const QString refused =
        QStringLiteral("Cannot connect to h: %1.").arg(SystemErrorText(ECONNREFUSED));
    const QString unreachable =
        QStringLiteral("Cannot connect to h: %1.").arg(SystemErrorText(EHOSTUNREACH));
    const Row rows[] = {
        {InetErrorKind::Resolve, QStringLiteral("cannot be resolved"), 0, "",
         "name could not be found"},
        {InetErrorKind::Connect, refused, 0, "", "refused the connection"},
        {InetErrorKind::Connect, unreachable, 0, "", "could not be reached"},
        {InetErrorKind::Connect, QStringLiteral("turned down"), 421, "Too many users.",
         "turned the connection down"},
        {InetErrorKind::Connect, QStringLiteral("turned down"), 421,
         "Sorry, cleartext sessions and weak ciphers are not accepted on this server.",
         "only encrypted connections"},
        {InetErrorKind::Timeout, QStringLiteral("No answer in time."), 0, "",
         "did not answer in time"},
        {InetErrorKind::Login, QStringLiteral("refused"), 530, "Login incorrect.",
         "user ID or the password"},
        {InetErrorKind::Login, QStringLiteral("refused"), 530,
         "Non-anonymous sessions must use encryption.", "only encrypted connections"},
        {InetErrorKind::Login, QStringLiteral("refused"), 550,
         "SSL/TLS required on the control channel.", "only encrypted connections"},
        {InetErrorKind::DataConnection, QStringLiteral("No data connection could be made"), 0, "",
         "firewall"},
        {InetErrorKind::Closed, QStringLiteral("closed"), 0, "", "closed the connection"},
        {InetErrorKind::Protocol, QStringLiteral("not FTP"), 0, "", "not FTP"},
        // Nothing to add: a refused command says it all in its reply, a cancel was the
        // user's, and a refusal for security's sake has its own sentence.
        {InetErrorKind::Reply, QStringLiteral("refused"), 550, "Secure folder: permission denied.",
         ""},
        {InetErrorKind::Cancelled, QStringLiteral("cancelled"), 0, "", ""},
        {InetErrorKind::Security, QStringLiteral("TLS failed"), 0, "", ""},
    };
    for (const Row& row : rows) {
        const QString reply = QString::fromLatin1(row.reply);
        SCOPED_TRACE(row.message.toStdString() + " / " + row.reply);
        const NetworkErrorExplanation got =
            ExplainNetworkError(CInternetException(row.kind, row.message, row.code, reply));
        if (*row.explains == '\0') {
            EXPECT_TRUE(got.plain.isEmpty()) << got.plain.toStdString();
        } else {
            EXPECT_TRUE(got.plain.contains(QLatin1String(row.explains))) << got.plain.toStdString();
        }
        EXPECT_TRUE(got.details.startsWith(row.message));
        if (row.code != 0) {
            EXPECT_TRUE(got.details.contains(QStringLiteral("%1 %2").arg(row.code).arg(reply)))
                << got.details.toStdString();
        }
    }
}

TEST_F(ConnectErrors, ARefusedLoginOrConnectionSaysWhyUnderTheFixedText)
{
    CFtpServerFixture server({QStringLiteral("--auth-failed-delay"), QStringLiteral("0")});
    CFtpServerFixture tlsOnly(FixtureTls::Explicit, {QStringLiteral("--tls-required")});
    struct Row
    {
        QString address;
        const char* password;
        const char* explains;
        const char* reply; // in the details
    };
    const Row rows[] = {
        {server.Address(), "wrong", "user ID or the password", "530 "},
        {QStringLiteral("127.0.0.1:1"), "secret", "refused the connection", ""},
        {QStringLiteral("ftp://") + tlsOnly.Address(), "secret", "only encrypted connections",
         "550 "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address.toStdString());
        theApp().activeProfile.password = QString::fromLatin1(row.password);
        const MessageBoxRequest box = FailedConnectBox(row.address);
        EXPECT_TRUE(box.explanation.contains(QLatin1String(row.explains)))
            << box.explanation.toStdString();
        EXPECT_TRUE(box.details.contains(QLatin1String(row.reply))) << box.details.toStdString();
        EXPECT_FALSE(box.details.contains(QLatin1String("secret"))) << "no password in a box";
    }
}

TEST_F(ConnectErrors, ADataConnectionThatCannotBeOpenedPointsAtTheFirewall)
{
    CFakeFtpServer fake;
    // Passive mode names a port where nothing listens, active mode is refused outright.
    for (const QByteArray verb : {"EPSV", "PASV"})
        fake.On(verb, [](CSession& s, const QByteArray&) {
            s.Send("227 Entering Passive Mode (127,0,0,1,0,1).");
        });
    for (const QByteArray verb : {"EPRT", "PORT"})
        fake.On(verb, [](CSession& s, const QByteArray&) { s.Send("500 Illegal PORT command."); });
    theApp().activeProfile.address = fake.Address();

    CMessageBoxScript boxes;
    boxes.Expect(QStringLiteral("The program was unable to read the FTP directory."),
                 QStringLiteral("Error Reading FTP Directory"), MsgIcon::Stop);
    {
        CCommOperation operation;
        ASSERT_TRUE(operation.Dialog().Connect());
        operation.Dialog().ReadFtpDirectory();
    }
    ASSERT_EQ(boxes.Shown().size(), 1);
    const MessageBoxRequest& box = boxes.Shown().front();
    EXPECT_TRUE(box.explanation.contains(QLatin1String("firewall")));
    EXPECT_TRUE(box.explanation.contains(QLatin1String("passive mode")));
    EXPECT_TRUE(box.details.contains(QLatin1String("500 Illegal PORT command.")))
        << box.details.toStdString();

    // A copy that fails the same way keeps its own fixed text and gets the same help.
    CMessageBoxScript copyBoxes;
    copyBoxes.Expect(QStringLiteral("The program was unable to copy the selected file(s)."),
                     QStringLiteral("Error Copying File"), MsgIcon::Stop);
    CCommOperation operation;
    operation.Dialog().ReportCopyError(CInternetException(
        InetErrorKind::DataConnection, QStringLiteral("No data connection could be made")));
    ASSERT_EQ(copyBoxes.Shown().size(), 1);
    EXPECT_TRUE(copyBoxes.Shown().front().explanation.contains(QLatin1String("firewall")));
}
