#include "tracefile.h"

#include "nexillibrary.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

namespace nexil {

namespace {

QFile *traceFile = nullptr;
QMutex traceMutex;
QtMessageHandler previousHandler = nullptr;

void writeTrace(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, lcController().categoryName()) == 0) {
        const QMutexLocker locker(&traceMutex);
        const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
        traceFile->write((stamp + QLatin1Char(' ') + message + QLatin1Char('\n')).toUtf8());
        traceFile->flush();
        if (type == QtDebugMsg)
            return;
    }
    previousHandler(type, context, message);
}

} // namespace

void traceToFileIfAsked()
{
    const QString path = QFile::decodeName(qgetenv("VELOTUNE_TRACE_FILE"));
    if (path.isEmpty() || traceFile != nullptr)
        return;
    // A FIFO would block the start until someone reads it, a device is no record.
    const QFileInfo info(path);
    auto *file = new QFile(path);
    if ((info.exists() && !info.isFile())
        || !file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        const QString reason = info.exists() && !info.isFile()
                ? QStringLiteral("not a regular file")
                : file->errorString();
        delete file;
        qCWarning(lcController).noquote()
                << QStringLiteral("VELOTUNE_TRACE_FILE %1: %2; no trace is written")
                           .arg(path, reason);
        return;
    }
    traceFile = file; // kept to the end of the process, so the last lines are written too
    previousHandler = qInstallMessageHandler(writeTrace);
    QLoggingCategory::setFilterRules(QStringLiteral("velotune.controller.debug=true"));
}

} // namespace nexil
