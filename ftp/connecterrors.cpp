#include "ftp/connecterrors.h"

#include "framework/messagebox.h"
#include "ftp/filemessages.h"
#include "inet/ftpsecurity.h"
#include "inet/ftpsocket.h"
#include "inet/hostresolver.h"
#include "inet/internetexception.h"
#include "inet/tlsrunmemory.h"
#include "inet/tlstruststore.h"

#include <QRegularExpression>

#include <cerrno>

namespace {

// Servers that will not talk in plain text say so in their reply, in words such as these:
// "530 Non-anonymous sessions must use encryption.", "550 SSL/TLS required on the control
// channel", "421 Sorry, cleartext sessions ... are not accepted", "534 Policy requires SSL".
bool AsksForTls(const CInternetException& error)
{
    static const QRegularExpression words(
        QStringLiteral("\\b(TLS|SSL|encrypt\\w*|cleartext|plain ?text|secure)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return words.match(error.ReplyText()).hasMatch();
}

bool SaysSystemError(const CInternetException& error, int code)
{
    return error.Message().contains(SystemErrorText(code));
}

QString ConnectExplanation(const CInternetException& error)
{
    if (error.ReplyCode() != 0)
        return QStringLiteral(
            "The server answered but turned the connection down (its reply is under Details). "
            "It may allow only a few users at a time, or none from this computer; try again "
            "later.");
    if (SaysSystemError(error, ECONNREFUSED))
        return QStringLiteral(
            "The server's computer refused the connection: no FTP server listens at this "
            "address and port. Check the FTP address and its port in the profile (FTP servers "
            "usually listen on port 21, with implicit TLS on port 990), and that the server is "
            "running.");
    return QStringLiteral(
        "The server could not be reached. Check the FTP address in the profile and this "
        "computer's network connection; a firewall may also block the connection.");
}

QString PlainExplanation(const CInternetException& error)
{
    switch (error.Kind()) {
    case InetErrorKind::Login:
    case InetErrorKind::Connect:
    case InetErrorKind::Closed:
        if (AsksForTls(error))
            return QStringLiteral(
                "The server accepts only encrypted connections. In the profile (Profiles menu), "
                "choose the security \"Require explicit TLS\", or \"Implicit TLS\" where the "
                "server expects it on port 990.");
        break;
    default:
        break;
    }
    switch (error.Kind()) {
    case InetErrorKind::Resolve:
        return QStringLiteral(
            "The server's name could not be found. Check the FTP address in the profile "
            "(Profiles menu) for typing errors, and that this computer is connected to the "
            "network.");
    case InetErrorKind::Connect:
        return ConnectExplanation(error);
    case InetErrorKind::Timeout:
        return QStringLiteral(
            "The server did not answer in time. It may be down or overloaded, or a firewall may "
            "silently drop the connection. Check the FTP address in the profile, and try again "
            "later.");
    case InetErrorKind::Login:
        return QStringLiteral(
            "The server refused the login: most likely the user ID or the password is wrong. "
            "Check both in the profile (Profiles menu); passwords are case-sensitive. For an "
            "anonymous profile, the server may not allow anonymous logins.");
    case InetErrorKind::DataConnection:
        return QStringLiteral(
            "The login worked, but the data connection that carries listings and files could "
            "not be opened. Most likely a firewall on this computer, in a router or at the "
            "server blocks it. The program tries passive mode first and active mode next; when "
            "neither gets through, allow FTP data connections in the firewall, or ask the "
            "server's administrator which ports its passive mode uses.");
    case InetErrorKind::Closed:
        return QStringLiteral(
            "The server closed the connection. It may limit how long or how many connections "
            "may stay open; try again.");
    case InetErrorKind::Protocol:
        return QStringLiteral(
            "The server's answer is not FTP. Check that the FTP address and its port in the "
            "profile are those of an FTP server; a server that expects TLS from the start needs "
            "the security \"Implicit TLS\".");
    case InetErrorKind::Reply:
    case InetErrorKind::Cancelled:
    case InetErrorKind::Busy:
    case InetErrorKind::Security:
        break;
    }
    return {};
}

} // namespace

NetworkErrorExplanation ExplainNetworkError(const CInternetException& error)
{
    NetworkErrorExplanation explanation;
    explanation.plain = PlainExplanation(error);
    explanation.details = error.Message();
    if (error.ReplyCode() != 0)
        explanation.details += QStringLiteral("\n\nServer reply:\n%1 %2")
                                   .arg(error.ReplyCode())
                                   .arg(error.ReplyText());
    return explanation;
}

void ShowNetworkError(QWidget* owner, const QString& text, const QString& caption,
                      const CInternetException& error)
{
    const NetworkErrorExplanation explanation = ExplainNetworkError(error);
    MessageBoxRequest request;
    request.owner = owner;
    request.text = text;
    request.caption = caption;
    request.icon = MsgIcon::Stop;
    request.explanation = explanation.plain;
    request.details = explanation.details;
    ShowMessageBox(std::move(request));
}

void ShowDowngradeError(QWidget* owner, const QString& address, CTlsRunMemory* memory)
{
    const std::optional<FtpSecureAddress> secure = ParseSecureAddress(address);
    const std::optional<FtpServerAddress> server =
        secure ? ParseServerAddress(secure->server, secure->defaultPort) : std::nullopt;
    const QString key = server ? CTlsTrustStore::ServerKey(server->host, server->port) : address;
    // Forgetting takes two deliberate answers: this box keeps the memory by default.
    if (ShowMessageBox(owner, FileMessages::DowngradeText(key), FileMessages::DowngradeCaption(),
                       MsgIcon::Stop, MsgButtons::YesNo) != MsgAnswer::No ||
        !server ||
        ShowMessageBox(owner, FileMessages::ForgetTlsText(key), FileMessages::ForgetTlsCaption(),
                       MsgIcon::Warning, MsgButtons::OkCancel) != MsgAnswer::Ok)
        return;
    if (memory)
        memory->Forget(key);
    CTlsTrustStore store;
    if (!store.Forget(server->host, server->port))
        ShowMessageBox(owner, store.Error(), FileMessages::TrustFileCaption(), MsgIcon::Stop);
}
