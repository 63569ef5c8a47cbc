#include "settingsdiffdialog.h"

#include <QBrush>
#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>

#include <algorithm>

namespace {

enum Column { ChannelColumn, FieldColumn, FileColumn, ControllerColumn, OutcomeColumn, Columns };

} // namespace

SettingsDiffDialog::SettingsDiffDialog(QWidget *parent)
    : QDialog(parent), model(new QStandardItemModel(0, Columns, this))
{
    ui.setupUi(this);
    model->setHorizontalHeaderLabels(
            {tr("Channel"), tr("Field"), tr("File"), tr("Controller"), tr("Outcome")});
    ui.tvDifferences->setModel(model);
    ui.tvDifferences->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui.tvDifferences->header()->setStretchLastSection(true);
    connect(ui.buttonBox, &QDialogButtonBox::clicked, this, &SettingsDiffDialog::clicked);
}

SettingsDiffDialog::~SettingsDiffDialog() = default;

void SettingsDiffDialog::clicked(QAbstractButton *button)
{
    if (button == restore) {
        // Pressed once: the writes are under way and their outcome replaces the buttons.
        restore->setEnabled(false);
        emit restoreRequested();
        return;
    }
    if (ui.buttonBox->buttonRole(button) == QDialogButtonBox::RejectRole)
        reject();
}

void SettingsDiffDialog::fill(const QString &summary, const std::vector<Row> &rows,
                              bool withOutcome)
{
    ui.lSummary->setText(summary);
    model->removeRows(0, model->rowCount());
    for (const Row &row : rows) {
        QList<QStandardItem *> items;
        for (const QString &text :
             {row.channel, row.field, row.fileValue, row.controllerValue, row.outcome})
            items << new QStandardItem(text);
        // Numbers line up by their groups.
        for (const int column : {ChannelColumn, FileColumn, ControllerColumn})
            items[column]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (row.failed)
            items[OutcomeColumn]->setForeground(QBrush(Qt::red));
        model->appendRow(items);
    }
    ui.tvDifferences->setColumnHidden(OutcomeColumn, !withOutcome);
    ui.tvDifferences->setVisible(!rows.empty());
}

void SettingsDiffDialog::closeOnly()
{
    ui.buttonBox->clear();
    restore = nullptr;
    ui.buttonBox->setStandardButtons(QDialogButtonBox::Close);
    ui.buttonBox->button(QDialogButtonBox::Close)->setDefault(true);
}

void SettingsDiffDialog::showComparison(const QString &summary, const std::vector<Row> &rows,
                                        const QStringList &sides)
{
    if (sides.size() == 2) {
        model->setHeaderData(FileColumn, Qt::Horizontal, sides.at(0));
        model->setHeaderData(ControllerColumn, Qt::Horizontal, sides.at(1));
    }
    // A sensor type of other units says that speed and acceleration were not compared.
    const bool noted = std::any_of(rows.begin(), rows.end(),
                                   [](const Row &row) { return !row.outcome.isEmpty(); });
    fill(summary, rows, noted);
    closeOnly();
}

void SettingsDiffDialog::showPlan(const QString &summary, const std::vector<Row> &rows)
{
    fill(summary, rows, false);
    if (rows.empty()) {
        closeOnly();
        return;
    }
    ui.buttonBox->clear();
    ui.buttonBox->setStandardButtons(QDialogButtonBox::Cancel);
    restore = ui.buttonBox->addButton(tr("Restore"), QDialogButtonBox::ActionRole);
    restore->setObjectName(QStringLiteral("pbRestore"));
    // Writing is the step to think twice about: Return does not start it.
    ui.buttonBox->button(QDialogButtonBox::Cancel)->setDefault(true);
}

void SettingsDiffDialog::showOutcome(const QString &summary, const std::vector<Row> &rows)
{
    fill(summary, rows, true);
    closeOnly();
}
