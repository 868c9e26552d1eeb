// Console lines, the catalogue of their texts and the message history the
// language switch re-renders.

#include <QtTest>

#include "console.h"
#include "texttable.h"

using namespace tavik7;

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void lineFormat();
    void notes_data();
    void notes();
    void historyKeepsFiveAndRendersAgain();
};

void TestConsole::lineFormat()
{
    const QDateTime when(QDate(2014, 3, 7), QTime(14, 5, 9));
    QCOMPARE(consoleLine(when, renderEntry(MessageId::PortOpened, English)),
             QStringLiteral("07.03.2014 14:05:09 : Serial port successfully opened."));
}

void TestConsole::notes_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("german");
    QTest::addColumn<QString>("english");

    // A path may hold a placeholder of its own; it is printed as it is.
    QTest::newRow("history") << int(MessageId::NoteHistoryUnwritable) << QStringList{"/h/%2.csv"}
                             << "Die Änderungshistorie /h/%2.csv kann nicht geschrieben werden; "
                                "das Gerät wurde trotzdem beschrieben."
                             << "The change history /h/%2.csv cannot be written; the device was written all the same.";
    QTest::newRow("backup failed") << int(MessageId::NoteBackupFailed) << QStringList{"b.dat"}
                                   << "Sicherung der Geräteparameter vor dem Flashen fehlgeschlagen: b.dat"
                                   << "Backing up the device's parameters before flashing failed: b.dat";
    QTest::newRow("backup") << int(MessageId::NoteBackupSaved) << QStringList{"b.dat"}
                            << "Geräteparameter vor dem Flashen gesichert: b.dat"
                            << "Device parameters backed up before flashing: b.dat";
    QTest::newRow("backup, counter") << int(MessageId::NoteBackupSavedWithCounter)
                                     << QStringList{"%3.dat", "00001234,5", "c.txt"}
                                     << "Geräteparameter vor dem Flashen gesichert: %3.dat, Zählerstand 00001234,5 in c.txt"
                                     << "Device parameters backed up before flashing: %3.dat, counter status 00001234,5 "
                                        "in c.txt";
    QTest::newRow("offer") << int(MessageId::QuestionLoadBackup) << QStringList()
                           << "Die vor dem Flashen gesicherten Parameter jetzt in die Tabelle laden?"
                           << "Load the parameters backed up before flashing into the table now?";
    QTest::newRow("not in group")
        << int(MessageId::NotePortNotInGroup) << QStringList{"uucp", "anna"}
        << "Keine Berechtigung: Der Benutzer ist nicht in der Gruppe \"uucp\", der das Gerät gehört. "
           "Abhilfe: sudo usermod -aG uucp anna eingeben, dann ab- und wieder anmelden."
        << "Permission denied: the user is not in the group \"uucp\" that owns the device. "
           "To fix: run sudo usermod -aG uucp anna, then log out and in again.";
    QTest::newRow("owner only")
        << int(MessageId::NotePortOwnerOnly) << QStringList{"root", "anna"}
        << "Keine Berechtigung: Das Gerät ist nur für seinen Besitzer freigegeben (Gruppe \"root\" ohne Lese- und "
           "Schreibrecht). Abhilfe: Der Administrator gibt es der Gruppe \"dialout\" frei (udev-Regel), dann sudo "
           "usermod -aG dialout anna eingeben und ab- und wieder anmelden."
        << "Permission denied: only the device's owner may open it (its group \"root\" may not read and write it). "
           "To fix: have the administrator give it to the group \"dialout\" (a udev rule), then run sudo usermod "
           "-aG dialout anna and log out and in again.";
    QTest::newRow("busy") << int(MessageId::NotePortBusy) << QStringList()
                          << "Der Port wird von einem anderen Programm benutzt (Terminal, zweite Instanz dieses "
                             "Programms). Dieses Programm beenden und erneut verbinden."
                          << "Another program holds the port (a terminal, a second instance of this tool). Close it "
                             "and connect again.";
    QTest::newRow("gone") << int(MessageId::NotePortGone) << QStringList()
                          << "Der Port ist nicht mehr vorhanden: Wurde der Adapter abgezogen? Adapter einstecken; die "
                             "Liste folgt von selbst."
                          << "The port is gone: was the adapter unplugged? Plug it in again; the list will follow.";
}

void TestConsole::notes()
{
    QFETCH(int, id);
    QFETCH(QStringList, arguments);
    QFETCH(QString, german);
    QFETCH(QString, english);
    const ConsoleEntry entry(MessageId(id), arguments);
    QCOMPARE(renderEntry(entry, German), german);
    QCOMPARE(renderEntry(entry, English), english);
}

void TestConsole::historyKeepsFiveAndRendersAgain()
{
    MessageHistory history;
    history.replaceWith(MessageId::PortNotOpened);
    history.append({MessageId::NoteBackupSaved, {QStringLiteral("b.dat")}});
    for (qint16 id = 2; id <= 9; ++id)
        history.append(id);
    QCOMPARE(history.count, qint16(5));
    QCOMPARE(history.entries[4].id, MessageId(4));
    QVERIFY(!history.contains(5));

    QCOMPARE(renderEntry(history.entries[0], German), messageText(61, German));
    QCOMPARE(renderEntry(history.entries[1], English),
             QStringLiteral("Device parameters backed up before flashing: b.dat"));

    // Starting over forgets the arguments with the messages.
    history.replaceWith(59);
    QCOMPARE(history.count, qint16(1));
    QVERIFY(!history.contains(MessageId::PortNotOpened) && history.contains(59));
    QVERIFY(history.entries[1].arguments.isEmpty());
}

QTEST_APPLESS_MAIN(TestConsole)
#include "tst_console.moc"
