#include "locatordialog.h"

#include "escaping.h"

#include <QPushButton>

LocatorDialog::LocatorDialog(const QStringList &found, QWidget *parent) : QDialog(parent)
{
    ui.setupUi(this);
    // Shown written out, so a name with a line break cannot pass for two; the locator itself
    // is kept as found.
    for (const QString &locator : found)
        ui.cbCompareLocator->addItem(text::escaped(locator), locator);
    QPushButton *ok = ui.buttonBox->button(QDialogButtonBox::Ok);
    const auto enableOk = [this, ok] { ok->setEnabled(!locator().isEmpty()); };
    connect(ui.cbCompareLocator, &QComboBox::editTextChanged, this, enableOk);
    enableOk();
}

LocatorDialog::~LocatorDialog() = default;

QString LocatorDialog::locator() const
{
    const QString text = ui.cbCompareLocator->currentText().trimmed();
    // A listed one as found, even if it had to be written out to be shown.
    const int listed = ui.cbCompareLocator->findText(text, Qt::MatchExactly);
    return listed >= 0 ? ui.cbCompareLocator->itemData(listed).toString() : text;
}
