#include "diffrows.h"
#include "escaped.h"
#include "filequestions.h"
#include "filereplace.h"
#include "historylog.h"
#include "longaction.h"
#include "modeljournal.h"
#include "restoretext.h"
#include "screenfit.h"
#include "settingsdiffdialog.h"
#include "slowlink.h"
#include "snapshotsession.h"
#include "velotune.h"

#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>

SettingsDiffDialog *Velotune::settingsDiffDialog()
{
    if (settingsDiff == nullptr)
        settingsDiff = new SettingsDiffDialog(this);
    screenfit::fitToScreen(settingsDiff);
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
    filequestions::warn(this, tr("Settings File"), text);
}

bool Velotune::readEveryChannel(std::vector<nexil::ChannelSettings> *channels,
                                const QString &consequence, LongAction *action)
{
    uint32_t failed = 0;
    const nexil::Failure failure
            = model->readChannels(nexil::snapshot::everyChannel(model->session()), channels,
                                  &failed, action->progress(), action->cancel());
    if (!failure && action->cancelled())
        showMessage(consequence + tr("cancelled."), messageTimeout);
    if (!failure)
        return !action->cancelled();
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
    if (nexil::filereplace::isWriteProtected(path)
        && !filequestions::replaceWriteProtected(this, tr("Settings File"), path))
        return;
    const slowlink::Action action;
    writeHeldSteps();
    nexil::Snapshot snapshot = nexil::snapshot::stamped(model->locator());
    {
        LongAction reading(this, tr("Save Settings"));
        if (!readEveryChannel(&snapshot.channels, tr("Nothing saved: "), &reading))
            return;
    }
    if (!nexil::snapshot::writeFile(path, snapshot, &error)) {
        warnAboutFile(error);
        return;
    }
    showMessage(tr("Settings of %1 saved to %2.")
                        .arg(nexil::escaped(model->locator()), nexil::escaped(path)),
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
        LongAction reading(this, tr("Compare with %1").arg(QFileInfo(path).fileName()));
        if (!readEveryChannel(&now, tr("Not compared: "), &reading))
            return;
    }
    const std::vector<nexil::snapshot::Difference> differences = nexil::journal::compare(
            path, file.channels, model->locator(), now, model->locator(), path);
    const std::vector<diffrows::Row> rows = diffrows::differences(differences);
    const QString sides = nexil::escaped(path) + tr(" and ") + nexil::escaped(model->locator());
    SettingsDiffDialog *dialog = settingsDiffDialog();
    dialog->setWindowTitle(tr("Compare with %1").arg(QFileInfo(path).fileName()));
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
    const QString title = tr("Restore from %1").arg(QFileInfo(path).fileName());
    nexil::RestorePlan plan;
    {
        const slowlink::Action action;
        writeHeldSteps();
        LongAction reading(this, title);
        // The whole file is checked before anything is written, as velotune-cli does.
        plan = model->planRestore(path, file, {}, reading.progress(), reading.cancel());
        if (plan.cancelled) {
            showMessage(tr("Nothing written: ") + tr("cancelled."), messageTimeout);
            return;
        }
        if (plan.readFailure) {
            const QString why = tr("channel %1: %2")
                                        .arg(plan.failedChannel)
                                        .arg(failureMessage(plan.readFailure));
            model->noteRefusedRestore(path, why, nexil::Source::Restore);
            warnAboutFile(tr("Nothing written: ") + why);
            return;
        }
        if (!plan.refusal.isEmpty()) {
            model->noteRefusedRestore(path, plan.refusal, nexil::Source::Restore);
            warnAboutFile(plan.refusal);
            return;
        }
    }
    const std::vector<diffrows::Row> rows = diffrows::plan(plan);
    const QString sides = nexil::escaped(path) + tr(" and ") + nexil::escaped(model->locator());
    SettingsDiffDialog *dialog = settingsDiffDialog();
    dialog->setWindowTitle(title);
    dialog->showPlan(rows.empty()
                             ? tr("%1: no differences, nothing to write").arg(sides)
                             : tr("%1: %n field(s) to write", nullptr, int(rows.size())).arg(sides),
                     rows);
    const auto restoreChecked = [&] {
        // Only the fields left checked are written; the rows are the plan's steps in order.
        const std::vector<bool> chosen = dialog->checkedRows();
        std::size_t row = 0;
        plan.keepSteps([&](const nexil::snapshot::Step &) {
            return row < chosen.size() && chosen[row++];
        });
        restorePlanned(plan);
    };
    const QMetaObject::Connection confirmed
            = connect(dialog, &SettingsDiffDialog::restoreRequested, this, restoreChecked);
    dialog->exec();
    disconnect(confirmed);
}

void Velotune::restorePlanned(const nexil::RestorePlan &plan)
{
    const slowlink::Action action;
    const auto formChannel = uint32_t(ui.sbChannelIndex->value());
    // A refused write does not end the restore, as in velotune-cli: each channel's fields are
    // its own, and every outcome is shown. The form shows the read-backs of its own channel.
    nexil::RestoreResult result;
    {
        LongAction writing(settingsDiffDialog(), settingsDiffDialog()->windowTitle());
        model->restore(
                plan, nexil::Source::Restore, &result,
                [&](uint32_t channel) {
                    return channel == formChannel ? shownReads() : nexil::Session::ReadBack();
                },
                writing.progress(), writing.cancel());
    }

    for (const nexil::ChannelSettings &channel : result.after)
        showChannelSettings(channel);

    const QString who = nexil::escaped(model->locator());
    const QString path = nexil::escaped(plan.path);
    QString summary;
    if (result.cancelled)
        summary = tr("%1 from %2 cancelled: ").arg(who, path)
                + nexil::restoretext::stoppedAfter(
                          std::size_t(std::count_if(result.steps.begin(), result.steps.end(),
                                                    [](const nexil::RestoreStep &step) {
                                                        return step.outcome
                                                                != nexil::StepOutcome::NotTried;
                                                    })),
                          result.steps.size())
                + QLatin1Char('.');
    else if (result.readFailure)
        summary = nexil::restoretext::unreadable(
                who, tr("channel %1: %2").arg(result.failedChannel).arg(result.readMessage));
    else if (result.matches())
        summary = nexil::restoretext::matches(who, path, result.steps.size()) + QLatin1Char('.');
    else
        summary = nexil::restoretext::doesNotMatch(who, path) + QLatin1Char('.');
    // The history says how the restore ended, cancelled or not; each write is there already.
    historyLog->add(HistoryLog::Kind::Message, summary);
    settingsDiffDialog()->showOutcome(summary, diffrows::outcome(plan, result));
}
