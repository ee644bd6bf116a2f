#include "record/RecordFiles.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdio>
#include <vector>

namespace dw {

QString RecorderWorkFolder()
{
    // The user's own cache folder, never the program folder (read-only once
    // installed, and shared by every user). A folder that cannot be made is
    // named by the first write into it.
    const QString folder = UserCacheFolder();
    MakePath(folder);
    return folder;
}

bool WriteEmptyWave(const QString& path, const TWaveAudioFormat& format, QString* error)
{
    TOutputFile out(path);
    const auto header = WaveAudioHeader(format, 0);
    if (!out.Create() || !WriteFull(out.Fd(), header.data(), header.size())) {
        if (error)
            *error = out.Error().isEmpty() ? QString("%1: %2").arg(path, SystemReason(errno)) : out.Error();
        return false;
    }
    if (!out.Commit(true)) {
        if (error)
            *error = out.Error();
        return false;
    }
    return true;
}

bool CopyWholeFile(const QString& from, const QString& to, QString* error)
{
    auto fail = [&](const QString& path, int err) {
        if (error)
            *error = QString("%1: %2").arg(path, SystemReason(err));
        return false;
    };
    UniqueFd in = OpenReadOnly(from);
    if (!in)
        return fail(from, errno);
    TOutputFile out(to);
    if (!out.Create()) {
        if (error)
            *error = out.Error();
        return false;
    }
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t got = ReadFull(in.get(), buffer.data(), buffer.size());
        if (got < 0)
            return fail(from, errno);
        if (got == 0)
            break;
        if (!WriteFull(out.Fd(), buffer.data(), size_t(got)))
            return fail(to, errno);
    }
    if (!out.Commit(true)) {
        if (error)
            *error = out.Error();
        return false;
    }
    return true;
}

bool MoveWholeFile(const QString& from, const QString& to, QString* error)
{
    if (std::rename(NativePath(from).constData(), NativePath(to).constData()) == 0)
        return true;
    if (errno != EXDEV) {
        if (error)
            *error = QString("%1: %2").arg(to, SystemReason(errno));
        return false;
    }
    if (!CopyWholeFile(from, to, error))
        return false;
    RemoveFile(from);
    return true;
}

}  // namespace dw
