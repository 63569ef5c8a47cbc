#ifndef CHANNELDELEGATE_H
#define CHANNELDELEGATE_H

#include <QStyledItemDelegate>

class QKeyEvent;
class SepSpinBox;

// Speed and acceleration cells are edited in the window's own grouped spin box, with the
// ranges of the settings' table, as the form's, so typed text is read and refused exactly as in the
// form.
class ChannelDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ChannelDelegate(QObject *parent = nullptr);
    ~ChannelDelegate() override;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

signals:
    // Typed text was not taken; `reason` says why.
    void refused(const QString &reason);

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    // Commits the edit, closes the editor and hands `key` to the view to move on.
    bool leaveCell(SepSpinBox *box, const QKeyEvent *key);
};

#endif // CHANNELDELEGATE_H
