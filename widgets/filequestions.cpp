#include "filequestions.h"

#include "escaping.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace filequestions {

void warn(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text::escaped(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool replaceWriteProtected(QWidget *parent, const QString &title, const QString &path)
{
    QMessageBox box(QMessageBox::Warning, title,
                    QCoreApplication::translate("filequestions",
                                                "%1 is write-protected. Replace it anyway?")
                            .arg(text::escaped(path)),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace filequestions
