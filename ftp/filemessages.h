#pragma once

#include <QString>

// The fixed texts and captions of the file and folder operations and the folder copies.
namespace FileMessages {

inline QString DeleteFileText()
{
    return QStringLiteral("The program was unable to delete the specified file(s).");
}
inline QString DeleteFileCaption()
{
    return QStringLiteral("Error Deleting File");
}
inline QString CreateFolderText()
{
    return QStringLiteral("The program was unable to create the new directory.");
}
inline QString CreateFolderCaption()
{
    return QStringLiteral("Error Creating Directory");
}
inline QString CopyFileText()
{
    return QStringLiteral("The program was unable to copy the selected file(s).");
}
inline QString CopyFileCaption()
{
    return QStringLiteral("Error Copying File");
}
inline QString SameFileText()
{
    return QStringLiteral("The destination file is the same as the source file.");
}
inline QString DeleteFolderText()
{
    return QStringLiteral("The program was unable to delete the specified folder(s).");
}
inline QString DeleteFolderCaption()
{
    return QStringLiteral("Error Deleting Folder");
}
inline QString InsideSourceText()
{
    return QStringLiteral("The destination folder is the same as the source folder.");
}
inline QString InsideSourceCaption()
{
    return QStringLiteral("Error Copying Folder");
}
inline QString AttributesNotSetText()
{
    return QStringLiteral("The File Attributes were NOT set.");
}
inline QString AttributesNotSetCaption()
{
    return QStringLiteral("File Attributes ERROR");
}
inline QString AttributesSetText()
{
    return QStringLiteral("The File Attributes have been set.");
}
inline QString AttributesSetCaption()
{
    return QStringLiteral("File Attributes completed");
}

// What a finished download was checked by.
inline QString CheckedByDigestText()
{
    return QStringLiteral("Checked by size and digest");
}
inline QString CheckedBySizeText()
{
    return QStringLiteral("Checked by size only: not verified by digest");
}

// A server that spoke TLS before refuses it now (`server` is "host:port").
inline QString DowngradeText(const QString& server)
{
    return QStringLiteral(
               "The server %1 no longer offers encryption, although it did before. This may be "
               "an attack by someone between you and the server. The connection was ended and "
               "nothing was sent: not your user name, not your password.\n\n"
               "Keep refusing unencrypted connections to this server? Answer No only if the "
               "server's owner told you that it gave up encryption.")
        .arg(server);
}
inline QString DowngradeCaption()
{
    return QStringLiteral("Encryption Refused");
}
inline QString ForgetTlsText(const QString& server)
{
    return QStringLiteral("Forget that the server %1 used encryption, and its trusted "
                          "certificate? From the next connection on, your user name and "
                          "password may go to it in plain text.")
        .arg(server);
}
inline QString ForgetTlsCaption()
{
    return QStringLiteral("Forget Encryption");
}
inline QString TrustFileCaption()
{
    return QStringLiteral("Trusted Certificates");
}

} // namespace FileMessages
