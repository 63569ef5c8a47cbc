#include "channeloverview.h"
#include "escaped.h"
#include "longaction.h"
#include "screenfit.h"
#include "slowlink.h"
#include "velotune.h"

void Velotune::on_aChannels_triggered()
{
    if (overview == nullptr) {
        overview = new ChannelOverview(this);
        connect(overview, &ChannelOverview::refreshRequested, this, &Velotune::readOverview);
        connect(overview, &ChannelOverview::writeRequested, this, &Velotune::writeFromOverview);
        connect(overview, &ChannelOverview::channelActivated, this, [this](uint32_t channel) {
            if (ui.sbChannelIndex->isEnabled() && channel <= uint32_t(ui.sbChannelIndex->maximum()))
                ui.sbChannelIndex->setValue(int(channel));
        });
        connect(overview, &ChannelOverview::refused, this,
                [this](const QString &reason) { showMessage(reason, messageTimeout); });
        shareShortcuts(overview);
    }
    // Hidden, it was not kept up to date: opening it reads everything.
    const bool opening = !overview->isVisible();
    titleOverview();
    if (opening)
        screenfit::fitToScreen(overview);
    overview->show();
    overview->raise();
    overview->activateWindow();
    if (opening)
        readOverview();
}

void Velotune::readOverview()
{
    if (overview == nullptr || !overview->isVisible())
        return;
    if (!model->isOpen()) {
        overview->clear();
        return;
    }
    const slowlink::Action action;
    // Steps the form still holds were asked for first, and no timer writes them meanwhile.
    writeHeldSteps();
    {
        LongAction reading(overview, overview->windowTitle());
        overview->readRows(model, reading.progress(), reading.cancel());
    }
    // The form's channel was read too: the form shows what the controller holds.
    const ChannelRow *row = overview->row(uint32_t(ui.sbChannelIndex->value()));
    if (row != nullptr && row->failure.isEmpty())
        showChannelSettings(row->settings);
}

void Velotune::writeFromOverview(uint32_t channel, nexil::Setting setting, uint32_t value)
{
    if (!model->isOpen())
        return;
    const slowlink::Action action;
    // Steps the form still holds were asked for first.
    writeHeldSteps();
    const bool formChannel
            = ui.sbChannelIndex->isEnabled() && channel == uint32_t(ui.sbChannelIndex->value());
    const nexil::WriteResult result
            = model->write(channel, setting, value, nexil::Source::Overview,
                           formChannel ? shownReads() : nexil::Session::ReadBack());
    if (result.outcome == nexil::Outcome::Refused)
        showMessage(result.message, messageTimeout);
    // Taken or refused, the row shows what the controller holds now.
    overview->rereadRow(model, channel);
    overview->showWriteOutcome(result);
    const ChannelRow *row = overview->row(channel);
    if (formChannel && row != nullptr && row->failure.isEmpty())
        showChannelSettings(row->settings);
}

void Velotune::rereadOverviewRow(uint32_t channel)
{
    // A cancelled action makes no call it can leave out.
    const LongAction *action = LongAction::running();
    if (action != nullptr && action->cancelled())
        return;
    if (overview != nullptr && overview->isVisible() && model->isOpen())
        overview->rereadRow(model, channel);
}

void Velotune::titleOverview()
{
    overview->setWindowTitle(model->isOpen()
                                     ? tr("Channels of %1").arg(nexil::escaped(model->locator()))
                                     : tr("Channels"));
}

void Velotune::followConnection()
{
    if (overview == nullptr)
        return;
    titleOverview();
    if (model->isOpen())
        readOverview();
    else
        overview->clear();
}

void Velotune::shareShortcuts(QWidget *window)
{
    // The same actions, not copies: a shortcut fires once, from whichever of the windows is
    // active, and is off where the action is.
    window->addActions({ui.aSaveSettings, ui.aCompareSettings, ui.aRestoreSettings, ui.aChannels,
                        ui.aHistory});
}
