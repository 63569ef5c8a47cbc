#ifndef CHANNELOVERVIEW_H
#define CHANNELOVERVIEW_H

#include "channelmodel.h"
#include "channeltable.h"
#include "ui_channeloverview.h"

#include <QWidget>

#include <cstdint>
#include <vector>

class ChannelDelegate;

// Every channel of the connected controller at a glance, in a window of its own. A view only:
// it shows the rows it is given and tells what the user asks for; the main window makes the
// calls.
class ChannelOverview : public QWidget
{
    Q_OBJECT

public:
    explicit ChannelOverview(QWidget *parent = nullptr);
    ~ChannelOverview() override;

    // Every row read through `model`, which serves no controller of more than
    // ChannelModel::maxChannels; `progress` and `cancel` span the reads.
    // A cancelled read keeps the rows it read and says where it stopped.
    void readRows(nexil::ChannelModel *model,
                  const nexil::ChannelModel::Progress &progress = nullptr,
                  const nexil::ChannelModel::Cancel &cancel = nullptr);
    // The row of `channel` read again, when it is shown.
    void rereadRow(nexil::ChannelModel *model, uint32_t channel);
    // The row of `channel`, if shown.
    const ChannelRow *row(uint32_t channel) const;

    void setRows(std::vector<ChannelRow> rows);
    void setRow(const ChannelRow &row);
    void clear();
    // A write made from a cell: a refusal marks the cell and is told with its channel in the
    // window's status line; a taken write unmarks it.
    void showWriteOutcome(const nexil::WriteResult &result);
    QString statusText() const { return ui.lStatus->text(); }
    // A line below the table; empty hides it.
    void setNote(const QString &note);
    const ChannelTable *table() const { return m_table; }

signals:
    void refreshRequested();
    void writeRequested(uint32_t channel, nexil::Setting setting, uint32_t value);
    void channelActivated(uint32_t channel);
    // Typed text in a cell was not taken; `reason` says why.
    void refused(const QString &reason);

private slots:
    void on_pbRefreshChannels_clicked();
    void on_tvChannels_activated(const QModelIndex &index);

private:
    static ChannelRow readRow(nexil::ChannelModel *model, uint32_t channel);
    // A failed row's message spans the value columns.
    void showFailures(int first, int last);

    Ui::ChannelOverview ui;
    ChannelTable *m_table;
    ChannelDelegate *m_delegate;
};

#endif // CHANNELOVERVIEW_H
