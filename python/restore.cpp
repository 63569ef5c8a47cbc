#include "binding.h"

#include "escaped.h"
#include "restoretext.h"
#include "setting.h"
#include "snapshot.h"

#include <QObject>

#include <algorithm>

namespace velotune {

namespace {

using nexil::Setting;
using nexil::StepOutcome;

struct StepObject
{
    uint32_t channel = 0;
    Setting setting = Setting::Speed;
    uint32_t from = 0;
    uint32_t to = 0;
    uint32_t sensorType = 0;
    StepOutcome outcome = StepOutcome::NotTried;
    uint32_t status = 0;
    QString text;
};

struct ReportObject
{
    std::vector<StepObject> steps;
    bool dryRun = false;
    bool cancelled = false;
    bool matches = false;
    QString summary;
};

QString outcomeName(StepOutcome outcome)
{
    switch (outcome) {
    case StepOutcome::NotTried:
        break;
    case StepOutcome::AsAsked:
        return QStringLiteral("as asked");
    case StepOutcome::Refused:
        return QStringLiteral("refused");
    case StepOutcome::NotReadBack:
        return QStringLiteral("not read back");
    case StepOutcome::Differs:
        return QStringLiteral("differs");
    }
    return QStringLiteral("not tried");
}

py::object valueObject(Setting setting, uint32_t value)
{
    if (setting == Setting::LowVibration)
        return py::bool_(value != 0);
    return py::int_(value);
}

QString valueText(const StepObject &s, uint32_t value)
{
    return nexil::formatValue(s.setting, value, s.sensorType);
}

QString stepLine(const StepObject &s)
{
    return QStringLiteral("channel %1 %2: %3 -> %4%5")
            .arg(s.channel)
            .arg(nexil::snapshot::fieldName(s.setting), valueText(s, s.from), valueText(s, s.to),
                 s.text.isEmpty() ? QString() : QLatin1Char(' ') + s.text);
}

std::vector<uint32_t> channelsAsked(const py::object &channels)
{
    std::vector<uint32_t> asked;
    if (channels.is_none())
        return asked;
    for (const py::handle channel : channels)
        asked.push_back(toValue(channel, "channel"));
    return asked;
}

std::vector<Setting> fieldsAsked(const py::object &fields)
{
    if (fields.is_none())
        return nexil::allSettings();
    if (py::isinstance<py::str>(fields))
        throw py::type_error("fields must be a list of names, not a str");
    std::vector<Setting> asked;
    for (const py::handle field : fields) {
        const QString name = fromPy(py::cast<std::string>(field));
        const auto found = std::find_if(
                nexil::settingTable().begin(), nexil::settingTable().end(),
                [&](const nexil::SettingInfo &row) { return name == QLatin1String(row.key); });
        if (found == nexil::settingTable().end())
            throw py::value_error(
                    "fields: no such setting '" + name.toStdString()
                    + "' (the settings are \"speed\", \"acceleration\", \"lowVibration\")");
        asked.push_back(found->setting);
    }
    return asked;
}

// Everything of the restore that needs the controller, without the GIL.
ReportObject restoreLocked(Link &link, const SnapshotObject &file,
                           const std::vector<uint32_t> &channels,
                           const std::vector<Setting> &fields, bool dryRun,
                           Interruption &interrupted)
{
    const uint32_t count = link.model.channelCount();
    for (const uint32_t channel : channels) {
        if (channel >= count)
            throw py::value_error(QStringLiteral("%1 has no channel %2 (it has %3)")
                                          .arg(link.locator)
                                          .arg(channel)
                                          .arg(count)
                                          .toStdString());
    }
    const QString path = file.path.isEmpty() ? QStringLiteral("snapshot") : file.path;
    nexil::RestorePlan plan = link.model.planRestore(path, file.snapshot, channels);
    if (plan.readFailure)
        throw failureOf(plan.readFailure,
                        link.locator + QStringLiteral(": channel %1: ").arg(plan.failedChannel));
    if (!plan.refusal.isEmpty())
        throw SnapshotFailure{path, plan.refusal};
    plan.steps.erase(std::remove_if(plan.steps.begin(), plan.steps.end(),
                                    [&](const nexil::snapshot::Step &step) {
                                        return std::find(fields.begin(), fields.end(), step.setting)
                                                == fields.end();
                                    }),
                     plan.steps.end());

    ReportObject report;
    report.dryRun = dryRun;
    nexil::RestoreResult result;
    std::vector<uint32_t> statuses;
    if (dryRun) {
        for (const nexil::snapshot::Step &step : plan.steps)
            result.steps.push_back({step, valueOf(plan.beforeOf(step.channel), step.setting),
                                    valueOf(file.snapshot.channels[step.channel], step.setting),
                                    StepOutcome::NotTried, QString()});
    } else {
        // The status of each write, in the order they are made.
        const QMetaObject::Connection connection = QObject::connect(
                &link.model, &nexil::ChannelModel::written, &link.model,
                [&](const nexil::WriteResult &w) {
                    statuses.push_back(w.outcome == nexil::Outcome::Refused ? w.failure.status : 0);
                },
                Qt::DirectConnection);
        link.model.restore(plan, nexil::Source::Python, &result, nullptr, nullptr,
                           [&] { return interrupted(); });
        QObject::disconnect(connection);
    }
    for (std::size_t i = 0; i < result.steps.size(); ++i) {
        const nexil::RestoreStep &r = result.steps[i];
        StepObject step{r.step.channel,
                        r.step.setting,
                        r.from,
                        r.to,
                        plan.beforeOf(r.step.channel).sensorType,
                        r.outcome,
                        i < statuses.size() ? statuses[i] : 0,
                        QString()};
        QString held;
        const auto now = std::find_if(
                result.after.begin(), result.after.end(),
                [&](const nexil::ChannelSettings &c) { return c.index == r.step.channel; });
        if (now != result.after.end())
            held = nexil::settingText(*now, r.step.setting, true);
        step.text = nexil::restoretext::stepOutcome(r, held);
        report.steps.push_back(step);
    }
    const QString who = nexil::escaped(link.locator);
    const QString what = nexil::escaped(path);
    report.cancelled = result.cancelled;
    if (dryRun) {
        report.matches = plan.steps.empty();
        report.summary = QStringLiteral("dry run: %1 field(s) to write, nothing written")
                                 .arg(plan.steps.size());
    } else if (result.cancelled) {
        report.summary = nexil::restoretext::stoppedAfter(
                std::size_t(std::count_if(result.steps.begin(), result.steps.end(),
                                          [](const nexil::RestoreStep &s) {
                                              return s.outcome != StepOutcome::NotTried;
                                          })),
                result.steps.size());
    } else if (result.readFailure) {
        report.summary = nexil::restoretext::unreadable(who, result.readMessage);
    } else {
        report.matches = result.matches();
        report.summary = report.matches ? nexil::restoretext::matches(who, what, result.written())
                                        : nexil::restoretext::doesNotMatch(who, what);
    }
    return report;
}

const QStringList stepHeaders{QStringLiteral("channel"), QStringLiteral("setting"),
                              QStringLiteral("old"), QStringLiteral("new"),
                              QStringLiteral("outcome")};

std::vector<QStringList> stepRows(const ReportObject &r)
{
    std::vector<QStringList> rows;
    for (const StepObject &s : r.steps)
        rows.push_back({QString::number(s.channel), nexil::snapshot::fieldName(s.setting),
                        valueText(s, s.from), valueText(s, s.to),
                        s.text.isEmpty() ? outcomeName(s.outcome) : s.text});
    return rows;
}

} // namespace

py::object restoreOnto(ControllerObject &controller, const SnapshotObject &file,
                       const py::object &channels, const py::object &fields, bool dryRun)
{
    // Every argument is checked before the first library call.
    const std::vector<uint32_t> asked = channelsAsked(channels);
    const std::vector<Setting> settings = fieldsAsked(fields);
    Interruption interrupted;
    const ReportObject report = withLink(*controller.link, [&] {
        return restoreLocked(*controller.link, file, asked, settings, dryRun, interrupted);
    });
    py::object object = py::cast(report);
    if (interrupted.pending())
        interrupted.raise("restore_report", object);
    return object;
}

void bindRestore(py::module_ &m)
{
    py::class_<StepObject>(m, "RestoreStep",
                           "One planned write of a restore and what became of it.")
            .def_property_readonly(
                    "channel", [](const StepObject &s) { return s.channel; }, "The channel.")
            .def_property_readonly(
                    "setting",
                    [](const StepObject &s) { return toPy(nexil::snapshot::fieldName(s.setting)); },
                    "The setting's key in a snapshot file.")
            .def_property_readonly(
                    "old", [](const StepObject &s) { return valueObject(s.setting, s.from); },
                    "What the controller held before.")
            .def_property_readonly(
                    "new", [](const StepObject &s) { return valueObject(s.setting, s.to); },
                    "What the file holds.")
            .def_property_readonly(
                    "outcome", [](const StepObject &s) { return toPy(outcomeName(s.outcome)); },
                    "\"as asked\", \"refused\", \"not read back\", \"differs\" or \"not tried\".")
            .def_property_readonly(
                    "status", [](const StepObject &s) { return s.status; },
                    "The library's status of a refused write, else 0.")
            .def_property_readonly(
                    "text", [](const StepObject &s) { return toPy(s.text); },
                    "The outcome as the window and velotune-cli word it.")
            .def("__str__", [](const StepObject &s) { return toPy(stepLine(s)); })
            .def("__repr__", [](const StepObject &s) {
                return py::str("RestoreStep(channel={}, setting='{}', old={!r}, new={!r}, "
                               "outcome='{}', status={})")
                        .format(s.channel, toPy(nexil::snapshot::fieldName(s.setting)),
                                valueObject(s.setting, s.from), valueObject(s.setting, s.to),
                                toPy(outcomeName(s.outcome)), s.status);
            });

    py::class_<ReportObject>(m, "RestoreReport", "What Controller.restore() wrote and found.")
            .def_property_readonly(
                    "steps",
                    [](const ReportObject &r) {
                        py::list steps;
                        for (const StepObject &s : r.steps)
                            steps.append(py::cast(s));
                        return steps;
                    },
                    "Every planned write, in order, as RestoreStep.")
            .def_property_readonly(
                    "matches", [](const ReportObject &r) { return r.matches; },
                    "True when the controller now holds the file's values for the channels and "
                    "settings restored.")
            .def_property_readonly(
                    "dry_run", [](const ReportObject &r) { return r.dryRun; },
                    "True when nothing was written.")
            .def_property_readonly(
                    "cancelled", [](const ReportObject &r) { return r.cancelled; },
                    "True when the restore was stopped before its last write.")
            .def_property_readonly(
                    "summary", [](const ReportObject &r) { return toPy(r.summary); },
                    "One line on the whole restore.")
            .def("__str__",
                 [](const ReportObject &r) {
                     QStringList lines;
                     for (const StepObject &s : r.steps)
                         lines << stepLine(s);
                     lines << r.summary;
                     return toPy(lines.join(QLatin1Char('\n')));
                 })
            .def("__repr__",
                 [](const ReportObject &r) {
                     return toPy(QStringLiteral("<velotune.RestoreReport %1 step(s): %2>")
                                         .arg(r.steps.size())
                                         .arg(r.summary));
                 })
            .def("_repr_html_", [](const ReportObject &r) {
                return toPy(htmlTable(stepHeaders, stepRows(r), r.summary));
            });
}

} // namespace velotune
