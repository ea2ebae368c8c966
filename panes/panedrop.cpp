#include "panes/panedrop.h"

namespace {

// "//pub//a/" and "/pub/a" name the same folder.
QString Canonical(const QString& path)
{
    QString result;
    result.reserve(path.size());
    for (const QChar c : path) {
        if (c == QLatin1Char('/') && result.endsWith(QLatin1Char('/')))
            continue;
        result.append(c);
    }
    if (result.size() > 1 && result.endsWith(QLatin1Char('/')))
        result.chop(1);
    return result;
}

bool IsSameOrInside(const QString& destination, const QString& source, bool sourceIsFolder)
{
    const QString d = Canonical(destination);
    const QString s = Canonical(source);
    if (d == s)
        return true;
    if (!sourceIsFolder)
        return false;
    const QString folder = s.endsWith(QLatin1Char('/')) ? s : s + QLatin1Char('/');
    return d.startsWith(folder, Qt::CaseSensitive);
}

} // namespace

QString WithoutTrailingSlash(const QString& path)
{
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        return path.chopped(1);
    return path;
}

QString DropTitle(PaneSide sourceSide, PaneSide targetSide)
{
    const auto name = [](PaneSide side) {
        return side == PaneSide::Local ? QStringLiteral("Local Computer")
                                       : QStringLiteral("FTP Server");
    };
    if (sourceSide == PaneSide::Local && targetSide == PaneSide::Local)
        return {};
    const QString from = name(sourceSide);
    const QString to = name(targetSide);
    return QStringLiteral("Copying files from ") + from + QStringLiteral(" to ") + to +
           QStringLiteral(" - Please Wait");
}

DropRoutine DropRoutineFor(PaneSide sourceSide, PaneSide targetSide, bool isFolder)
{
    if (sourceSide == PaneSide::Local && targetSide == PaneSide::Local)
        return isFolder ? DropRoutine::CopyLocalFolder : DropRoutine::CopyLocalFile;
    if (sourceSide == PaneSide::Local)
        return isFolder ? DropRoutine::UploadFolder : DropRoutine::UploadFile;
    if (targetSide == PaneSide::Local)
        return isFolder ? DropRoutine::DownloadFolder : DropRoutine::DownloadFile;
    return isFolder ? DropRoutine::CopyFtpFolder : DropRoutine::CopyFtpFile;
}

bool SourceIsFtp(DropRoutine routine)
{
    switch (routine) {
    case DropRoutine::DownloadFile:
    case DropRoutine::DownloadFolder:
    case DropRoutine::CopyFtpFile:
    case DropRoutine::CopyFtpFolder:
        return true;
    default:
        return false;
    }
}

bool TargetIsFtp(DropRoutine routine)
{
    switch (routine) {
    case DropRoutine::UploadFile:
    case DropRoutine::UploadFolder:
    case DropRoutine::CopyFtpFile:
    case DropRoutine::CopyFtpFolder:
        return true;
    default:
        return false;
    }
}

DropPlan PlanDrop(const DropRequest& request)
{
    DropPlan plan;
    plan.title = DropTitle(request.sourceSide, request.targetSide);
    plan.sourceSide = request.sourceSide;
    plan.targetSide = request.targetSide;
    const bool sameSide = request.sourceSide == request.targetSide;
    for (const DropItem& item : request.items) {
        DropStep step;
        step.routine = DropRoutineFor(request.sourceSide, request.targetSide, item.isFolder);
        step.source = WithoutTrailingSlash(item.sourcePath);
        step.destination = request.targetFolder + item.name;
        step.isFolder = item.isFolder;
        // Checked for every item before the first is touched: a drop that would copy one
        // of them onto itself copies none.
        if (sameSide && IsSameOrInside(step.destination, step.source, item.isFolder)) {
            plan.refused = true;
            plan.steps.clear();
            return plan;
        }
        plan.steps.append(step);
    }
    return plan;
}
