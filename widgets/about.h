#ifndef ABOUT_H
#define ABOUT_H

#include "ui_about.h"

#include <QDialog>

// The line under the version that names the controller library: `format` with `file` for %1,
// the file shortened in its middle to keep one line. Without a file, `format` is the whole
// text, wrapped: a reason matters more than the room it takes.
struct LibraryLine
{
    QString format;
    QString file;
};

class About : public QDialog
{
    Q_OBJECT

public:
    About(int major, int minor, int patch, const LibraryLine &library);
    ~About() override;

private:
    void showLibrary(const LibraryLine &library);
    void fitIntoScreen();

    Ui::About ui;
};

#endif // ABOUT_H
