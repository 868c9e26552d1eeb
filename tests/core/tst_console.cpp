// Console lines, notes with their arguments in both languages, and the
// message history the language switch renders again.

#include <QtTest>

#include "console.h"
#include "texttable.h"

using namespace tavik7;

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void rendering()
    {
        const QDateTime when(QDate(2014, 3, 7), QTime(14, 5, 9));
        QCOMPARE(consoleLine(when, renderEntry(MessageId::PortOpened, English)),
                 QStringLiteral("07.03.2014 14:05:09 : Serial port successfully opened."));

        // An argument may hold a placeholder of its own; it is printed as it is.
        const ConsoleEntry backup(MessageId::NoteBackupSavedWithCounter, {"%3.dat", "00001234,5", "c.txt"});
        QCOMPARE(renderEntry(backup, German),
                 QStringLiteral("Geräteparameter vor dem Flashen gesichert: %3.dat, Zählerstand 00001234,5 in c.txt"));
        const ConsoleEntry advice(MessageId::NotePortNotInGroup, {"uucp", "anna"});
        QCOMPARE(renderEntry(advice, German),
                 QStringLiteral("Keine Berechtigung: Der Benutzer ist nicht in der Gruppe \"uucp\", der das Gerät gehört. "
                                "Abhilfe: sudo usermod -aG uucp anna eingeben, dann ab- und wieder anmelden."));
        QCOMPARE(renderEntry(advice, English),
                 QStringLiteral("Permission denied: the user is not in the group \"uucp\" that owns the device. "
                                "To fix: run sudo usermod -aG uucp anna, then log out and in again."));
    }

    void verdictSaidOnce_data()
    {
        QTest::addColumn<QList<int>>("shown");
        QTest::addColumn<bool>("table");
        QTest::addColumn<bool>("counter");
        QTest::addColumn<MessageId>("said");
        const int table = int(MessageId::TableImplausible);
        const int counter = int(MessageId::CounterImplausible);
        const int opened = int(MessageId::PortOpened);
        QTest::newRow("all plausible, nothing said") << QList<int>{opened} << true << true << MessageId::None;
        QTest::newRow("table") << QList<int>{opened} << false << true << MessageId::TableImplausible;
        QTest::newRow("table and counter") << QList<int>{opened} << false << false << MessageId::TableImplausible;
        QTest::newRow("table, said already") << QList<int>{opened, table} << false << true << MessageId::None;
        QTest::newRow("counter") << QList<int>{opened} << true << false << MessageId::CounterImplausible;
        // The complaint changes with what is wrong now.
        QTest::newRow("counter after table") << QList<int>{table} << true << false << MessageId::CounterImplausible;
        QTest::newRow("plausible after table") << QList<int>{opened, table} << true << true << MessageId::Plausible;
        QTest::newRow("plausible after counter") << QList<int>{counter} << true << true << MessageId::Plausible;
    }

    void verdictSaidOnce()
    {
        QFETCH(QList<int>, shown);
        QFETCH(bool, table);
        QFETCH(bool, counter);
        QFETCH(MessageId, said);
        MessageHistory history;
        for (int id : shown)
            history.append(qint16(id));
        QCOMPARE(verdictMessage(history, table, counter), said);
    }

    void historyKeepsFiveAndRendersAgain()
    {
        MessageHistory history;
        history.replaceWith(MessageId::PortNotOpened);
        history.append({MessageId::NoteBackupSaved, {QStringLiteral("b.dat")}});
        for (qint16 id = 2; id <= 9; ++id)
            history.append(id);
        QCOMPARE(history.count, qint16(5));
        QCOMPARE(history.entries[4].id, MessageId(4));
        QVERIFY(!history.contains(5));
        QCOMPARE(renderEntry(history.entries[1], English), "Device parameters backed up before flashing: b.dat");

        // Starting over forgets the arguments with the messages.
        history.replaceWith(59);
        QCOMPARE(history.count, qint16(1));
        QVERIFY(!history.contains(MessageId::PortNotOpened) && history.contains(59));
        QVERIFY(history.entries[1].arguments.isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestConsole)
#include "tst_console.moc"
