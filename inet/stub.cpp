// Placeholder bodies until the client lands.
#include "inet/ftpconnection.h"
#include "inet/ftpfilefind.h"
#include "inet/internetexception.h"
#include "inet/internetfile.h"
#include "inet/internetsession.h"

struct FtpSessionShared {};
struct FtpControl {};
struct FtpDataChannel {};

CInternetException::CInternetException(InetErrorKind k, const QString& m, int code,
                                       const QString& text)
    : kind(k), message(m), replyCode(code), replyText(text), utf8(m.toStdString())
{
}

CInternetSession::CInternetSession(const InternetOptions&) {}
CInternetSession::~CInternetSession() = default;
void CInternetSession::Close() {}
std::unique_ptr<CFtpConnection> CInternetSession::GetFtpConnection(const QString&, const QString&,
                                                                   const QString&, quint16, bool)
{
    throw CInternetException(InetErrorKind::Connect, QStringLiteral("not built yet"));
}
CFtpConnection::~CFtpConnection() = default;
void CFtpConnection::Close() {}
