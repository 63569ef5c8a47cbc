#include "channelmodel.h"

#include "journal.h"
#include "messages.h"
#include "modeljournal.h"
#include "nexillibrary.h"
#include "snapshotsession.h"
#include "statusformat.h"

#include <QCoreApplication>

#include <algorithm>

namespace nexil {

QString sourceName(Source source)
{
    switch (source) {
    case Source::Form:
        return QStringLiteral("form");
    case Source::Overview:
        return QStringLiteral("overview");
    case Source::Restore:
        return QStringLiteral("restore");
    case Source::CliSet:
        return QStringLiteral("cli set");
    case Source::CliRestore:
        return QStringLiteral("cli restore");
    case Source::Python:
        break;
    }
    return QStringLiteral("python");
}

const ChannelSettings &RestorePlan::beforeOf(uint32_t channel) const
{
    const auto found
            = std::find_if(before.begin(), before.end(),
                           [channel](const ChannelSettings &c) { return c.index == channel; });
    return *found;
}

std::size_t RestoreResult::written() const
{
    return std::size_t(std::count_if(steps.begin(), steps.end(), [](const RestoreStep &s) {
        return s.outcome != StepOutcome::NotTried && s.outcome != StepOutcome::Refused;
    }));
}

bool RestoreResult::matches() const
{
    return !cancelled && !readFailure
            && std::all_of(steps.begin(), steps.end(),
                           [](const RestoreStep &s) { return s.outcome == StepOutcome::AsAsked; });
}

void RestorePlan::keepSteps(const std::function<bool(const snapshot::Step &)> &keep)
{
    steps.erase(std::remove_if(steps.begin(), steps.end(),
                               [&](const snapshot::Step &step) { return !keep(step); }),
                steps.end());
}

ChannelModel::ChannelModel(Session::Checkpoint checkpoint, bool releaseWhenDestroyed,
                           QObject *parent)
    : QObject(parent), m_session(checkpoint, releaseWhenDestroyed)
{
    qRegisterMetaType<WriteResult>();
    qRegisterMetaType<ChannelSettings>();
}

ChannelModel::~ChannelModel() = default;

Failure ChannelModel::open(const QString &locator, const Session::Report &report)
{
    // Another controller, or the same one after a release: nothing read before holds.
    forget();
    Failure failure = m_session.open(locator, report);
    if (!failure && channelCount() > maxChannels) {
        failure = {message::tooManyChannels, channelCount()};
        if (report)
            report(failure);
        m_session.abandon();
    }
    if (!failure)
        journal::record(journal::connectEvent(locator));
    emit connectionChanged(m_session.isOpen());
    return failure;
}

void ChannelModel::abandon()
{
    const bool wasOpen = isOpen();
    m_session.abandon();
    if (wasOpen)
        journal::record(journal::releaseEvent(locator()));
    emit connectionChanged(false);
}

Failure ChannelModel::close()
{
    const bool wasOpen = isOpen();
    const Failure failure = m_session.close();
    if (!failure && wasOpen) {
        journal::record(journal::releaseEvent(locator()));
        emit connectionChanged(false);
    }
    return failure;
}

void ChannelModel::forget()
{
    m_last.clear();
    m_known.clear();
}

void ChannelModel::note(uint32_t channel, Read read, const Reading &reading)
{
    ChannelSettings &last = m_last[channel];
    last.index = channel;
    if (reading.status != 0
        && !(read == Read::LowVibration && reading.status == PropertyNotSupported)) {
        m_known.erase({channel, read});
        return;
    }
    apply(&last, read, reading);
    m_known.insert({channel, read});
}

void ChannelModel::noteChannel(const ChannelSettings &settings)
{
    if (!settings.positioner)
        return;
    const bool supported = settings.lowVibration != LowVibration::Unsupported;
    note(settings.index, Read::SensorType, {0, settings.sensorType});
    note(settings.index, Read::Speed, {0, settings.speed});
    note(settings.index, Read::Acceleration, {0, settings.acceleration});
    note(settings.index, Read::LowVibration,
         {supported ? 0 : PropertyNotSupported,
          settings.lowVibration == LowVibration::On ? 1U : 0U});
    m_last[settings.index].positioner = true;
}

std::optional<uint32_t> ChannelModel::known(uint32_t channel, Setting setting) const
{
    if (m_known.count({channel, info(setting).read}) == 0)
        return std::nullopt;
    const ChannelSettings &last = m_last.at(channel);
    if (last.lowVibration == LowVibration::Unsupported && setting == Setting::LowVibration)
        return std::nullopt;
    return valueOf(last, setting);
}

std::optional<uint32_t> ChannelModel::sensorType(uint32_t channel) const
{
    if (m_known.count({channel, Read::SensorType}) == 0)
        return std::nullopt;
    return m_last.at(channel).sensorType;
}

ChannelSettings ChannelModel::last(uint32_t channel) const
{
    const auto found = m_last.find(channel);
    if (found == m_last.end()) {
        ChannelSettings settings;
        settings.index = channel;
        return settings;
    }
    return found->second;
}

QString ChannelModel::message(const Failure &failure) const
{
    return statusMessage(QCoreApplication::translate("Velotune", failure.format), failure.status);
}

Reading ChannelModel::read(Read what, uint32_t channel)
{
    const Reading reading = m_session.read(what, channel);
    note(channel, what, reading);
    return reading;
}

Failure ChannelModel::readChannel(uint32_t channel, ChannelSettings *out)
{
    const Failure failure = m_session.readChannel(channel, out);
    if (!failure) {
        noteChannel(*out);
        emit channelRead(*out);
    }
    return failure;
}

Failure ChannelModel::readChannels(const std::vector<uint32_t> &channels,
                                   std::vector<ChannelSettings> *out, uint32_t *failedChannel,
                                   const Progress &progress, const Cancel &cancel)
{
    out->clear();
    for (const uint32_t channel : channels) {
        if (cancel && cancel())
            return {};
        if (progress)
            progress(out->size(), channels.size(),
                     QCoreApplication::translate("Velotune", "Reading channel %1").arg(channel));
        ChannelSettings settings;
        if (const Failure failure = readChannel(channel, &settings)) {
            *failedChannel = channel;
            return failure;
        }
        out->push_back(settings);
    }
    return {};
}

WriteResult ChannelModel::write(uint32_t channel, Setting setting, uint32_t value, Source source,
                                const Session::ReadBack &readBack, bool readHeld)
{
    WriteResult result;
    result.channel = channel;
    result.setting = setting;
    result.source = source;
    result.value = value;
    result.before = known(channel, setting);
    result.sensorType = sensorType(channel);
    Failure unread;
    const Failure refusal
            = m_session.write(channel, setting, value, [&](Read read, const Reading &r) {
                  note(channel, read, r);
                  const bool failed = r.status != 0
                          && !(read == Read::LowVibration && r.status == PropertyNotSupported);
                  if (failed && !unread)
                      unread = {readFailure(read), r.status};
                  if (readBack)
                      readBack(read, r);
              });
    if (refusal) {
        result.outcome = Outcome::Refused;
        result.failure = refusal;
    } else if (unread) {
        result.outcome = Outcome::NotReadBack;
        result.failure = unread;
    }
    if (result.outcome != Outcome::Refused)
        note(channel, info(setting).read, {0, value});
    // Only a refusal is told at once; a failed read is told by whoever shows it.
    if (result.outcome == Outcome::Refused)
        result.message = message(result.failure);
    journal::record(journal::writeEvent(locator(), result));
    emit written(result);
    if (readHeld && result.outcome == Outcome::Refused)
        result.held = read(info(setting).read, channel);
    return result;
}

RestorePlan ChannelModel::planRestore(const QString &path, const Snapshot &file,
                                      std::vector<uint32_t> channels, const Progress &progress,
                                      const Cancel &cancel)
{
    RestorePlan plan;
    plan.path = path;
    plan.file = file;
    // Everything is checked before the first write, so a mismatch leaves the controller as it
    // was.
    const QString where = path + QStringLiteral(" and ") + locator();
    plan.refusal = snapshot::countRefusal(file, channelCount(), where);
    if (!plan.refusal.isEmpty())
        return plan;
    plan.channels = channels.empty() ? snapshot::everyChannel(m_session) : std::move(channels);
    plan.readFailure
            = readChannels(plan.channels, &plan.before, &plan.failedChannel, progress, cancel);
    if (plan.readFailure)
        return plan;
    if (plan.before.size() != plan.channels.size()) {
        plan.cancelled = true;
        return plan;
    }
    plan.refusal = snapshot::channelRefusal(file, plan.before, where);
    if (!plan.refusal.isEmpty())
        return plan;
    plan.steps = snapshot::plan(plan.before, file.channels);
    return plan;
}

void ChannelModel::restore(const RestorePlan &plan, Source source, RestoreResult *result,
                           const ReadBackFor &readBack, const Progress &progress,
                           const Cancel &cancel)
{
    *result = RestoreResult();
    for (const snapshot::Step &step : plan.steps)
        result->steps.push_back({step, valueOf(plan.beforeOf(step.channel), step.setting),
                                 valueOf(plan.file.channels[step.channel], step.setting),
                                 StepOutcome::NotTried, QString()});
    journal::record(journal::restoreStartEvent(locator(), plan.path, source, plan.steps.size()));
    emit restoreStarted(plan.path, plan.steps.size());
    const std::size_t total = result->steps.size();
    for (std::size_t i = 0; i < total; ++i) {
        RestoreStep &step = result->steps[i];
        if (cancel && cancel()) {
            result->cancelled = true;
            break;
        }
        if (progress)
            progress(i, total,
                     QCoreApplication::translate("Velotune", "Writing channel %1 %2")
                             .arg(step.step.channel)
                             .arg(QLatin1String(info(step.step.setting).key)));
        const WriteResult written = write(step.step.channel, step.step.setting, step.to, source,
                                          readBack ? readBack(step.step.channel) : nullptr);
        // Until the channels are read back, a taken write is only known to be written.
        step.outcome = written.outcome == Outcome::Refused ? StepOutcome::Refused
                                                           : StepOutcome::NotReadBack;
        step.message = written.outcome == Outcome::Refused ? written.message : QString();
    }
    if (!result->cancelled) {
        std::vector<ChannelSettings> after;
        result->readFailure
                = readChannels(plan.channels, &after, &result->failedChannel, nullptr, cancel);
        if (result->readFailure)
            result->readMessage = message(result->readFailure);
        else if (after.size() != plan.channels.size())
            // Every write was made; what they left is not known.
            result->cancelled = true;
        else
            result->after = after;
    }
    for (RestoreStep &step : result->steps) {
        if (step.outcome != StepOutcome::NotReadBack || result->after.empty())
            continue;
        const auto now = std::find_if(
                result->after.begin(), result->after.end(),
                [&](const ChannelSettings &c) { return c.index == step.step.channel; });
        step.outcome = differs(*now, plan.file.channels[step.step.channel], step.step.setting)
                ? StepOutcome::Differs
                : StepOutcome::AsAsked;
    }
    journal::record(journal::restoreEndEvent(locator(), plan.path, source, *result));
    emit restoreFinished(plan.path, *result);
}

void ChannelModel::noteRefusedRestore(const QString &path, const QString &reason,
                                      Source source) const
{
    journal::record(journal::refusedRestoreEvent(locator(), path, source, reason));
}

} // namespace nexil
