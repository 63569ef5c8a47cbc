#include "channeldelegate.h"

#include "channeltable.h"
#include "sepspinbox.h"

#include <QKeyEvent>

#include <algorithm>
#include <cstdint>

namespace {

const char heldText[] = "heldText";
const char heldValue[] = "heldValue";

} // namespace

ChannelDelegate::ChannelDelegate(QObject *parent) : QStyledItemDelegate(parent) { }

ChannelDelegate::~ChannelDelegate() = default;

void ChannelDelegate::setSpeedRange(int minimum, int maximum)
{
    m_speedMinimum = minimum;
    m_speedMaximum = maximum;
}

void ChannelDelegate::setAccelerationRange(int minimum, int maximum)
{
    m_accelerationMinimum = minimum;
    m_accelerationMaximum = maximum;
}

QWidget *ChannelDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                       const QModelIndex &index) const
{
    const int column = index.column();
    if (column != ChannelTable::Speed && column != ChannelTable::Acceleration)
        return QStyledItemDelegate::createEditor(parent, option, index);
    const bool speed = column == ChannelTable::Speed;
    auto *box = new SepSpinBox(parent, speed ? "sbCellSpeed" : "sbCellAcceleration");
    box->setFrame(false);
    box->setFont(option.font);
    box->setRange(speed ? m_speedMinimum : m_accelerationMinimum,
                  speed ? m_speedMaximum : m_accelerationMaximum);
    connect(box, &SepSpinBox::refused, this, &ChannelDelegate::refused);
    return box;
}

void ChannelDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *box = qobject_cast<SepSpinBox *>(editor);
    if (box == nullptr) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    const qulonglong held = index.data(Qt::EditRole).toULongLong();
    box->showHeld(uint32_t(std::min<qulonglong>(held, UINT32_MAX)));
    // What the cell held, so a commit without a change writes nothing.
    box->setProperty(heldText, box->text());
    box->setProperty(heldValue, held);
}

void ChannelDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                   const QModelIndex &index) const
{
    auto *box = qobject_cast<SepSpinBox *>(editor);
    if (box == nullptr) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    // Refused text is never written; the box has said why.
    if (!box->hasAcceptableInput() || box->text() == box->property(heldText).toString())
        return;
    box->interpretText();
    const auto wanted = qulonglong(box->value());
    if (wanted == box->property(heldValue).toULongLong())
        return;
    model->setData(index, wanted, Qt::EditRole);
}

bool ChannelDelegate::eventFilter(QObject *object, QEvent *event)
{
    // Return on refused text goes to the box, which keeps the text for mending and says why,
    // as the form does; the base would close the editor and drop it.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        auto *box = qobject_cast<SepSpinBox *>(object);
        if (box != nullptr && (key == Qt::Key_Return || key == Qt::Key_Enter)
            && !box->hasAcceptableInput())
            return false;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
