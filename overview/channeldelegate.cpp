#include "channeldelegate.h"

#include "channeltable.h"
#include "sepspinbox.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QKeyEvent>

#include <algorithm>
#include <cstdint>

namespace {

const char heldText[] = "heldText";
const char heldValue[] = "heldValue";

} // namespace

ChannelDelegate::ChannelDelegate(QObject *parent) : QStyledItemDelegate(parent) { }

ChannelDelegate::~ChannelDelegate() = default;

QWidget *ChannelDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                       const QModelIndex &index) const
{
    const std::optional<nexil::Setting> setting = ChannelTable::settingOf(index.column());
    if (!setting || nexil::info(*setting).unit == nullptr)
        return QStyledItemDelegate::createEditor(parent, option, index);
    const nexil::SettingInfo &info = nexil::info(*setting);
    // "sbCellSpeed", "sbCellAcceleration"
    QByteArray name = info.key;
    name[0] = char(QChar::toUpper(uint(name[0])));
    auto *box = new SepSpinBox(parent, QByteArray("sbCell" + name).constData());
    box->setFrame(false);
    box->setFont(option.font);
    box->setRange(int(info.minimum), int(info.maximum));
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
    auto *box = qobject_cast<SepSpinBox *>(object);
    if (box == nullptr || event->type() != QEvent::KeyPress)
        return QStyledItemDelegate::eventFilter(object, event);
    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    // Return on refused text goes to the box, which keeps the text for mending and says why,
    // as the form does; the base would close the editor and drop it.
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!box->hasAcceptableInput())
            return false;
        break;
    // As in a spreadsheet, these leave the cell with the value as typed and move on; they never
    // step the value, and the next cell is not opened for editing.
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return leaveCell(box, key);
    default:
        break;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

bool ChannelDelegate::leaveCell(SepSpinBox *box, const QKeyEvent *key)
{
    // Refused text stays for mending, and the box says why, as Return would have it.
    if (!box->hasAcceptableInput()) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(box, &enter);
        return true;
    }
    // The editor lives on the view's viewport.
    QWidget *viewport = box->parentWidget();
    auto *view = qobject_cast<QAbstractItemView *>(viewport != nullptr ? viewport->parentWidget()
                                                                       : nullptr);
    emit commitData(box);
    emit closeEditor(box, QAbstractItemDelegate::NoHint);
    if (view != nullptr) {
        QKeyEvent move(QEvent::KeyPress, key->key(), key->modifiers());
        QCoreApplication::sendEvent(view, &move);
    }
    return true;
}
