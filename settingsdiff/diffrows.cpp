#include "diffrows.h"

#include "differencetext.h"
#include "restoretext.h"

#include <QCoreApplication>

namespace diffrows {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Velotune", text);
}

// The file's keys, as the form names the fields.
QString fieldLabel(const QString &field)
{
    for (const nexil::SettingInfo &setting : nexil::settingTable()) {
        if (field == QLatin1String(setting.key))
            return tr(setting.label);
    }
    if (field == QLatin1String("positioner"))
        return tr("Positioner");
    if (field == QLatin1String("sensorType"))
        return tr("Sensor type");
    if (field == QLatin1String("channels"))
        return tr("Channels");
    return field;
}

Row stepRow(const nexil::RestorePlan &plan, const nexil::snapshot::Step &step)
{
    Row row;
    row.channel = QString::number(step.channel);
    row.field = fieldLabel(nexil::snapshot::fieldName(step.setting));
    row.fileValue = nexil::settingText(plan.file.channels[step.channel], step.setting, true);
    row.controllerValue = nexil::settingText(plan.beforeOf(step.channel), step.setting, true);
    return row;
}

} // namespace

std::vector<Row> differences(const std::vector<nexil::snapshot::Difference> &differences)
{
    std::vector<Row> rows;
    for (const nexil::snapshot::Difference &d : differences) {
        Row row;
        row.channel = d.channel < 0 ? QString() : QString::number(d.channel);
        row.field = fieldLabel(d.field);
        row.fileValue = nexil::snapshot::valueText(d.field, d.left, d.leftSensorType);
        row.controllerValue = nexil::snapshot::valueText(d.field, d.right, d.rightSensorType);
        if (nexil::snapshot::unitsDiffer(d))
            row.outcome = nexil::restoretext::otherUnits();
        rows.push_back(row);
    }
    return rows;
}

std::vector<Row> plan(const nexil::RestorePlan &plan)
{
    std::vector<Row> rows;
    for (const nexil::snapshot::Step &step : plan.steps)
        rows.push_back(stepRow(plan, step));
    return rows;
}

std::vector<Row> outcome(const nexil::RestorePlan &plan, const nexil::RestoreResult &result)
{
    std::vector<Row> rows;
    for (const nexil::RestoreStep &step : result.steps) {
        Row row = stepRow(plan, step.step);
        QString held;
        for (const nexil::ChannelSettings &channel : result.after) {
            if (channel.index == step.step.channel)
                held = nexil::settingText(channel, step.step.setting, true);
        }
        // Beside the file's value, what the controller held once the restore was over.
        row.controllerValue = held;
        row.outcome = step.outcome == nexil::StepOutcome::NotTried
                ? tr("not written")
                : nexil::restoretext::stepOutcome(step, held);
        row.failed = step.outcome != nexil::StepOutcome::AsAsked;
        rows.push_back(row);
    }
    return rows;
}

} // namespace diffrows
