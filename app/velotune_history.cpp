#include "history.h"
#include "historylog.h"
#include "journal.h"
#include "screenfit.h"
#include "statustip.h"
#include "velotune.h"

void Velotune::on_aHistory_triggered()
{
    if (historyWindow == nullptr) {
        historyWindow = new History(historyLog, this);
        shareShortcuts(historyWindow);
    }
    if (!historyWindow->isVisible())
        screenfit::fitToScreen(historyWindow);
    historyWindow->show();
    historyWindow->raise();
    historyWindow->activateWindow();
}

// The history has every journal event of this program as it is recorded; writes come with
// their outcome's own text (noteWritten).
void Velotune::followJournal()
{
    nexil::journal::setListener([this](const nexil::journal::Event &event) {
        if (event.kind != nexil::journal::Kind::Write)
            historyLog->addEvent(event);
    });
}

void Velotune::showMessage(const QString &message, int timeout, const QString &details)
{
    if (details.isEmpty())
        ui.statusBar->showMessage(message, timeout);
    else
        statusTip->showMessage(message, details, timeout);
    historyLog->add(HistoryLog::Kind::Message,
                    details.isEmpty() ? message : tr("%1 (%2)").arg(message, details));
}

QString Velotune::failureMessage(const nexil::Failure &failure)
{
    return model->message(failure);
}

void Velotune::noteWritten(const nexil::WriteResult &result)
{
    historyLog->addWrite(result, model->locator());
    // An overview edit reads its row itself.
    if (result.source != nexil::Source::Overview)
        rereadOverviewRow(result.channel);
}
