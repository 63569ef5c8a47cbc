#include "tracefile.h"

#include "escaped.h"
#include "nexillibrary.h"
#include "programname.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#ifdef Q_OS_UNIX
#    include "appendfile.h"

#    include <unistd.h>
#endif

namespace nexil {

namespace {

QFile *traceFile = nullptr;
QString tracePath; // as the messages show it
QMutex traceMutex;
QtMessageHandler previousHandler = nullptr;
QLoggingCategory::CategoryFilter previousFilter = nullptr;
// Set when the trace was already on before it went to the file (velotune-cli --trace, or
// QT_LOGGING_RULES): its lines then go to standard error as well.
bool echoTrace = false;
bool writeFailed = false;
// "velotune-cli[4711]": the window and the command line may append to the same file.
QByteArray writer;

bool ours(const char *category)
{
    return qstrncmp(category, "velotune.", 9) == 0;
}

void traceOn(QLoggingCategory *category)
{
    // While being installed, the categories still hold what the rules gave them.
    if (previousFilter != nullptr)
        previousFilter(category);
    if (qstrcmp(category->categoryName(), lcController().categoryName()) == 0)
        category->setEnabled(QtDebugMsg, true);
}

void writeTrace(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category != nullptr && ours(context.category)) {
        const QMutexLocker locker(&traceMutex);
        QByteArray line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8();
        line += ' ' + writer + ' ';
        if (qstrcmp(context.category, lcController().categoryName()) != 0)
            line += QByteArray(context.category) + ": ";
        const QString text = escaped(message);
        line += text.toUtf8() + '\n';
        // One write per line, so lines of several programs appending at once stay whole.
        if (traceFile->write(line) != line.size() && !writeFailed) {
            writeFailed = true;
            const QString warning = QStringLiteral("VELOTUNE_TRACE_FILE %1: cannot write (%2); "
                                                   "trace lines are being lost")
                                            .arg(tracePath, traceFile->errorString());
            previousHandler(QtWarningMsg, context, warning);
        }
        if (type != QtDebugMsg || echoTrace)
            previousHandler(type, context, text);
        return;
    }
    previousHandler(type, context, message);
}

// The trace file opened for appending, or nullptr with *reason set.
QFile *openTraceFile(const QByteArray &name, const QString &path, QString *reason)
{
    auto *file = new QFile(path);
#ifdef Q_OS_UNIX
    const int fd = openForAppend(name, reason);
    if (fd < 0) {
        delete file;
        return nullptr;
    }
    if (file->open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle))
        return file;
    *reason = file->errorString();
    ::close(fd);
#else
    Q_UNUSED(name)
    const QFileInfo info(path);
    if ((info.exists() && !info.isFile()) || info.isSymLink())
        *reason = QStringLiteral("not a regular file");
    else if (file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return file;
    else
        *reason = file->errorString();
#endif
    delete file;
    return nullptr;
}

} // namespace

void traceToFileIfAsked()
{
    const QByteArray name = qgetenv("VELOTUNE_TRACE_FILE");
    if (name.isEmpty() || traceFile != nullptr)
        return;
    const QString path = QFile::decodeName(name);
    QString reason;
    QFile *file = nullptr;
#ifdef Q_OS_UNIX
    // Opened by its bytes, whatever the locale makes of them.
    file = openTraceFile(name, path, &reason);
#else
    // A name the file system would get differently is never opened under another one.
    if (QFile::encodeName(path) != name)
        reason = QStringLiteral("the name cannot be represented");
    else
        file = openTraceFile(name, path, &reason);
#endif
    if (file == nullptr) {
        qCWarning(lcController).noquote()
                << QStringLiteral("VELOTUNE_TRACE_FILE %1: %2; no trace is written")
                           .arg(escaped(path), reason);
        return;
    }
    tracePath = escaped(path);
    traceFile = file; // kept to the end of the process, so the last lines are written too
    writer = escaped(programName()).toUtf8() + '['
            + QByteArray::number(QCoreApplication::applicationPid()) + ']';
    echoTrace = lcController().isDebugEnabled();
    previousHandler = qInstallMessageHandler(writeTrace);
    previousFilter = QLoggingCategory::installFilter(traceOn);
}

} // namespace nexil
