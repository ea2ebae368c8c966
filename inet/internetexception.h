#pragma once

#include <QString>

#include <exception>
#include <string>

// What went wrong in a network call.
enum class InetErrorKind {
    Resolve,        // the host name does not resolve
    Connect,        // the control connection could not be made
    Timeout,        // the server did not answer within the configured time
    Login,          // USER/PASS refused
    Reply,          // the server answered with a reply of the wrong class
    DataConnection, // the data connection could not be made or broke
    Protocol,       // the server sent something that is not FTP
    Closed,         // the control connection is gone
    Cancelled,      // the session's wait hook asked to stop
    Busy,           // the connection already carries an open file or search
    Security        // TLS failed, or the server's certificate or encryption was refused
};

// Every failure of the inet library. Carries the server's reply where there is one.
class CInternetException : public std::exception
{
public:
    CInternetException(InetErrorKind kind, const QString& message, int replyCode = 0,
                       const QString& replyText = {});

    InetErrorKind Kind() const { return kind; }
    int ReplyCode() const { return replyCode; }
    const QString& ReplyText() const { return replyText; }
    // A readable sentence, with the server's text where there is one.
    const QString& Message() const { return message; }
    const char* what() const noexcept override { return utf8.c_str(); }
    // A server that spoke TLS before no longer does (Security kind): the login was ended
    // before the user name was sent.
    bool IsDowngrade() const { return downgrade; }
    void MarkDowngrade() { downgrade = true; }

private:
    InetErrorKind kind;
    QString message;
    int replyCode;
    QString replyText;
    std::string utf8;
    bool downgrade = false;
};

const char* InetErrorKindName(InetErrorKind kind);
