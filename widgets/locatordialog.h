#ifndef LOCATORDIALOG_H
#define LOCATORDIALOG_H

#include "ui_locatordialog.h"

#include <QDialog>
#include <QString>
#include <QStringList>

// Asks for a controller: one of those found, or a locator typed in. It makes no controller call.
class LocatorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LocatorDialog(const QStringList &found, QWidget *parent = nullptr);
    ~LocatorDialog() override;

    // What was picked or typed, without surrounding blanks.
    QString locator() const;

private:
    Ui::LocatorDialog ui;
};

#endif // LOCATORDIALOG_H
