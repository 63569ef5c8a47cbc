#include "filereplace.h"

#include "extendedattributes.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nexil::filereplace {

namespace {

QString kind(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// stat() of the path with links followed: true with *exists when it may be written.
bool check(const QString &path, const QByteArray &name, struct stat *st, bool *exists,
           QString *error)
{
    if (::stat(name.constData(), st) == 0) {
        if (!S_ISREG(st->st_mode)) {
            *error = path
                    + QStringLiteral(": not a regular file but %1; nothing written")
                              .arg(kind(st->st_mode));
            return false;
        }
        *exists = true;
        return true;
    }
    const int statError = errno;
    struct stat link = {};
    if (statError == ENOENT && ::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        *error = path
                + QStringLiteral(": a symbolic link to a file that does not exist; nothing "
                                 "written");
        return false;
    }
    if (statError != ENOENT) {
        *error = path + QStringLiteral(": cannot be written: ") + reason(statError);
        return false;
    }
    *exists = false;
    return true;
}

bool writeAll(int fd, const QByteArray &data)
{
    const char *next = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool isReplaceable(const QString &path, QString *error)
{
    struct stat st = {};
    bool exists = false;
    return check(path, QFile::encodeName(path), &st, &exists, error);
}

bool isWriteProtected(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode)
            && (st.st_mode & S_IWUSR) == 0;
}

namespace {

// Through a link the file it names is replaced, and the link stays. False with errno set.
bool resolved(const QByteArray &name, QByteArray *target)
{
    char *real = ::realpath(name.constData(), nullptr);
    if (real == nullptr)
        return false;
    *target = QByteArray(real);
    std::free(real);
    return true;
}

// The rename itself on disk; a folder that cannot be synced still holds the new file.
void syncFolder(const QByteArray &folder)
{
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

bool replace(const QString &path, const QByteArray &data, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat old = {};
    bool exists = false;
    if (!check(path, name, &old, &exists, error))
        return false;
    QByteArray target = name;
    if (exists && !resolved(name, &target)) {
        *error = path + QStringLiteral(": cannot be written: ") + reason(errno);
        return false;
    }
    const int slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(qMax(slash, 1));
    // Short enough for any file system's name limit, whatever the target's name.
    const QByteArray base = (slash < 0 ? target : target.mid(slash + 1)).left(64);
    QByteArray temporary = folder + "/." + base + ".XXXXXX";

    const auto fail = [&](int fd, const QString &why) {
        if (fd >= 0) {
            ::close(fd);
            ::unlink(temporary.constData());
        }
        *error = path + QStringLiteral(": cannot be written: ") + why
                + (exists ? QStringLiteral("; the file is as it was")
                          : QStringLiteral("; nothing written"));
        return false;
    };

    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(-1, reason(errno));
    if (!writeAll(fd, data))
        return fail(fd, reason(errno));
    if (exists) {
        struct stat made = {};
        if (::fstat(fd, &made) != 0)
            return fail(fd, reason(errno));
        // chown before chmod: a change of owner clears set-id bits.
        if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid)
            && ::fchown(fd, old.st_uid, old.st_gid) != 0)
            return fail(fd,
                        QStringLiteral("its owner and group (%1:%2) cannot be kept: %3")
                                .arg(old.st_uid)
                                .arg(old.st_gid)
                                .arg(reason(errno)));
    }
    QString notKept;
    if (exists && !extendedattributes::copy(target, fd, &notKept))
        return fail(fd, notKept);
    // After the ACL: its mask and the mode's group bits are one, and the old mode holds both.
    if (::fchmod(fd, exists ? old.st_mode & 07777 : newFileMode()) != 0)
        return fail(fd, reason(errno));
    // A full disk may show only here; QSaveFile's commit() misses the last flush's error.
    if (::fsync(fd) != 0)
        return fail(fd, reason(errno));
    // Linux releases the descriptor even when close() is interrupted.
    if (::close(fd) != 0 && errno != EINTR) {
        const int closeError = errno;
        ::unlink(temporary.constData());
        return fail(-1, reason(closeError));
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.constData());
        return fail(-1, reason(renameError));
    }
    syncFolder(folder);
    return true;
}

} // namespace nexil::filereplace
