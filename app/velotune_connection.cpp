#include "escaped.h"
#include "longaction.h"
#include "nexillibrary.h"
#include "queuedsteps.h"
#include "slowlink.h"
#include "velotune.h"

#include <QCoreApplication>
#include <QSignalBlocker>

#include <algorithm>
#include <climits>

void Velotune::showLibraryNotice()
{
    const nexil::LibraryInfo &library = nexil::library();
    if (!library.loaded)
        showMessage(tr("No controller library: %1").arg(library.reason), 0, library.error);
}

void Velotune::on_pbRefresh_clicked()
{
    const slowlink::Action action;
    const QSignalBlocker blocker(ui.cbLocator);
    ui.cbLocator->clear();

    QStringList found;
    if (nexil::findSystems(&found)) {
        showLibraryNotice();
        return;
    }
    ui.cbLocator->addItems(found);
    if (ui.cbLocator->count() > 0)
        ui.cbLocator->setCurrentIndex(0);
}

void Velotune::on_pbConnect_clicked(bool on)
{
    const slowlink::Action action;
    if (on) {
        if (model->open(ui.cbLocator->currentText(),
                        [this](const nexil::Failure &failure) { showStatus(failure); })) {
            ui.pbConnect->setChecked(false);
            followConnection();
            return;
        }
        const uint32_t channels = model->channelCount();
        // Without a channel every later call would address channel 0 - 1.
        if (channels == 0) {
            showMessage(tr("Device %1 has no channels.")
                                .arg(nexil::escaped(ui.cbLocator->currentText())),
                        messageTimeout);
            model->abandon();
            ui.pbConnect->setChecked(false);
            followConnection();
            return;
        }

        // Whatever was said before the connect is over; the read-back may say more.
        ui.statusBar->clearMessage();
        ui.sbChannelIndex->setMaximum(int(std::min<uint32_t>(channels - 1, INT_MAX)));
        ui.sbChannelIndex->setEnabled(true);
        ui.gbConfiguration->setEnabled(true);
        ui.pbConnect->setText(tr("&Disconnect"));
        ui.cbLocator->setEnabled(false);
        ui.pbRefresh->setEnabled(false);
        enableSettingsFiles(true);
        on_sbChannelIndex_valueChanged(ui.sbChannelIndex->value());
        followConnection();
        return;
    }

    // The edit being typed is finished the way a click finishes it, by the button taking the
    // focus, and held steps are written: both reach the controller before the release, never
    // the closed system after it.
    ui.pbConnect->setFocus(Qt::OtherFocusReason);
    writeHeldSteps();

    if (const nexil::Failure failure = model->close()) {
        showStatus(failure);
        ui.pbConnect->setChecked(true);
        return;
    }
    showMessage(tr("Device %1 released.").arg(nexil::escaped(ui.cbLocator->currentText())),
                messageTimeout);
    ui.sbChannelIndex->setEnabled(false);
    ui.gbConfiguration->setEnabled(false);
    ui.cbLocator->setEnabled(true);
    ui.pbRefresh->setEnabled(true);
    ui.pbConnect->setText(tr("&Connect"));
    enableSettingsFiles(false);
    followConnection();
}

void Velotune::on_sbChannelIndex_valueChanged(int value)
{
    const slowlink::Action action;
    // Steps held for the channel being left are its own.
    writeHeldSteps();
    const auto channel = uint32_t(value);
    for (const nexil::Read read : nexil::fullReadBack())
        fetch(read, channel);
}

// Saving, comparing and restoring need an open controller.
void Velotune::enableSettingsFiles(bool connected)
{
    for (QAction *action :
         {ui.aSaveSettings, ui.aCompareSettings, ui.aCompareController, ui.aRestoreSettings})
        action->setEnabled(connected);
}

void Velotune::endBySignal(int signal)
{
    if (LongAction *action = LongAction::running()) {
        action->stop([this, signal] { endBySignal(signal); });
        return;
    }
    queuedSteps->takeHeld();
    if (model->isOpen()) {
        if (const nexil::Failure failure = model->close())
            showStatus(failure);
        else
            showMessage(tr("Device %1 released.").arg(nexil::escaped(model->locator())),
                        messageTimeout);
    }
    QCoreApplication::exit(128 + signal);
}
