#include "commands.h"

#include "channelmodel.h"
#include "escaped.h"
#include "exitcodes.h"
#include "filereplace.h"
#include "interrupt.h"
#include "modeljournal.h"
#include "nexillibrary.h"
#include "output.h"
#include "restoretext.h"
#include "session.h"
#include "snapshot.h"
#include "snapshotsession.h"
#include "statusformat.h"
#include "units.h"
#include "writereport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLoggingCategory>

#include <algorithm>
#include <functional>

Q_LOGGING_CATEGORY(lcCli, "velotune.cli", QtInfoMsg)

namespace commands {

namespace {

using output::err;
using output::out;

QString messageOf(const nexil::Failure &failure)
{
    return nexil::statusMessage(QString::fromLatin1(failure.format), failure.status);
}

QString channelMessage(uint32_t channel, const nexil::Failure &failure)
{
    return QStringLiteral("channel %1: ").arg(channel) + messageOf(failure);
}

// Every library call but the read-backs of a write is preceded by a check for a pending SIGINT
// or SIGTERM; on any way out the system is released.
class Controller : public nexil::ChannelModel
{
public:
    Controller() : nexil::ChannelModel(interrupt::check, true) { }

    // Opens the system and reads its channel count; on failure prints why.
    bool open(const QString &locator)
    {
        const nexil::Failure failure = ChannelModel::open(locator, [&](const nexil::Failure &f) {
            err(locator + QStringLiteral(": ") + messageOf(f));
        });
        return !failure;
    }

    // On failure prints why.
    bool close()
    {
        const nexil::Failure failure = ChannelModel::close();
        if (failure)
            err(locator() + QStringLiteral(": ") + messageOf(failure));
        return !failure;
    }

    // On failure prints why, naming the channel.
    bool readChannels(const std::vector<uint32_t> &channels,
                      std::vector<nexil::ChannelSettings> *settings)
    {
        uint32_t failed = 0;
        const nexil::Failure failure = ChannelModel::readChannels(channels, settings, &failed);
        if (failure)
            err(locator() + QStringLiteral(": ") + channelMessage(failed, failure));
        return !failure;
    }
};

// The channels asked for, or all of them; a channel the controller does not have is refused.
bool selectChannels(const Options &options, const Controller &controller,
                    std::vector<uint32_t> *selected, QString *error)
{
    const uint32_t count = controller.channelCount();
    if (options.channels.empty()) {
        selected->clear();
        for (uint32_t i = 0; i < count; ++i)
            selected->push_back(i);
        return true;
    }
    for (const uint32_t channel : options.channels) {
        if (channel >= count) {
            *error = count == 0 ? QStringLiteral("%1 has no channels").arg(controller.locator())
                                : QStringLiteral("%1 has no channel %2 (it has channels 0 to %3)")
                                          .arg(controller.locator())
                                          .arg(channel)
                                          .arg(count - 1);
            return false;
        }
    }
    *selected = options.channels;
    return true;
}

// Opens, reads the channels asked for (all without --channel) and releases the controller.
int readController(const QString &locator, const Options &options,
                   std::vector<nexil::ChannelSettings> *settings, uint32_t *channelCount = nullptr)
{
    Controller controller;
    if (!controller.open(locator))
        return exitcode::Controller;
    QString error;
    if (channelCount != nullptr)
        *channelCount = controller.channelCount();
    std::vector<uint32_t> channels;
    if (!selectChannels(options, controller, &channels, &error)) {
        err(error);
        return exitcode::Usage;
    }
    if (!controller.readChannels(channels, settings))
        return exitcode::Controller;
    if (!controller.close())
        return exitcode::Controller;
    return exitcode::Ok;
}

QString valueText(const nexil::ChannelSettings &channel, nexil::Setting setting)
{
    return nexil::settingText(channel, setting);
}

constexpr std::size_t notPlanned = std::size_t(-1);

// A side of diff: the snapshot file it names, or the controller it locates.
int readSide(const QString &argument, bool isFile, std::vector<nexil::ChannelSettings> *channels)
{
    if (isFile) {
        nexil::Snapshot snapshot;
        QString error;
        if (!nexil::snapshot::readFile(argument, &snapshot, &error)) {
            err(error);
            return exitcode::File;
        }
        *channels = snapshot.channels;
        return exitcode::Ok;
    }
    return readController(argument, Options(), channels);
}

} // namespace

int list(const Options &)
{
    QStringList locators;
    if (const nexil::Failure failure = nexil::findSystems(&locators)) {
        err(messageOf(failure));
        return exitcode::Controller;
    }
    for (const QString &locator : locators)
        out(nexil::escaped(locator) + QLatin1Char('\n'));
    return exitcode::Ok;
}

int show(const Options &options)
{
    const QString locator = options.arguments.at(0);
    std::vector<nexil::ChannelSettings> channels;
    if (const int status = readController(locator, options, &channels))
        return status;
    if (options.json) {
        QJsonArray list;
        for (const nexil::ChannelSettings &channel : channels)
            list.append(nexil::snapshot::channelToJson(channel));
        QJsonObject object;
        object.insert(QStringLiteral("locator"), locator);
        object.insert(QStringLiteral("channels"), list);
        out(QString::fromUtf8(output::json(object)));
    } else {
        out(output::table(channels));
    }
    return exitcode::Ok;
}

namespace {

// Reads the one channel set writes; refused unless it can take what was asked for.
int checkSet(const Options &options, Controller &controller, std::vector<uint32_t> *channels,
             std::vector<nexil::ChannelSettings> *before)
{
    QString error;
    if (!selectChannels(options, controller, channels, &error)) {
        err(error);
        return exitcode::Usage;
    }
    const uint32_t channel = channels->front();
    if (!controller.readChannels(*channels, before))
        return exitcode::Controller;
    if (!before->front().positioner) {
        err(QStringLiteral("%1: channel %2 is not a positioner channel; nothing written")
                    .arg(controller.locator())
                    .arg(channel));
        return exitcode::Usage;
    }
    if (options.settings.count(nexil::Setting::LowVibration) != 0
        && before->front().lowVibration == nexil::LowVibration::Unsupported) {
        err(QStringLiteral("%1: channel %2 has no Low Vibration Mode; nothing written")
                    .arg(controller.locator())
                    .arg(channel));
        return exitcode::Usage;
    }
    return exitcode::Ok;
}

// The settings asked for, in the window's order, given to `wanted`.
std::vector<nexil::Setting> askedFor(const Options &options, nexil::ChannelSettings *wanted)
{
    std::vector<nexil::Setting> asked;
    for (const nexil::Setting setting : nexil::allSettings()) {
        const auto value = options.settings.find(setting);
        if (value == options.settings.end())
            continue;
        nexil::setValue(wanted, setting, value->second);
        asked.push_back(setting);
    }
    return asked;
}

// One line per setting asked for; true when every one holds as asked.
bool reportSet(const std::vector<nexil::Setting> &asked, const std::vector<std::size_t> &planned,
               const nexil::ChannelSettings &before, const nexil::ChannelSettings &after,
               const nexil::ChannelSettings &wanted, const WriteReport &report)
{
    bool held = true;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const nexil::Setting setting = asked[i];
        // A refused write is a failure even when the field happens to read back as asked.
        const QString refusal
                = planned[i] == notPlanned ? QString() : report.writes()[planned[i]].refusal;
        const bool matches = !nexil::differs(after, wanted, setting);
        held = held && matches && refusal.isEmpty();
        QString outcome;
        if (!matches)
            outcome += QStringLiteral(" (asked for %1)").arg(valueText(wanted, setting));
        if (!refusal.isEmpty())
            outcome += QLatin1Char(' ') + nexil::restoretext::failed(refusal);
        else if (planned[i] == notPlanned && matches)
            outcome += QStringLiteral(" (already so, not written)");
        out(QStringLiteral("channel %1 %2: %3 -> %4%5\n")
                    .arg(before.index)
                    .arg(nexil::snapshot::fieldName(setting), valueText(before, setting),
                         valueText(after, setting), outcome));
    }
    return held;
}

} // namespace

int set(const Options &options)
{
    Controller controller;
    if (!controller.open(options.arguments.at(0)))
        return exitcode::Controller;
    std::vector<uint32_t> channels;
    std::vector<nexil::ChannelSettings> before;
    if (const int status = checkSet(options, controller, &channels, &before))
        return status;
    const uint32_t channel = channels.front();
    nexil::ChannelSettings wanted = before.front();
    const std::vector<nexil::Setting> asked = askedFor(options, &wanted);
    // Only what differs is written, as restore does: an equal value costs no write, and an
    // equal Low Vibration Mode no stop.
    WriteReport report;
    std::vector<std::size_t> planned;
    planned.reserve(asked.size());
    for (const nexil::Setting setting : asked) {
        planned.push_back(!nexil::differs(before.front(), wanted, setting)
                                  ? notPlanned
                                  : report.plan(channel, setting,
                                                nexil::snapshot::fieldName(setting),
                                                valueText(before.front(), setting),
                                                valueText(wanted, setting)));
    }
    // Each write as the window makes it: the write and its reads, and after a refusal the read
    // of what the controller holds. What they read is what is printed.
    for (std::size_t i = 0; i < report.writes().size(); ++i) {
        const WriteReport::Write &step = report.writes()[i];
        const nexil::WriteResult result
                = controller.write(channel, step.setting, nexil::valueOf(wanted, step.setting),
                                   nexil::Source::CliSet, nullptr, true);
        if (result.outcome == nexil::Outcome::Refused)
            report.refused(i, QStringLiteral("channel %1: ").arg(channel) + result.message);
        else
            report.made(i);
        nexil::Failure unread;
        if (result.outcome == nexil::Outcome::NotReadBack)
            unread = result.failure;
        else if (result.held && result.held->status != 0)
            unread = {nexil::readFailure(nexil::info(step.setting).read), result.held->status};
        if (unread) {
            err(controller.locator() + QStringLiteral(": ") + channelMessage(channel, unread));
            return exitcode::Controller;
        }
    }
    const std::vector<nexil::ChannelSettings> after{controller.last(channel)};
    for (const WriteReport::Write &write : report.writes()) {
        if (!write.refusal.isEmpty())
            err(controller.locator() + QStringLiteral(": ") + write.refusal);
    }
    const bool held = reportSet(asked, planned, before.front(), after.front(), wanted, report);
    report.finish();
    out(output::table(after));
    if (!controller.close())
        return exitcode::Controller;
    return held ? exitcode::Ok : exitcode::Differs;
}

int save(const Options &options)
{
    const QString locator = options.arguments.at(0);
    const QString path = options.arguments.at(1);
    QString error;
    // A device, FIFO, socket or folder is refused before any controller time is spent on it.
    if (!nexil::filereplace::isReplaceable(path, &error)) {
        err(error);
        return exitcode::File;
    }
    if (!options.force && nexil::filereplace::isWriteProtected(path)) {
        err(path
            + QStringLiteral(": write-protected (its owner may not write it); not replaced, "
                             "--force replaces it"));
        return exitcode::File;
    }
    nexil::Snapshot snapshot = nexil::snapshot::stamped(locator);
    if (const int status = readController(locator, options, &snapshot.channels))
        return status;
    qCDebug(lcCli).noquote() << QStringLiteral("save: %1 channel(s) of %2 to %3")
                                        .arg(snapshot.channels.size())
                                        .arg(nexil::escaped(locator), nexil::escaped(path));
    if (!nexil::snapshot::writeFile(path, snapshot, &error)) {
        err(error);
        return exitcode::File;
    }
    return exitcode::Ok;
}

int diff(const Options &options)
{
    const QString left = options.arguments.at(0);
    const QString right = options.arguments.at(1);
    const bool leftIsFile = QFileInfo::exists(left);
    // A second side that is no file is a controller only if it has a locator's colon, so a
    // mistyped file name is still "no such file".
    const bool rightIsFile = QFileInfo::exists(right) || !right.contains(QLatin1Char(':'));
    // Files are read first, so a bad one costs no controller time; the controllers one after
    // the other, each released before the next is opened.
    std::vector<nexil::ChannelSettings> leftChannels;
    std::vector<nexil::ChannelSettings> rightChannels;
    for (const bool files : {true, false}) {
        if (leftIsFile == files) {
            if (const int status = readSide(left, leftIsFile, &leftChannels))
                return status;
        }
        if (rightIsFile == files) {
            if (const int status = readSide(right, rightIsFile, &rightChannels))
                return status;
        }
    }
    // The journal names the controller compared, and the file when one side is a file.
    const QString locator = !leftIsFile ? left : !rightIsFile ? right : QString();
    const QString file = leftIsFile ? left : rightIsFile ? right : QString();
    const std::vector<nexil::snapshot::Difference> differences
            = nexil::journal::compare(left, leftChannels, right, rightChannels, locator, file);
    const QString controllerKind = QStringLiteral("controller");
    const QString snapshotKind = QStringLiteral("snapshot");
    if (options.json) {
        QJsonArray list;
        for (const nexil::snapshot::Difference &d : differences)
            list.append(output::differenceJson(d));
        QJsonObject object;
        object.insert(QStringLiteral("left"), left);
        object.insert(QStringLiteral("leftKind"), leftIsFile ? snapshotKind : controllerKind);
        object.insert(QStringLiteral("right"), right);
        object.insert(QStringLiteral("rightKind"), rightIsFile ? snapshotKind : controllerKind);
        object.insert(QStringLiteral("differences"), list);
        out(QString::fromUtf8(output::json(object)));
    } else {
        // Which side is which, in the order every line below shows the values; one line
        // whatever the names hold.
        out(nexil::escaped(left) + QStringLiteral(" -> ") + nexil::escaped(right)
            + QLatin1Char('\n'));
        for (const nexil::snapshot::Difference &d : differences)
            out(output::differenceLine(d) + QLatin1Char('\n'));
        if (differences.empty())
            out(QStringLiteral("no differences\n"));
    }
    return differences.empty() ? exitcode::Ok : exitcode::Differs;
}

namespace {

// The plan of a restore onto the channels asked for, once the file and the controller are found
// to match; on failure the message is printed and the exit status returned.
int checkRestore(const Options &options, const QString &path, const nexil::Snapshot &file,
                 Controller &controller, nexil::RestorePlan *plan)
{
    // The count first: a file of another controller is refused whatever --channel says.
    QString error = nexil::snapshot::countRefusal(
            file, controller.channelCount(), path + QStringLiteral(" and ") + controller.locator());
    if (!error.isEmpty()) {
        controller.noteRefusedRestore(path, error, nexil::Source::CliRestore);
        err(error);
        return exitcode::File;
    }
    std::vector<uint32_t> channels;
    if (!selectChannels(options, controller, &channels, &error)) {
        err(error);
        return exitcode::Usage;
    }
    *plan = controller.planRestore(path, file, channels);
    if (plan->readFailure) {
        const QString why = channelMessage(plan->failedChannel, plan->readFailure);
        controller.noteRefusedRestore(path, why, nexil::Source::CliRestore);
        err(controller.locator() + QStringLiteral(": ") + why);
        return exitcode::Controller;
    }
    if (!plan->refusal.isEmpty()) {
        controller.noteRefusedRestore(path, plan->refusal, nexil::Source::CliRestore);
        err(plan->refusal);
        return exitcode::File;
    }
    return exitcode::Ok;
}

void reportDryRun(const WriteReport &report)
{
    for (const WriteReport::Write &step : report.writes())
        out(QStringLiteral("would write channel %1 %2: %3 -> %4\n")
                    .arg(step.channel)
                    .arg(step.field, step.from, step.to));
    out(QStringLiteral("dry run: %1 field(s) to write, nothing written\n")
                .arg(report.writes().size()));
}

// One line per field that was written or does not match; true when every field matches. Only
// `fields` count, all when empty.
bool reportRestore(const std::vector<nexil::ChannelSettings> &after,
                   const std::vector<nexil::ChannelSettings> &wanted, const WriteReport &report,
                   const std::vector<nexil::Setting> &fields)
{
    bool matches = true;
    for (const nexil::ChannelSettings &now : after) {
        if (!now.positioner)
            continue;
        for (const nexil::Setting setting : nexil::allSettings()) {
            if (!fields.empty() && std::find(fields.begin(), fields.end(), setting) == fields.end())
                continue;
            const auto planned
                    = std::find_if(report.writes().begin(), report.writes().end(),
                                   [&](const WriteReport::Write &w) {
                                       return w.channel == now.index && w.setting == setting;
                                   });
            const bool wasPlanned = planned != report.writes().end();
            const bool refused = wasPlanned && !planned->refusal.isEmpty();
            // A refused write fails even when the field happens to read back as asked.
            const bool ok = !nexil::differs(now, wanted[now.index], setting) && !refused;
            matches = matches && ok;
            if (!wasPlanned && ok)
                continue;
            QString outcome = nexil::restoretext::restored();
            if (refused)
                outcome = nexil::restoretext::failed(planned->refusal);
            else if (!ok)
                outcome = nexil::restoretext::holds(valueText(now, setting));
            out(QStringLiteral("channel %1 %2: %3 -> %4 %5\n")
                        .arg(now.index)
                        .arg(nexil::snapshot::fieldName(setting),
                             wasPlanned ? planned->from : valueText(now, setting),
                             valueText(wanted[now.index], setting), outcome));
        }
    }
    return matches;
}

} // namespace

int restore(const Options &options)
{
    const QString path = options.arguments.at(1);
    nexil::Snapshot file;
    QString error;
    if (!nexil::snapshot::readFile(path, &file, &error)) {
        err(error + QStringLiteral("; nothing written"));
        return exitcode::File;
    }
    Controller controller;
    if (!controller.open(options.arguments.at(0)))
        return exitcode::Controller;
    nexil::RestorePlan plan;
    if (const int status = checkRestore(options, path, file, controller, &plan))
        return status;
    if (!options.fields.empty())
        plan.keepSteps([&](const nexil::snapshot::Step &step) {
            return std::find(options.fields.begin(), options.fields.end(), step.setting)
                    != options.fields.end();
        });

    WriteReport report;
    for (const nexil::snapshot::Step &step : plan.steps)
        report.plan(step.channel, step.setting, nexil::snapshot::fieldName(step.setting),
                    valueText(plan.beforeOf(step.channel), step.setting),
                    valueText(file.channels[step.channel], step.setting));
    if (options.dryRun) {
        reportDryRun(report);
        report.finish();
        return controller.close() ? exitcode::Ok : exitcode::Controller;
    }
    // The report learns of each write as it is made, so a signal part way still prints it.
    std::size_t next = 0;
    QObject::connect(&controller, &nexil::ChannelModel::written, &controller,
                     [&](const nexil::WriteResult &write) {
                         if (write.outcome == nexil::Outcome::Refused)
                             report.refused(next,
                                            QStringLiteral("channel %1: ").arg(write.channel)
                                                    + write.message);
                         else
                             report.made(next);
                         ++next;
                     });
    nexil::RestoreResult result;
    controller.restore(plan, nexil::Source::CliRestore, &result);
    if (result.readFailure) {
        err(controller.locator() + QStringLiteral(": channel %1: ").arg(result.failedChannel)
            + result.readMessage);
        return exitcode::Controller;
    }
    const bool matches = reportRestore(result.after, file.channels, report, options.fields);
    const QString who = nexil::escaped(controller.locator());
    out((matches ? nexil::restoretext::matches(who, nexil::escaped(path), report.writes().size())
                 : nexil::restoretext::doesNotMatch(who, nexil::escaped(path)))
        + QLatin1Char('\n'));
    report.finish();
    if (!controller.close())
        return exitcode::Controller;
    return matches ? exitcode::Ok : exitcode::Differs;
}

} // namespace commands
