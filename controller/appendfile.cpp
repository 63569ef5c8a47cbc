#include "appendfile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nexil {

namespace {

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

int openForAppend(const QByteArray &name, QString *reason)
{
    const int fd
            = ::open(name.constData(),
                     O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        *reason = error == ELOOP ? QStringLiteral("a symbolic link")
                : error == ENXIO ? QStringLiteral("not a regular file")
                                 : errorText(error);
        return -1;
    }
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *reason = QStringLiteral("not a regular file");
        ::close(fd);
        return -1;
    }
    return fd;
}

bool makeFolders(const QByteArray &name, QString *reason)
{
    const int last = name.lastIndexOf('/');
    if (last <= 0)
        return true;
    const QByteArray folder = name.left(last);
    int error = 0;
    for (int slash = folder.indexOf('/', 1); error == 0; slash = folder.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? folder : folder.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            error = errno;
        if (slash < 0)
            break;
    }
    struct stat info = {};
    const bool found = ::stat(folder.constData(), &info) == 0;
    if (found && S_ISDIR(info.st_mode))
        return true;
    if (error == 0)
        error = found ? ENOTDIR : errno;
    *reason = QStringLiteral("its folder cannot be made (%1)").arg(errorText(error));
    return false;
}

} // namespace nexil
