#ifndef ABOUT_H
#define ABOUT_H

#include "ui_about.h"

#include <QDialog>

class About : public QDialog
{
    Q_OBJECT

public:
    About(int major, int minor, int patch);
    ~About() override;

private:
    void showLibrary();
    void fitIntoScreen();

    Ui::About ui;
};

#endif // ABOUT_H
