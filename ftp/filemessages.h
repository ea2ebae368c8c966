#pragma once

#include <QString>

// The fixed texts and captions of the file and folder operations, the folder copies and the
// communication that carries them. Tests take the texts from here too.
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

} // namespace FileMessages
