#include "extendedattributes.h"

#include <QList>

#include <cerrno>
#include <cstring>

#include <sys/xattr.h>

namespace nexil::extendedattributes {

namespace {

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The whole of a list or a value, whose size may change between the two calls. The kernel
// bounds both to 64 KiB.
template<typename Get>
bool readAll(Get get, QByteArray *out)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        out->resize(int(size));
        const ssize_t got = get(out->data(), size_t(size));
        if (got >= 0) {
            out->resize(int(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    errno = ERANGE;
    return false;
}

} // namespace

bool copy(const QByteArray &from, int to, QString *why)
{
    QByteArray names;
    if (!readAll([&](char *buffer,
                     size_t size) { return ::llistxattr(from.constData(), buffer, size); },
                 &names)) {
        if (errno == ENOTSUP)
            return true;
        *why = QStringLiteral("its extended attributes cannot be read: ") + reason(errno);
        return false;
    }
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value;
        if (!readAll(
                    [&](char *buffer, size_t size) {
                        return ::lgetxattr(from.constData(), name.constData(), buffer, size);
                    },
                    &value)) {
            // Removed meanwhile: nothing to keep.
            if (errno == ENODATA)
                continue;
            *why = QStringLiteral("its extended attribute %1 cannot be read: %2")
                           .arg(QString::fromUtf8(name), reason(errno));
            return false;
        }
        // A security label the new file was given already needs no privilege to keep.
        QByteArray present;
        if (readAll([&](char *buffer,
                        size_t size) { return ::fgetxattr(to, name.constData(), buffer, size); },
                    &present)
            && present == value)
            continue;
        if (::fsetxattr(to, name.constData(), value.constData(), size_t(value.size()), 0) != 0) {
            *why = QStringLiteral("its extended attribute %1 cannot be kept: %2")
                           .arg(QString::fromUtf8(name), reason(errno));
            return false;
        }
    }
    return true;
}

} // namespace nexil::extendedattributes
