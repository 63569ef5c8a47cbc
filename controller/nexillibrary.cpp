#include "nexillibrary.h"

#include "escaped.h"
#include "libraryapi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

#include <type_traits>

#ifdef Q_OS_UNIX
#    include <dlfcn.h>
#endif

namespace nexil {

namespace {

#ifdef Q_OS_WIN
const char systemLibrary[] = "NexilControl.dll";
#else
const char systemLibrary[] = "libNexilControl.so";
#endif

// Exported by Velotune's own simulator only.
const char simulatorIdentity[] = "nexilsim_identity";

// The file a resolved function really lives in: for a library found on the search path that
// is the path the loader settled on.
QString fileOf(QFunctionPointer function, const QString &fallback)
{
#ifdef Q_OS_UNIX
    Dl_info info = {};
    if (dladdr(reinterpret_cast<void *>(function), &info) != 0 && info.dli_fname != nullptr)
        return QFile::decodeName(info.dli_fname);
#else
    Q_UNUSED(function)
#endif
    return fallback;
}

// Why the file NEXILCONTROL_LIBRARY names cannot be loaded: the full text and a few words for
// the window's line; both empty when it can be tried.
struct Refusal
{
    QString error;
    QString reason;
};

Refusal checkNamedFile(const QByteArray &name, const QString &file)
{
    const QString shown = escaped(file);
    const QString base = escaped(QFileInfo(file).fileName());
    // Another name would be a different file; the system gets exactly the bytes given.
    if (QFile::encodeName(file) != name)
        return {shown + QStringLiteral(": the name cannot be represented"),
                QStringLiteral("NEXILCONTROL_LIBRARY cannot be represented")};
    // A relative path would be looked up from whatever folder the program was started in.
    if (QDir::isRelativePath(file))
        return {shown + QStringLiteral(": NEXILCONTROL_LIBRARY must be an absolute path"),
                QStringLiteral("NEXILCONTROL_LIBRARY is not an absolute path")};
    // QLibrary would go on to try other names and report the last of them; and loading a
    // FIFO or a device would wait for whoever writes to it.
    const QFileInfo info(file);
    if (!info.exists())
        return {shown + QStringLiteral(": no such file"), base + QStringLiteral(" not found")};
    if (!info.isFile())
        return {shown + QStringLiteral(": not a regular file"),
                base + QStringLiteral(" is not a regular file")};
    return {};
}

struct Loaded
{
    LibraryInfo info;
    Api api = {};
};

Loaded open()
{
    Loaded loaded;
    LibraryInfo &info = loaded.info;

    const QByteArray named = qgetenv("NEXILCONTROL_LIBRARY");
    info.file = named.isEmpty() ? QString::fromLatin1(systemLibrary) : QFile::decodeName(named);
    const QString name = escaped(QFileInfo(info.file).fileName());
    if (!named.isEmpty()) {
        const Refusal refused = checkNamedFile(named, info.file);
        if (!refused.error.isEmpty()) {
            info.error = refused.error;
            info.reason = refused.reason;
            return loaded;
        }
    }

    // Never unloaded: status texts handed out by the library must stay valid.
    QLibrary library(info.file);
    library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library.load()) {
        info.error = escaped(library.errorString());
        info.reason = QStringLiteral("%1 could not be loaded").arg(name);
        return loaded;
    }

    QStringList missing;
    Api api = {};
    const auto resolve = [&](auto *slot, const char *name) {
        *slot = reinterpret_cast<std::remove_pointer_t<decltype(slot)>>(library.resolve(name));
        if (*slot == nullptr)
            missing << QString::fromLatin1(name);
    };
    resolve(&api.TQ_FindSystems, "TQ_FindSystems");
    resolve(&api.TQ_OpenSystem, "TQ_OpenSystem");
    resolve(&api.TQ_CloseSystem, "TQ_CloseSystem");
    resolve(&api.TQ_GetNumberOfChannels, "TQ_GetNumberOfChannels");
    resolve(&api.TQ_GetChannelType, "TQ_GetChannelType");
    resolve(&api.TQ_GetSensorType_S, "TQ_GetSensorType_S");
    resolve(&api.TQ_GetClosedLoopMoveSpeed_S, "TQ_GetClosedLoopMoveSpeed_S");
    resolve(&api.TQ_GetClosedLoopMoveAcceleration_S, "TQ_GetClosedLoopMoveAcceleration_S");
    resolve(&api.TQ_SetClosedLoopMoveSpeed_S, "TQ_SetClosedLoopMoveSpeed_S");
    resolve(&api.TQ_SetClosedLoopMoveAcceleration_S, "TQ_SetClosedLoopMoveAcceleration_S");
    resolve(&api.TQ_EPK, "TQ_EPK");
    resolve(&api.TQ_GetChannelProperty_S, "TQ_GetChannelProperty_S");
    resolve(&api.TQ_SetChannelProperty_S, "TQ_SetChannelProperty_S");
    resolve(&api.TQ_Stop_S, "TQ_Stop_S");
    resolve(&api.TQ_GetStatusInfo, "TQ_GetStatusInfo");
    if (!missing.isEmpty()) {
        info.error = QStringLiteral("%1: missing function %2")
                             .arg(escaped(info.file), missing.join(QStringLiteral(", ")));
        info.reason = missing.size() == 1
                ? QStringLiteral("%1 lacks %2").arg(name, missing.first())
                : QStringLiteral("%1 lacks %2 functions").arg(name).arg(missing.size());
        library.unload();
        return loaded;
    }

    loaded.api = api;
    info.loaded = true;
    info.simulator = library.resolve(simulatorIdentity) != nullptr;
    info.file = fileOf(reinterpret_cast<QFunctionPointer>(api.TQ_OpenSystem), info.file);
    return loaded;
}

const Loaded &loadedLibrary()
{
    static const Loaded loaded = [] {
        Loaded opened = open();
        const LibraryInfo &info = opened.info;
        // The first trace line: which file every later line went through.
        if (info.loaded)
            qCDebug(lcController).noquote()
                    << "Library" << escaped(info.file)
                    << (info.simulator ? "loaded (simulated controllers)" : "loaded");
        else
            qCDebug(lcController).noquote() << "No library loaded:" << info.error;
        return opened;
    }();
    return loaded;
}

} // namespace

const LibraryInfo &library()
{
    return loadedLibrary().info;
}

const Api *loadApi()
{
    const Loaded &loaded = loadedLibrary();
    return loaded.info.loaded ? &loaded.api : nullptr;
}

} // namespace nexil
