#include "inet/internetexception.h"

CInternetException::CInternetException(InetErrorKind errorKind, const QString& text, int code,
                                       const QString& serverText)
    : kind(errorKind)
    , message(text)
    , replyCode(code)
    , replyText(serverText)
    , utf8(text.toStdString())
{}

const char* InetErrorKindName(InetErrorKind kind)
{
    switch (kind) {
    case InetErrorKind::Resolve:
        return "resolve";
    case InetErrorKind::Connect:
        return "connect";
    case InetErrorKind::Timeout:
        return "time-out";
    case InetErrorKind::Login:
        return "login";
    case InetErrorKind::Reply:
        return "reply";
    case InetErrorKind::DataConnection:
        return "data connection";
    case InetErrorKind::Protocol:
        return "protocol";
    case InetErrorKind::Closed:
        return "closed";
    case InetErrorKind::Cancelled:
        return "cancelled";
    case InetErrorKind::Busy:
        return "busy";
    case InetErrorKind::Security:
        return "security";
    }
    return "unknown";
}
