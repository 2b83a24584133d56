#include "app/filewrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString writeErrorText(int code)
{
    switch (code) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("the folder does not exist; choose another output directory");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("the disk is full; free some space or choose another output directory");
    case EFBIG:
        return QStringLiteral("the file is too large for the disk");
    case EACCES:
    case EPERM:
        return QStringLiteral("no permission to write there; choose another output directory");
    case EROFS:
        return QStringLiteral("the disk is read-only; choose another output directory");
    case EISDIR:
        return QStringLiteral("a folder of that name is in the way");
    default:
        return QString::fromLocal8Bit(std::strerror(code));
    }
}

namespace {

bool failed(QString* reason, int code)
{
    if (reason)
        *reason = writeErrorText(code);
    return false;
}

} // namespace

bool writeAllBytes(int file, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(file, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* reason)
{
    const QFileInfo target(path);
    if (target.isDir())
        return failed(reason, EISDIR);
    // Hidden and beside the target: the rename stays on one file system.
    QByteArray temporary =
        QFile::encodeName(QDir(target.path()).filePath(QLatin1Char('.') + target.fileName() + ".XXXXXX"));
    const int file = ::mkstemp(temporary.data());
    if (file < 0)
        return failed(reason, errno);
    // mkstemp keeps the file to its owner; give it the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file, 0666 & ~mask);

    int code = 0;
    if (!writeAllBytes(file, bytes) || ::fsync(file) != 0)
        code = errno;
    // A full disk may show only at the close (network file systems).
    if (::close(file) != 0 && code == 0)
        code = errno;
    if (code == 0 && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        code = errno;
    if (code != 0) {
        ::unlink(temporary.constData());
        return failed(reason, code);
    }
    return true;
}
