#pragma once

#include <QRegularExpression>
#include <QString>

// The fixed texts and captions of the file and folder operations, the folder copies and the
// communication that carries them. Tests take the texts from here too.
namespace FileMessages {

// A server path as the user is shown it: the folder tree's paths under a root of "/" begin
// with "//", which servers take as "/"; runs of "/" are shown as one. What is sent to the
// server keeps its own spelling.
inline QString ShownServerPath(QString path)
{
    static const QRegularExpression runs(QStringLiteral("/{2,}"));
    return path.replace(runs, QStringLiteral("/"));
}

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
inline QString RenameText()
{
    return QStringLiteral(
        "An invalid filename was entered, or a file with the name you specified already exists.");
}
inline QString RenameCaption()
{
    return QStringLiteral("Error Renaming File");
}
inline QString CancelledText()
{
    return QStringLiteral("The communication session has been cancelled by the user.");
}
inline QString CancelledCaption()
{
    return QStringLiteral("Communication Cancelled");
}
inline QString ConnectErrorText()
{
    return QStringLiteral("The program was unable to connect to the requested FTP site.");
}
inline QString ConnectErrorCaption()
{
    return QStringLiteral("Error Opening FTP Connection");
}
inline QString NotCopiedCaption()
{
    return QStringLiteral("Items Not Copied");
}
// A dropped item that has no content to copy: `kind` as SpecialKindOfMode names it.
inline QString CannotCopyKindText(const QString& path, const QString& kind)
{
    return QStringLiteral("\"%1\" is a %2, not a file: it cannot be copied.").arg(path, kind);
}
inline QString NameTooLongText(const QString& name)
{
    return QStringLiteral("The name \"%1\" is too long for this computer's file system: the "
                          "file cannot be copied here.")
        .arg(name);
}
inline QString ReplaceWithInnerText()
{
    return QStringLiteral("The source folder lies inside the folder it would replace.");
}

// Reasons in the list of items a folder copy left out.
inline QString NameTooLongReason()
{
    return QStringLiteral("name too long for this computer");
}
inline QString LineBreakReason()
{
    return QStringLiteral("name with a line break, which FTP cannot send");
}
inline QString NotFileOrFolderReason()
{
    return QStringLiteral("neither a file nor a folder on the server");
}

// A download finds the part file an earlier copy of the same file left unfinished.
inline QString ContinuePartText(const QString& partPath, quint64 bytes)
{
    return QStringLiteral("Part of this file is already here, from an earlier copy that did "
                          "not finish: \"%1\" (%2 bytes).\n\nContinue that copy from where it "
                          "stopped? No starts the copy again from the beginning and leaves the "
                          "part file as it is.")
        .arg(partPath)
        .arg(bytes);
}
inline QString ContinuePartCaption()
{
    return QStringLiteral("Continue Earlier Copy");
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
// The status line while a file's bytes move.
inline QString TransferringText()
{
    return QStringLiteral("Transferring Data");
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
