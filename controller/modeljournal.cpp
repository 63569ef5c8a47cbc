#include "modeljournal.h"

#include "journal.h"

namespace nexil::journal {

namespace {

Event event(Kind kind, const QString &locator)
{
    Event e;
    e.kind = kind;
    e.locator = locator;
    return e;
}

Event restoreEvent(Kind kind, const QString &locator, const QString &file, Source source)
{
    Event e = event(kind, locator);
    e.file = file;
    e.source = sourceName(source);
    return e;
}

} // namespace

Event connectEvent(const QString &locator)
{
    return event(Kind::Connect, locator);
}

Event releaseEvent(const QString &locator)
{
    return event(Kind::Release, locator);
}

Event writeEvent(const QString &locator, const WriteResult &result)
{
    Event e = event(Kind::Write, locator);
    const SettingInfo &setting = info(result.setting);
    e.channel = result.channel;
    e.setting = result.setting;
    e.oldValue = result.before;
    e.newValue = result.value;
    if (setting.unit != nullptr && result.sensorType)
        e.unit = setting.unit(*result.sensorType);
    e.source = sourceName(result.source);
    switch (result.outcome) {
    case nexil::Outcome::Taken:
        e.outcome = journal::Outcome::Taken;
        break;
    case nexil::Outcome::Refused:
        e.outcome = journal::Outcome::Refused;
        e.status = result.failure.status;
        e.text = result.message;
        break;
    case nexil::Outcome::NotReadBack:
        e.outcome = journal::Outcome::NotReadBack;
        e.status = result.failure.status;
        break;
    }
    return e;
}

Event restoreStartEvent(const QString &locator, const QString &file, Source source,
                        std::size_t writes)
{
    Event e = restoreEvent(Kind::RestoreStart, locator, file, source);
    e.writes = uint32_t(writes);
    return e;
}

Event restoreEndEvent(const QString &locator, const QString &file, Source source,
                      const RestoreResult &result)
{
    Event e = restoreEvent(Kind::RestoreEnd, locator, file, source);
    e.writes = uint32_t(result.written());
    if (result.readFailure) {
        e.outcome = journal::Outcome::NotReadBack;
        e.status = result.readFailure.status;
        e.channel = result.failedChannel;
        e.text = result.readMessage;
    } else if (result.cancelled) {
        e.text = QStringLiteral("cancelled");
    }
    return e;
}

Event refusedRestoreEvent(const QString &locator, const QString &file, Source source,
                          const QString &reason)
{
    Event e = restoreEvent(Kind::RestoreEnd, locator, file, source);
    e.outcome = journal::Outcome::Refused;
    e.text = reason;
    e.writes = 0;
    return e;
}

std::vector<snapshot::Difference> compare(const QString &left,
                                          const std::vector<ChannelSettings> &leftChannels,
                                          const QString &right,
                                          const std::vector<ChannelSettings> &rightChannels,
                                          const QString &locator, const QString &file)
{
    std::vector<snapshot::Difference> differences = snapshot::compare(leftChannels, rightChannels);
    Event e = event(Kind::Compare, locator);
    e.left = left;
    e.right = right;
    e.file = file;
    e.differences = uint32_t(differences.size());
    record(e);
    return differences;
}

} // namespace nexil::journal
