#include "diffrows.h"
#include "escaped.h"
#include "locatordialog.h"
#include "longaction.h"
#include "modeljournal.h"
#include "screenfit.h"
#include "settingsdiffdialog.h"
#include "slowlink.h"
#include "snapshotsession.h"
#include "velotune.h"

void Velotune::on_aCompareController_triggered()
{
    QStringList found;
    {
        const slowlink::Action action;
        // Nothing found is no reason not to type a locator.
        nexil::findSystems(&found);
    }
    found.removeAll(model->locator());
    LocatorDialog ask(found, this);
    screenfit::fitToScreen(&ask);
    if (ask.exec() != QDialog::Accepted || !model->isOpen())
        return;
    const QString other = ask.locator();
    // The library lets a controller be opened once; the user means another one.
    if (other == model->locator()) {
        warnAboutFile(tr("%1 is the connected controller; compare it with another one or with "
                         "a settings file.")
                              .arg(nexil::escaped(other)));
        return;
    }
    std::vector<nexil::ChannelSettings> theirs;
    std::vector<nexil::ChannelSettings> ours;
    {
        const slowlink::Action action;
        writeHeldSteps();
        LongAction reading(this, tr("Compare with %1").arg(nexil::escaped(other)));
        if (!readOtherController(other, &theirs, &reading)
            || !readEveryChannel(&ours, tr("Not compared: "), &reading))
            return;
    }
    const std::vector<diffrows::Row> rows = diffrows::differences(
            nexil::journal::compare(other, theirs, model->locator(), ours, other, QString()));
    const QString sides = nexil::escaped(other) + tr(" and ") + nexil::escaped(model->locator());
    SettingsDiffDialog dialog(this);
    dialog.setWindowTitle(tr("Compare with %1").arg(nexil::escaped(other)));
    dialog.showComparison(
            rows.empty() ? tr("%1: no differences").arg(sides)
                         : tr("%1: %n field(s) differ", nullptr, int(rows.size())).arg(sides),
            rows, {nexil::escaped(other), nexil::escaped(model->locator())});
    screenfit::fitToScreen(&dialog);
    dialog.exec();
}

bool Velotune::readOtherController(const QString &locator,
                                   std::vector<nexil::ChannelSettings> *channels,
                                   LongAction *action)
{
    // A model of its own: the connected controller's, its form and its overview stay as they
    // are, and nothing is written to the other one.
    nexil::ChannelModel reader(nullptr, true);
    const QString notCompared = tr("Not compared: ") + nexil::escaped(locator) + tr(": ");
    if (const nexil::Failure failure = reader.open(locator)) {
        warnAboutFile(notCompared + reader.message(failure));
        return false;
    }
    uint32_t failed = 0;
    const nexil::Failure failure
            = reader.readChannels(nexil::snapshot::everyChannel(reader.session()), channels,
                                  &failed, action->progress(), action->cancel());
    if (!failure && action->cancelled()) {
        showMessage(tr("Not compared: ") + tr("cancelled."), messageTimeout);
        reader.close();
        return false;
    }
    if (failure) {
        warnAboutFile(notCompared + tr("channel %1: %2").arg(failed).arg(reader.message(failure)));
        reader.close();
        return false;
    }
    if (const nexil::Failure released = reader.close())
        showMessage(reader.message(released), messageTimeout);
    return true;
}
