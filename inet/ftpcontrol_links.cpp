// What the links of a listing lead to.
#include "inet/ftpcontrol.h"

namespace {

// A folder of thousands of links must not cost thousands of round trips; the links past
// this many keep an unknown target.
constexpr int kLinksAsked = 64;

QByteArray ChildPath(const QByteArray& folder, const QByteArray& name)
{
    if (folder.isEmpty())
        return name;
    return folder.endsWith('/') ? QByteArray(folder + name) : QByteArray(folder + '/' + name);
}

} // namespace

void CFtpControl::LearnLinkTargets(const QByteArray& folder, std::vector<FtpListEntry>& entries)
{
    int asked = 0;
    std::optional<QByteArray> back; // where a CWD into a link returns to
    for (FtpListEntry& entry : entries) {
        if (!entry.isLink || entry.isDirectory || entry.isNormal)
            continue;
        if (++asked > kLinksAsked)
            return;
        const QByteArray path = SafePathArgument(ChildPath(folder, entry.rawName));

        // MLST follows the link on most servers.
        const FtpMlstAnswer mlst = Mlst(path);
        if (mlst.state == FtpMlstAnswer::State::Missing)
            continue; // a link that leads nowhere
        if (mlst.state == FtpMlstAnswer::State::Found && !mlst.entry.isLink) {
            entry.isDirectory = mlst.entry.isDirectory;
            entry.isNormal = mlst.entry.isNormal;
            continue;
        }
        // Only a file has a size.
        if (line.features.size) {
            SetType(TransferType::Binary); // some servers refuse SIZE in ASCII mode
            if (Execute("SIZE " + path).code == 213) {
                entry.isNormal = true;
                continue;
            }
        }
        // Only a folder can be entered; the way back is the folder the connection is in.
        if (!back) {
            const FtpReply pwd = Execute("PWD");
            back = pwd.code == 257 ? ParsePwdReply(pwd.FirstLineText()).value_or(QByteArray())
                                   : QByteArray();
        }
        if (back->isEmpty())
            continue;
        if (Execute("CWD " + path).Class() != 2) {
            entry.isNormal = true;
            continue;
        }
        entry.isDirectory = true;
        const FtpReply returned = Execute("CWD " + *back);
        if (returned.Class() != 2)
            throw ReplyError(InetErrorKind::Reply,
                             QStringLiteral("The server did not go back to the folder"), returned);
    }
}
