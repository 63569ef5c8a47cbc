#include "settingsdiffdialog.h"

#include <QBrush>
#include <QHeaderView>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QStyle>

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
    // Nothing checked, nothing to restore.
    connect(model, &QStandardItemModel::itemChanged, this, [this] {
        if (restore == nullptr)
            return;
        const std::vector<bool> checked = checkedRows();
        restore->setEnabled(std::find(checked.begin(), checked.end(), true) != checked.end());
    });
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

void SettingsDiffDialog::fill(const QString &summary, const std::vector<Row> &rows, Mode mode)
{
    ui.lSummary->setText(summary);
    model->removeRows(0, model->rowCount());
    model->setHeaderData(FileColumn, Qt::Horizontal, tr("File"));
    model->setHeaderData(ControllerColumn, Qt::Horizontal,
                         mode == Mode::Outcome ? tr("Read back") : tr("Controller"));
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
        if (mode == Mode::Plan) {
            items[ChannelColumn]->setCheckable(true);
            items[ChannelColumn]->setCheckState(Qt::Checked);
        }
        model->appendRow(items);
    }
    // A sensor type of other units says that speed and acceleration were not compared.
    const bool noted = std::any_of(rows.begin(), rows.end(),
                                   [](const Row &row) { return !row.outcome.isEmpty(); });
    ui.tvDifferences->setColumnHidden(OutcomeColumn, mode != Mode::Outcome && !noted);
    ui.tvDifferences->setVisible(!rows.empty());
    fitColumns();
}

void SettingsDiffDialog::fitColumns()
{
    // Worked out from the rows, not from the view's geometry, which a dialog not shown yet
    // does not have.
    const QHeaderView *header = ui.tvDifferences->header();
    // QTreeView hides the item view's public sizeHintForColumn().
    const QAbstractItemView *view = ui.tvDifferences;
    int needed = 0;
    for (int column = 0; column < Columns; ++column) {
        if (!ui.tvDifferences->isColumnHidden(column))
            needed += std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
    }
    const QMargins margins = layout()->contentsMargins();
    needed += margins.left() + margins.right() + 2 * ui.tvDifferences->frameWidth()
            + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ui.tvDifferences);
    if (const QScreen *shown = screen())
        needed = std::min(needed, shown->availableGeometry().width());
    if (needed > width())
        resize(needed, height());
}

std::vector<bool> SettingsDiffDialog::checkedRows() const
{
    std::vector<bool> checked;
    for (int row = 0; row < model->rowCount(); ++row)
        checked.push_back(model->item(row, ChannelColumn)->checkState() == Qt::Checked);
    return checked;
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
    fill(summary, rows, Mode::Comparison);
    if (sides.size() == 2) {
        model->setHeaderData(FileColumn, Qt::Horizontal, sides.at(0));
        model->setHeaderData(ControllerColumn, Qt::Horizontal, sides.at(1));
        fitColumns();
    }
    closeOnly();
}

void SettingsDiffDialog::showPlan(const QString &summary, const std::vector<Row> &rows)
{
    fill(summary, rows, Mode::Plan);
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
    fill(summary, rows, Mode::Outcome);
    closeOnly();
}
