#include "channeloverview.h"

#include "channeldelegate.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QShortcut>

ChannelOverview::ChannelOverview(QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_table(new ChannelTable(this)),
      m_delegate(new ChannelDelegate(this))
{
    ui.setupUi(this);
    ui.tvChannels->setModel(m_table);
    ui.tvChannels->setItemDelegate(m_delegate);
    ui.tvChannels->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui.lNote->hide();

    // The button's text gives it the mnemonic; F5 is a shortcut of its own, as in the form.
    auto *refresh = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(refresh, &QShortcut::activated, ui.pbRefreshChannels, &QPushButton::click);

    connect(m_table, &ChannelTable::writeRequested, this, &ChannelOverview::writeRequested);
    connect(m_delegate, &ChannelDelegate::refused, this, &ChannelOverview::refused);
    connect(m_table, &ChannelTable::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                showFailures(topLeft.row(), bottomRight.row());
            });
}

ChannelOverview::~ChannelOverview()
{
    // A cell editor still open is closed as the children go, after this part of the window is
    // gone: what it commits must not reach it.
    m_table->disconnect(this);
    m_delegate->disconnect(this);
}

void ChannelOverview::readRows(nexil::ChannelModel *model,
                               const nexil::ChannelModel::Progress &progress,
                               const nexil::ChannelModel::Cancel &cancel)
{
    const uint32_t shown = model->channelCount();
    std::vector<ChannelRow> rows;
    rows.reserve(shown);
    for (uint32_t channel = 0; channel < shown; ++channel) {
        if (cancel && cancel()) {
            setRows(rows);
            setNote(QCoreApplication::translate("Velotune", "Cancelled after %1 of %2 channels.")
                            .arg(channel)
                            .arg(shown));
            return;
        }
        if (progress)
            progress(channel, shown,
                     QCoreApplication::translate("Velotune", "Reading channel %1").arg(channel));
        rows.push_back(readRow(model, channel));
    }
    setRows(rows);
    setNote(QString());
}

ChannelRow ChannelOverview::readRow(nexil::ChannelModel *model, uint32_t channel)
{
    ChannelRow row;
    row.settings.index = channel;
    if (const nexil::Failure failure = model->readChannel(channel, &row.settings)) {
        row.settings = nexil::ChannelSettings();
        row.settings.index = channel;
        row.failure = model->message(failure);
    }
    return row;
}

void ChannelOverview::rereadRow(nexil::ChannelModel *model, uint32_t channel)
{
    if (channel < model->channelCount())
        setRow(readRow(model, channel));
}

const ChannelRow *ChannelOverview::row(uint32_t channel) const
{
    return m_table->row(channel);
}

void ChannelOverview::setRows(std::vector<ChannelRow> rows)
{
    m_table->setRows(std::move(rows));
    ui.tvChannels->clearSpans();
    showFailures(0, m_table->rowCount() - 1);
}

void ChannelOverview::setRow(const ChannelRow &row)
{
    m_table->setRow(row);
}

void ChannelOverview::clear()
{
    m_table->clear();
    ui.tvChannels->clearSpans();
    ui.lStatus->clear();
    setNote(QString());
}

void ChannelOverview::showWriteOutcome(const nexil::WriteResult &result)
{
    if (result.outcome != nexil::Outcome::Refused) {
        m_table->markRefused(result.channel, result.setting, QString());
        return;
    }
    m_table->markRefused(result.channel, result.setting, result.message);
    ui.lStatus->setText(QCoreApplication::translate("Velotune", "Channel %1: %2")
                                .arg(result.channel)
                                .arg(result.message));
}

void ChannelOverview::setNote(const QString &note)
{
    ui.lNote->setText(note);
    ui.lNote->setVisible(!note.isEmpty());
}

void ChannelOverview::showFailures(int first, int last)
{
    const int columns = ChannelTable::ColumnCount - ChannelTable::Positioner;
    for (int row = first; row <= last; ++row) {
        const int span = m_table->failed(row) ? columns : 1;
        if (ui.tvChannels->columnSpan(row, ChannelTable::Positioner) != span)
            ui.tvChannels->setSpan(row, ChannelTable::Positioner, 1, span);
    }
}

void ChannelOverview::on_pbRefreshChannels_clicked()
{
    emit refreshRequested();
}

void ChannelOverview::on_tvChannels_activated(const QModelIndex &index)
{
    if (index.isValid())
        emit channelActivated(uint32_t(index.row()));
}
