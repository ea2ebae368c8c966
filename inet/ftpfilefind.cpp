#include "inet/ftpfilefind.h"

#include "inet/ftpconnection.h"
#include "inet/ftpcontrol.h"

namespace {

bool HasWildcard(QStringView text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

// "*" any run, "?" one character; case-sensitive like the server's names.
bool Matches(QStringView pattern, QStringView name)
{
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == QLatin1Char('?') || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

const FtpListEntry& NoEntry()
{
    static const FtpListEntry none;
    return none;
}

} // namespace

CFtpFileFind::CFtpFileFind(CFtpConnection& ftpConnection)
    : connection(ftpConnection)
{}

CFtpFileFind::~CFtpFileFind()
{
    Close();
}

bool CFtpFileFind::FindFile(const QString& pattern, bool /*reload*/)
{
    Close();
    lastError.reset();
    try {
        CFtpControl* control = connection.control.get();
        if (!control)
            throw CInternetException(InetErrorKind::Closed,
                                     QStringLiteral("The connection to the server is closed."));
        control->EnsureUsable();
        control->EnsureFree();

        // Split into the folder to list and what to pick from it.
        QString folder, pick;
        bool onePath = false;
        const qsizetype slash = pattern.lastIndexOf(QLatin1Char('/'));
        const QString last = slash < 0 ? pattern : pattern.mid(slash + 1);
        const QString head =
            slash < 0 ? QString() : (slash == 0 ? QStringLiteral("/") : pattern.left(slash));
        if (pattern.isEmpty()) {
        } else if (last == QLatin1String("*.*") || last == QLatin1String("*")) {
            folder = head;
        } else if (HasWildcard(last)) {
            folder = head;
            pick = last;
        } else if (!last.isEmpty()) {
            folder = head;
            pick = last;
            onePath = true;
        } else {
            folder = head; // "folder/" lists the folder
        }

        FtpMlstAnswer mlst;
        if (onePath)
            mlst = control->Mlst(control->Argument(pattern));
        if (mlst.state == FtpMlstAnswer::State::Found) {
            entries.push_back(std::move(mlst.entry));
        } else if (mlst.state == FtpMlstAnswer::State::Unknown) {
            const QByteArray folderArgument =
                folder.isEmpty() ? QByteArray() : control->Argument(folder);
            std::vector<FtpListEntry> listed = control->List(folderArgument);
            if (pick.isEmpty()) {
                entries = std::move(listed);
            } else {
                for (FtpListEntry& entry : listed) {
                    if (onePath ? entry.name == pick : Matches(pick, entry.name))
                        entries.push_back(std::move(entry));
                }
            }
            control->LearnLinkTargets(folderArgument, entries);
        }
        if (entries.empty())
            return false;
        claim = control->Claim(false);
        open = true;
        return true;
    } catch (const CInternetException& e) {
        lastError = e;
    } catch (const std::exception& e) {
        lastError = CInternetException(InetErrorKind::Protocol, QString::fromLocal8Bit(e.what()));
    }
    entries.clear();
    return false;
}

bool CFtpFileFind::FindNextFile()
{
    if (!open || next >= entries.size())
        return false;
    current = next++;
    return next < entries.size();
}

const FtpListEntry& CFtpFileFind::Current() const
{
    return current && *current < entries.size() ? entries[*current] : NoEntry();
}

QString CFtpFileFind::GetFileName() const
{
    return Current().name;
}

quint64 CFtpFileFind::GetLength() const
{
    return Current().size;
}

qint64 CFtpFileFind::GetLastWriteTime() const
{
    return Current().writeTime;
}

bool CFtpFileFind::IsNormal() const
{
    return Current().isNormal;
}

bool CFtpFileFind::IsDirectory() const
{
    return Current().isDirectory;
}

bool CFtpFileFind::IsLink() const
{
    return Current().isLink;
}

bool CFtpFileFind::IsDots() const
{
    const QString& name = Current().name;
    return name == QLatin1String(".") || name == QLatin1String("..");
}

void CFtpFileFind::Close()
{
    claim.Release();
    open = false;
    entries.clear();
    next = 0;
    current.reset();
}

const std::optional<CInternetException>& CFtpFileFind::LastError() const
{
    return lastError;
}
