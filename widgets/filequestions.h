#ifndef FILEQUESTIONS_H
#define FILEQUESTIONS_H

#include <QString>

class QWidget;

// Message boxes about a file the user picked. Its name is shown as plain text, control
// characters written out, so a name never reads as markup or splits the message.
namespace filequestions {

void warn(QWidget *parent, const QString &title, const QString &text);

// True when the user agrees to replace `path`, whose owner has write-protected it; No is the
// default answer.
bool replaceWriteProtected(QWidget *parent, const QString &title, const QString &path);

} // namespace filequestions

#endif // FILEQUESTIONS_H
