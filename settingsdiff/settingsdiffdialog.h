#ifndef SETTINGSDIFFDIALOG_H
#define SETTINGSDIFFDIALOG_H

#include "ui_settingsdiffdialog.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QAbstractButton;
class QStandardItemModel;

// Where the controller differs from a settings file, one row per field. Compare shows the rows
// with Close; a restore shows the writes it plans, each with a check box, with Restore and
// Cancel, then each write's outcome with Close. It makes no controller call: Restore is only asked
// for.
class SettingsDiffDialog : public QDialog
{
    Q_OBJECT

public:
    struct Row
    {
        QString channel;
        QString field;
        QString fileValue;
        QString controllerValue;
        QString outcome;
        bool failed = false;
    };

    explicit SettingsDiffDialog(QWidget *parent = nullptr);
    ~SettingsDiffDialog() override;

    // `sides` name the two value columns when they are not a file and the controller.
    void showComparison(const QString &summary, const std::vector<Row> &rows,
                        const QStringList &sides = QStringList());
    void showPlan(const QString &summary, const std::vector<Row> &rows);
    void showOutcome(const QString &summary, const std::vector<Row> &rows);
    // Of the plan's rows, in order, those whose check box is checked.
    std::vector<bool> checkedRows() const;

signals:
    void restoreRequested();

private:
    void clicked(QAbstractButton *button);
    enum class Mode { Comparison, Plan, Outcome };
    void fill(const QString &summary, const std::vector<Row> &rows, Mode mode);
    // Wide enough for every column, within the screen.
    void fitColumns();
    void closeOnly();

    Ui::SettingsDiffDialog ui;
    QStandardItemModel *model;
    QAbstractButton *restore = nullptr;
};

#endif // SETTINGSDIFFDIALOG_H
