// The fifteen calls into the loaded library, each traced on velotune.controller when that
// category's debug output is on: one line with the inputs, the status (with its text on
// failure), the outputs on success and the time the library took.

#include "libraryapi.h"
#include "nexillibrary.h"

#include <QElapsedTimer>

#include <cstring>

Q_LOGGING_CATEGORY(lcController, "velotune.controller", QtInfoMsg)

namespace nexil {

namespace {

// Long enough for any locator or status text a person wants to read in a trace.
constexpr std::size_t quotedLimit = 256;

QString quoted(const char *text)
{
    if (text == nullptr)
        return QStringLiteral("null");
    const std::size_t length = strnlen(text, quotedLimit + 1);
    const QString decoded = QString::fromUtf8(text, int(std::min(length, quotedLimit)));
    QString out = QStringLiteral("\"");
    for (const QChar c : decoded) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    out += QLatin1Char('"');
    if (length > quotedLimit)
        out += QLatin1String("...");
    return out;
}

QString number(const uint32_t *value)
{
    return value != nullptr ? QString::number(*value) : QStringLiteral("null");
}

// The library's own text, fetched for the trace line without a trace line of its own.
QString statusTextForTrace(uint32_t status)
{
    const Api *loaded = api();
    if (loaded == nullptr)
        return quoted(library().error.toUtf8().constData());
    const char *info = nullptr;
    loaded->TQ_GetStatusInfo(status, &info);
    return quoted(info);
}

class Trace
{
public:
    explicit Trace(const char *function)
        : m_function(function), m_on(lcController().isDebugEnabled())
    {
        if (m_on)
            m_timer.start();
    }

    bool on() const { return m_on; }

    void done(uint32_t status, const QString &inputs, const QString &outputs = QString())
    {
        const qint64 micros = m_timer.nsecsElapsed() / 1000;
        QString line
                = QStringLiteral("%1(%2) = %3").arg(QLatin1String(m_function), inputs).arg(status);
        if (status != 0)
            line += QLatin1Char(' ') + statusTextForTrace(status);
        else if (!outputs.isEmpty())
            line += QLatin1String(" -> ") + outputs;
        if (api() == nullptr)
            line += QLatin1String(", not called: no library");
        line += QStringLiteral(" [%1 us]").arg(micros);
        qCDebug(lcController).noquote() << line;
    }

private:
    const char *m_function;
    bool m_on;
    QElapsedTimer m_timer;
};

CallObserver callObserver = nullptr;

// Makes one call into the library, timed for the observer when there is one.
template<typename Call>
auto timed(Call call)
{
    if (callObserver == nullptr)
        return call();
    QElapsedTimer timer;
    timer.start();
    const auto result = call();
    callObserver(timer.nsecsElapsed());
    return result;
}

// Calls the loaded library's function, or answers LibraryUnavailable without a library.
template<typename Function, typename... Args>
uint32_t invoke(Function Api::*function, Args... args)
{
    const Api *loaded = api();
    if (loaded == nullptr)
        return LibraryUnavailable;
    return timed([&] { return (loaded->*function)(args...); });
}

QString hex(uint32_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

QString channelInputs(uint32_t systemIndex, uint32_t channelIndex)
{
    return QStringLiteral("systemIndex %1, channel %2").arg(systemIndex).arg(channelIndex);
}

// The four getters of one channel value share their shape.
template<typename Function>
uint32_t readChannel(const char *name, Function Api::*function, uint32_t systemIndex,
                     uint32_t channelIndex, uint32_t *value, const char *output)
{
    Trace trace(name);
    const uint32_t status = invoke(function, systemIndex, channelIndex, value);
    if (trace.on())
        trace.done(status, channelInputs(systemIndex, channelIndex),
                   QStringLiteral("%1 %2").arg(QLatin1String(output), number(value)));
    return status;
}

template<typename Function>
uint32_t writeChannel(const char *name, Function Api::*function, uint32_t systemIndex,
                      uint32_t channelIndex, uint32_t value, const char *input)
{
    Trace trace(name);
    const uint32_t status = invoke(function, systemIndex, channelIndex, value);
    if (trace.on())
        trace.done(status,
                   channelInputs(systemIndex, channelIndex)
                           + QStringLiteral(", %1 %2").arg(QLatin1String(input)).arg(value));
    return status;
}

} // namespace

void setCallObserver(CallObserver observer)
{
    callObserver = observer;
}

namespace call {

uint32_t findSystems(const char *options, char *outBuffer, uint32_t *ioBufferSize)
{
    // Kept as a number: nothing is formatted while the trace is off.
    const uint32_t sizeIn = ioBufferSize != nullptr ? *ioBufferSize : 0;
    Trace trace("TQ_FindSystems");
    const uint32_t status = invoke(&Api::TQ_FindSystems, options, outBuffer, ioBufferSize);
    if (trace.on()) {
        // The answer need not be terminated: never read past what was handed in.
        QString found;
        if (status == 0 && outBuffer != nullptr && ioBufferSize != nullptr) {
            const QByteArray bytes(outBuffer, int(strnlen(outBuffer, sizeIn)));
            found = QStringLiteral("size %1, %2")
                            .arg(number(ioBufferSize), quoted(bytes.constData()));
        }
        trace.done(status,
                   QStringLiteral("options %1, size %2")
                           .arg(quoted(options),
                                ioBufferSize != nullptr ? QString::number(sizeIn)
                                                        : QStringLiteral("null")),
                   found);
    }
    return status;
}

uint32_t openSystem(uint32_t *systemIndex, const char *locator, const char *options)
{
    Trace trace("TQ_OpenSystem");
    const uint32_t status = invoke(&Api::TQ_OpenSystem, systemIndex, locator, options);
    if (trace.on())
        trace.done(status,
                   QStringLiteral("locator %1, options %2").arg(quoted(locator), quoted(options)),
                   QStringLiteral("systemIndex %1").arg(number(systemIndex)));
    return status;
}

uint32_t closeSystem(uint32_t systemIndex)
{
    Trace trace("TQ_CloseSystem");
    const uint32_t status = invoke(&Api::TQ_CloseSystem, systemIndex);
    if (trace.on())
        trace.done(status, QStringLiteral("systemIndex %1").arg(systemIndex));
    return status;
}

uint32_t getNumberOfChannels(uint32_t systemIndex, uint32_t *channels)
{
    Trace trace("TQ_GetNumberOfChannels");
    const uint32_t status = invoke(&Api::TQ_GetNumberOfChannels, systemIndex, channels);
    if (trace.on())
        trace.done(status, QStringLiteral("systemIndex %1").arg(systemIndex),
                   QStringLiteral("channels %1").arg(number(channels)));
    return status;
}

uint32_t getChannelType(uint32_t systemIndex, uint32_t channelIndex, uint32_t *type)
{
    return readChannel("TQ_GetChannelType", &Api::TQ_GetChannelType, systemIndex, channelIndex,
                       type, "type");
}

uint32_t getSensorType(uint32_t systemIndex, uint32_t channelIndex, uint32_t *type)
{
    return readChannel("TQ_GetSensorType_S", &Api::TQ_GetSensorType_S, systemIndex, channelIndex,
                       type, "sensorType");
}

uint32_t getClosedLoopMoveSpeed(uint32_t systemIndex, uint32_t channelIndex, uint32_t *speed)
{
    return readChannel("TQ_GetClosedLoopMoveSpeed_S", &Api::TQ_GetClosedLoopMoveSpeed_S,
                       systemIndex, channelIndex, speed, "speed");
}

uint32_t getClosedLoopMoveAcceleration(uint32_t systemIndex, uint32_t channelIndex,
                                       uint32_t *acceleration)
{
    return readChannel("TQ_GetClosedLoopMoveAcceleration_S",
                       &Api::TQ_GetClosedLoopMoveAcceleration_S, systemIndex, channelIndex,
                       acceleration, "acceleration");
}

uint32_t setClosedLoopMoveSpeed(uint32_t systemIndex, uint32_t channelIndex, uint32_t speed)
{
    return writeChannel("TQ_SetClosedLoopMoveSpeed_S", &Api::TQ_SetClosedLoopMoveSpeed_S,
                        systemIndex, channelIndex, speed, "speed");
}

uint32_t setClosedLoopMoveAcceleration(uint32_t systemIndex, uint32_t channelIndex,
                                       uint32_t acceleration)
{
    return writeChannel("TQ_SetClosedLoopMoveAcceleration_S",
                        &Api::TQ_SetClosedLoopMoveAcceleration_S, systemIndex, channelIndex,
                        acceleration, "acceleration");
}

uint32_t propertyKey(uint32_t selector, uint32_t subSelector, uint32_t property)
{
    const Api *loaded = api();
    Trace trace("TQ_EPK");
    // No status to report: without a library there is no key either.
    const uint32_t key = loaded != nullptr
            ? timed([&] { return loaded->TQ_EPK(selector, subSelector, property); })
            : 0;
    if (trace.on())
        trace.done(0, QStringLiteral("%1, %2, %3").arg(selector).arg(subSelector).arg(property),
                   QLatin1String("key ") + hex(key));
    return key;
}

uint32_t getChannelProperty(uint32_t systemIndex, uint32_t channelIndex, uint32_t key,
                            uint32_t *value)
{
    Trace trace("TQ_GetChannelProperty_S");
    const uint32_t status
            = invoke(&Api::TQ_GetChannelProperty_S, systemIndex, channelIndex, key, value);
    if (trace.on())
        trace.done(status,
                   channelInputs(systemIndex, channelIndex) + QLatin1String(", key ") + hex(key),
                   QStringLiteral("value %1").arg(number(value)));
    return status;
}

uint32_t setChannelProperty(uint32_t systemIndex, uint32_t channelIndex, uint32_t key,
                            uint32_t value)
{
    Trace trace("TQ_SetChannelProperty_S");
    const uint32_t status
            = invoke(&Api::TQ_SetChannelProperty_S, systemIndex, channelIndex, key, value);
    if (trace.on())
        trace.done(status,
                   channelInputs(systemIndex, channelIndex) + QLatin1String(", key ") + hex(key)
                           + QStringLiteral(", value %1").arg(value));
    return status;
}

uint32_t stop(uint32_t systemIndex, uint32_t channelIndex)
{
    Trace trace("TQ_Stop_S");
    const uint32_t status = invoke(&Api::TQ_Stop_S, systemIndex, channelIndex);
    if (trace.on())
        trace.done(status, channelInputs(systemIndex, channelIndex));
    return status;
}

uint32_t getStatusInfo(uint32_t status, const char **info)
{
    const Api *loaded = api();
    Trace trace("TQ_GetStatusInfo");
    uint32_t result = LibraryUnavailable;
    if (loaded != nullptr) {
        result = timed([&] { return loaded->TQ_GetStatusInfo(status, info); });
    } else if (info != nullptr) {
        // Without a library the only status there is says why none is loaded.
        static const QByteArray reason = library().error.toUtf8();
        *info = status == LibraryUnavailable ? reason.constData() : nullptr;
        result = status == LibraryUnavailable ? 0 : LibraryUnavailable;
    }
    if (trace.on())
        trace.done(result, QString::number(status),
                   QStringLiteral("info %1").arg(info != nullptr ? quoted(*info)
                                                                 : QStringLiteral("null")));
    return result;
}

} // namespace call

} // namespace nexil
