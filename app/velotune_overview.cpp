#include "channeloverview.h"
#include "slowlink.h"
#include "statusformat.h"
#include "velotune.h"

#include <algorithm>

namespace {

// A controller that claims more channels than this is shown in part: reading millions of
// channels would freeze the window for good.
constexpr uint32_t maxOverviewRows = 1024;

} // namespace

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
    }
    // Hidden, it was not kept up to date: opening it reads everything.
    const bool opening = !overview->isVisible();
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
    const uint32_t count = model->channelCount();
    const uint32_t shown = std::min(count, maxOverviewRows);
    std::vector<ChannelRow> rows;
    rows.reserve(shown);
    for (uint32_t channel = 0; channel < shown; ++channel)
        rows.push_back(readOverviewRow(channel));
    overview->setRows(rows);
    overview->setNote(count > shown
                              ? tr("Showing the first %1 of %2 channels.").arg(shown).arg(count)
                              : QString());
    // The form's channel was read too: the form shows what the controller holds.
    const auto formChannel = uint32_t(ui.sbChannelIndex->value());
    if (formChannel < shown && rows[formChannel].failure.isEmpty())
        showChannelSettings(rows[formChannel].settings);
}

ChannelRow Velotune::readOverviewRow(uint32_t channel)
{
    ChannelRow row;
    row.settings.index = channel;
    if (const nexil::Failure failure = model->readChannel(channel, &row.settings)) {
        row.settings = nexil::ChannelSettings();
        row.settings.index = channel;
        row.failure = failureMessage(failure);
    }
    return row;
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
    const ChannelRow row = readOverviewRow(channel);
    overview->setRow(row);
    if (formChannel && row.failure.isEmpty())
        showChannelSettings(row.settings);
}

void Velotune::rereadOverviewRow(uint32_t channel)
{
    if (overview == nullptr || !overview->isVisible() || !model->isOpen()
        || channel >= maxOverviewRows)
        return;
    overview->setRow(readOverviewRow(channel));
}

void Velotune::followConnection()
{
    if (overview == nullptr)
        return;
    if (model->isOpen())
        readOverview();
    else
        overview->clear();
}
