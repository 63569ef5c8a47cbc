#include "differencetext.h"
#include "escaped.h"
#include "filereplace.h"
#include "settingsdiffdialog.h"
#include "slowlink.h"
#include "snapshotsession.h"
#include "statusformat.h"
#include "units.h"
#include "velotune.h"

#include <QFileDialog>
#include <QMessageBox>

#include <algorithm>
#include <iterator>

namespace {

using Row = SettingsDiffDialog::Row;

// The file's keys, as the form names the fields.
QString fieldLabel(const QString &field)
{
    if (field == QLatin1String("speed"))
        return Velotune::tr("Speed");
    if (field == QLatin1String("acceleration"))
        return Velotune::tr("Acceleration");
    if (field == QLatin1String("lowVibration"))
        return Velotune::tr("Low Vibration Mode");
    if (field == QLatin1String("positioner"))
        return Velotune::tr("Positioner");
    if (field == QLatin1String("sensorType"))
        return Velotune::tr("Sensor type");
    if (field == QLatin1String("channels"))
        return Velotune::tr("Channels");
    return field;
}

Row differenceRow(const nexil::snapshot::Difference &d)
{
    Row row;
    row.channel = d.channel < 0 ? QString() : QString::number(d.channel);
    row.field = fieldLabel(d.field);
    row.fileValue = nexil::snapshot::valueText(d.field, d.left, d.leftSensorType);
    row.controllerValue = nexil::snapshot::valueText(d.field, d.right, d.rightSensorType);
    if (nexil::snapshot::unitsDiffer(d))
        row.outcome = Velotune::tr("other units: speed and acceleration not compared");
    return row;
}

Row stepRow(const nexil::snapshot::Step &step, const nexil::ChannelSettings &file,
            const nexil::ChannelSettings &controller)
{
    Row row;
    row.channel = QString::number(step.channel);
    row.field = fieldLabel(nexil::snapshot::fieldName(step.setting));
    row.fileValue = nexil::settingText(file, step.setting, true);
    row.controllerValue = nexil::settingText(controller, step.setting, true);
    return row;
}

} // namespace

SettingsDiffDialog *Velotune::settingsDiffDialog()
{
    if (settingsDiff == nullptr)
        settingsDiff = new SettingsDiffDialog(this);
    return settingsDiff;
}

QString Velotune::askSnapshotFile(bool forSaving)
{
    QFileDialog dialog(this, forSaving ? tr("Save Settings") : tr("Open Settings File"));
    dialog.setObjectName(QStringLiteral("SnapshotFileDialog"));
    dialog.setNameFilter(tr("Settings files (*.json)"));
    dialog.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (forSaving)
        dialog.setDefaultSuffix(QStringLiteral("json"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

bool Velotune::askAndReadSnapshot(QString *path, nexil::Snapshot *file, const QString &consequence)
{
    *path = askSnapshotFile(false);
    if (path->isEmpty())
        return false;
    QString error;
    if (nexil::snapshot::readFile(*path, file, &error))
        return true;
    warnAboutFile(error + consequence);
    return false;
}

void Velotune::warnAboutFile(const QString &text)
{
    // One message, one line, whatever the file's name holds, and never read as markup.
    QMessageBox box(QMessageBox::Warning, tr("Settings File"), nexil::escaped(text),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool Velotune::readEveryChannel(std::vector<nexil::ChannelSettings> *channels,
                                const QString &consequence)
{
    uint32_t failed = 0;
    const nexil::Failure failure = nexil::snapshot::readChannels(
            session, nexil::snapshot::everyChannel(session), channels, &failed);
    if (!failure) {
        // The history's units and old values of a restore's writes come from these reads, also
        // for channels the form has never shown.
        for (const nexil::ChannelSettings &channel : *channels)
            noteChannelSettings(channel);
        return true;
    }
    warnAboutFile(consequence + tr("channel %1: %2").arg(failed).arg(failureMessage(failure)));
    return false;
}

void Velotune::on_aSaveSettings_triggered()
{
    const QString path = askSnapshotFile(true);
    if (path.isEmpty())
        return;
    QString error;
    // A folder or a special file costs no controller time.
    if (!nexil::filereplace::isReplaceable(path, &error)) {
        warnAboutFile(error);
        return;
    }
    const slowlink::Action action;
    writeHeldSteps();
    nexil::Snapshot snapshot = nexil::snapshot::stamped(session.locator());
    if (!readEveryChannel(&snapshot.channels, tr("Nothing saved: ")))
        return;
    if (!nexil::snapshot::writeFile(path, snapshot, &error)) {
        warnAboutFile(error);
        return;
    }
    showMessage(tr("Settings of %1 saved to %2.")
                        .arg(nexil::escaped(session.locator()), nexil::escaped(path)),
                messageTimeout);
}

void Velotune::on_aCompareSettings_triggered()
{
    QString path;
    nexil::Snapshot file;
    if (!askAndReadSnapshot(&path, &file, QString()))
        return;
    std::vector<nexil::ChannelSettings> now;
    {
        const slowlink::Action action;
        writeHeldSteps();
        if (!readEveryChannel(&now, tr("Not compared: ")))
            return;
    }
    const std::vector<nexil::snapshot::Difference> differences
            = nexil::snapshot::compare(file.channels, now);
    std::vector<Row> rows;
    std::transform(differences.begin(), differences.end(), std::back_inserter(rows), differenceRow);
    const QString sides = nexil::escaped(path) + tr(" and ") + nexil::escaped(session.locator());
    SettingsDiffDialog *dialog = settingsDiffDialog();
    dialog->showComparison(
            rows.empty() ? tr("%1: no differences").arg(sides)
                         : tr("%1: %n field(s) differ", nullptr, int(rows.size())).arg(sides),
            rows);
    dialog->exec();
}

void Velotune::on_aRestoreSettings_triggered()
{
    QString path;
    nexil::Snapshot file;
    if (!askAndReadSnapshot(&path, &file, tr("; nothing written")))
        return;
    QString error;
    std::vector<nexil::ChannelSettings> before;
    {
        const slowlink::Action action;
        writeHeldSteps();
        // The whole file is checked before anything is written, as velotune-cli does.
        const QString where = path + QStringLiteral(" and ") + session.locator();
        error = nexil::snapshot::countRefusal(file, session.channelCount(), where);
        if (!error.isEmpty()) {
            warnAboutFile(error);
            return;
        }
        if (!readEveryChannel(&before, tr("Nothing written: ")))
            return;
        error = nexil::snapshot::channelRefusal(file, before, where);
        if (!error.isEmpty()) {
            warnAboutFile(error);
            return;
        }
    }
    std::vector<Row> rows;
    for (const nexil::snapshot::Step &step : nexil::snapshot::plan(before, file.channels))
        rows.push_back(stepRow(step, file.channels[step.channel], before[step.channel]));
    const QString sides = nexil::escaped(path) + tr(" and ") + nexil::escaped(session.locator());
    SettingsDiffDialog *dialog = settingsDiffDialog();
    dialog->showPlan(rows.empty()
                             ? tr("%1: no differences, nothing to write").arg(sides)
                             : tr("%1: %n field(s) to write", nullptr, int(rows.size())).arg(sides),
                     rows);
    const QMetaObject::Connection confirmed
            = connect(dialog, &SettingsDiffDialog::restoreRequested, this,
                      [&] { restorePlanned(file, path, before); });
    dialog->exec();
    disconnect(confirmed);
}

void Velotune::restorePlanned(const nexil::Snapshot &file, const QString &path,
                              const std::vector<nexil::ChannelSettings> &before)
{
    const slowlink::Action action;
    const std::vector<nexil::snapshot::Step> steps = nexil::snapshot::plan(before, file.channels);
    const auto formChannel = uint32_t(ui.sbChannelIndex->value());
    // A refused write does not end the restore, as in velotune-cli: each channel's fields are
    // its own, and every outcome is shown.
    std::vector<nexil::Failure> outcomes;
    for (const nexil::snapshot::Step &step : steps) {
        const nexil::ChannelSettings &wanted = file.channels[step.channel];
        // The form shows the read-backs of its own channel only.
        outcomes.push_back(send(step.channel, step.setting, nexil::valueOf(wanted, step.setting),
                                nexil::valueOf(before[step.channel], step.setting),
                                step.channel == formChannel ? shownReads() : nullptr));
    }

    std::vector<nexil::ChannelSettings> after;
    uint32_t failedChannel = 0;
    const nexil::Failure readFailure = nexil::snapshot::readChannels(
            session, nexil::snapshot::everyChannel(session), &after, &failedChannel);
    const QString notReadBack = readFailure
            ? tr("channel %1: %2").arg(failedChannel).arg(failureMessage(readFailure))
            : QString();

    std::vector<Row> rows;
    bool matches = true;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const nexil::snapshot::Step &step = steps[i];
        const nexil::ChannelSettings &wanted = file.channels[step.channel];
        Row row = stepRow(step, wanted, before[step.channel]);
        const nexil::Failure &failure = outcomes[i];
        row.failed = true;
        if (failure) {
            // Refused is refused, even when the field happens to read back as asked.
            row.outcome = tr("FAILED: %1").arg(failureMessage(failure));
        } else if (step.channel >= after.size()) {
            row.outcome = tr("written, not read back");
        } else if (nexil::differs(after[step.channel], wanted, step.setting)) {
            row.outcome = tr("FAILED: the controller holds %1")
                                  .arg(nexil::settingText(after[step.channel], step.setting, true));
        } else {
            row.outcome = tr("written and read back as asked");
            row.failed = false;
        }
        matches = matches && !row.failed;
        rows.push_back(row);
    }
    for (const nexil::ChannelSettings &channel : after)
        showChannelSettings(channel);

    const QString who = nexil::escaped(session.locator());
    QString summary;
    if (readFailure)
        summary = tr("%1 could not be read back after the writes: %2").arg(who, notReadBack);
    else if (matches)
        summary = tr("%1 matches %2 (%n field(s) written).", nullptr, int(steps.size()))
                          .arg(who, nexil::escaped(path));
    else
        summary = tr("%1 does not match %2.").arg(who, nexil::escaped(path));
    settingsDiffDialog()->showOutcome(summary, rows);
}
