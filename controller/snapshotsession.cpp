#include "snapshotsession.h"

#include <QCoreApplication>
#include <QDateTime>

namespace nexil::snapshot {

Failure readChannels(const Session &session, const std::vector<uint32_t> &channels,
                     std::vector<ChannelSettings> *out, uint32_t *failedChannel)
{
    out->clear();
    for (const uint32_t channel : channels) {
        ChannelSettings read;
        if (const Failure failure = session.readChannel(channel, &read)) {
            *failedChannel = channel;
            return failure;
        }
        out->push_back(read);
    }
    return {};
}

std::vector<uint32_t> everyChannel(const Session &session)
{
    std::vector<uint32_t> channels;
    for (uint32_t i = 0; i < session.channelCount(); ++i)
        channels.push_back(i);
    return channels;
}

Snapshot stamped(const QString &locator)
{
    Snapshot snapshot;
    snapshot.locator = locator;
    snapshot.savedAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    snapshot.program = QCoreApplication::applicationName() + QLatin1Char(' ')
            + QCoreApplication::applicationVersion();
    return snapshot;
}

QString countRefusal(const Snapshot &file, uint32_t channelCount, const QString &where)
{
    if (file.channels.size() == channelCount)
        return QString();
    return QStringLiteral("%1 do not match: %2 channels in the file, %3 on the controller; "
                          "nothing written")
            .arg(where)
            .arg(file.channels.size())
            .arg(channelCount);
}

QString channelRefusal(const Snapshot &file, const std::vector<ChannelSettings> &now,
                       const QString &where)
{
    for (const ChannelSettings &channel : now) {
        if (channel.index >= file.channels.size())
            return countRefusal(file, channel.index + 1, where);
        const QString why = mismatch(channel, file.channels[channel.index]);
        if (!why.isEmpty())
            return QStringLiteral("%1 do not match: channel %2 is %3; nothing written")
                    .arg(where)
                    .arg(channel.index)
                    .arg(why);
    }
    return QString();
}

} // namespace nexil::snapshot
