// Console lines and the message history the language switch re-renders.

#include <QtTest>

#include "console.h"
#include "texttable.h"

using namespace tavik7;

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void lineFormat();
    void historyKeepsFiveAndStartsOver();
};

void TestConsole::lineFormat()
{
    const QDateTime when(QDate(2014, 3, 7), QTime(14, 5, 9));
    QCOMPARE(consoleLine(when, messageText(7, English)),
             QStringLiteral("07.03.2014 14:05:09 : Serial port successfully opened."));
    QCOMPARE(consoleLine(when, messageText(100, English)),
             QStringLiteral("07.03.2014 14:05:09 :  --- START TAVIK7 PC SOFTWARE ---"));
}

void TestConsole::historyKeepsFiveAndStartsOver()
{
    MessageHistory history;
    history.replaceWith(1);
    for (qint16 id = 2; id <= 9; ++id)
        history.append(id);
    QCOMPARE(history.count, qint16(5));
    QCOMPARE(history.ids[4], qint16(5));
    QVERIFY(!history.contains(6));

    history.replaceWith(59);
    QCOMPARE(history.count, qint16(1));
    QVERIFY(!history.contains(1));
    QVERIFY(history.contains(59));
}

QTEST_APPLESS_MAIN(TestConsole)
#include "tst_console.moc"
