#include <QTest>
class tst_Journal : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(tst_Journal)
#include "tst_journal.moc"
