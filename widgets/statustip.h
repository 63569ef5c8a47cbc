#ifndef STATUSTIP_H
#define STATUSTIP_H

#include <QObject>
#include <QString>

class QStatusBar;

// Gives a status bar a tooltip for what its line cannot show: the whole of a message its width
// cuts off, or the details given with a message. The tooltip lives exactly as long as its
// message, whoever shows or clears it.
class StatusTip : public QObject
{
    Q_OBJECT

public:
    explicit StatusTip(QStatusBar *bar);

    // Shows `message` with `details` as its tooltip; a timeout of 0 keeps it until replaced.
    void showMessage(const QString &message, const QString &details, int timeout = 0);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void update();
    bool cutOff(const QString &message) const;

    QStatusBar *m_bar;
    QString m_message;
    QString m_details;
};

#endif // STATUSTIP_H
