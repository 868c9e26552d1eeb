// The line that says why a port did not open and what to do about it.

#include <QtTest>

#include "portdiagnosis.h"
#include "texttable.h"

using namespace tavik7;

class TestPortDiagnosis : public QObject
{
    Q_OBJECT

private slots:
    void classification();
    void hint_data();
    void hint();
};

void TestPortDiagnosis::classification()
{
    using E = PortOpenError;
    using F = PortOpenFailure;
    QCOMPARE(classifyPortOpenFailure(E::Permission, false, HostSystem::Linux), F::PermissionDenied);
    QCOMPARE(classifyPortOpenFailure(E::Permission, true, HostSystem::Linux), F::Busy);
    QCOMPARE(classifyPortOpenFailure(E::Permission, false, HostSystem::Windows), F::Busy);
    QCOMPARE(classifyPortOpenFailure(E::NotFound, false, HostSystem::Linux), F::NotFound);
    QCOMPARE(classifyPortOpenFailure(E::Other, true, HostSystem::Windows), F::Other);
}

void TestPortDiagnosis::hint_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<int>("system");
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("groupGrantsAccess");
    QTest::addColumn<int>("note");
    QTest::addColumn<QStringList>("arguments");

    const int onLinux = int(HostSystem::Linux);
    const int onWindows = int(HostSystem::Windows);
    const int denied = int(PortOpenFailure::PermissionDenied);
    QTest::newRow("linux, denied, group uucp")
        << denied << onLinux << "uucp" << true << int(MessageId::NotePortNotInGroup) << QStringList{"uucp", "anna"};
    QTest::newRow("linux, denied, group unreadable falls back to dialout")
        << denied << onLinux << "" << true << int(MessageId::NotePortNotInGroup) << QStringList{"dialout", "anna"};
    // crw------- root root: joining "root" would not help (and must never be advised).
    QTest::newRow("linux, denied, group may not open it")
        << denied << onLinux << "root" << false << int(MessageId::NotePortOwnerOnly) << QStringList{"root", "anna"};
    QTest::newRow("windows, denied means busy")
        << denied << onWindows << "" << true << int(MessageId::NotePortBusy) << QStringList();
    QTest::newRow("busy") << int(PortOpenFailure::Busy) << onLinux << "" << true << int(MessageId::NotePortBusy)
                          << QStringList();
    QTest::newRow("gone") << int(PortOpenFailure::NotFound) << onWindows << "" << true
                          << int(MessageId::NotePortGone) << QStringList();
    QTest::newRow("other") << int(PortOpenFailure::Other) << onLinux << "" << true << int(MessageId::None)
                           << QStringList();
}

void TestPortDiagnosis::hint()
{
    QFETCH(int, failure);
    QFETCH(int, system);
    QFETCH(QString, group);
    QFETCH(bool, groupGrantsAccess);

    // The texts themselves are the message catalogue's.
    const PortOpenContext context{HostSystem(system), group, QStringLiteral("anna"), groupGrantsAccess};
    const ConsoleEntry entry = portOpenFailureNote(PortOpenFailure(failure), context);
    QTEST(int(entry.id), "note");
    QTEST(entry.arguments, "arguments");
    const QString hint = portOpenFailureHint(PortOpenFailure(failure), context, English);
    QCOMPARE(hint, entry.id == MessageId::None ? QString() : renderEntry(entry, English));
    QVERIFY(!hint.contains(QLatin1Char('\n')));
}

QTEST_GUILESS_MAIN(TestPortDiagnosis)
#include "tst_portdiagnosis.moc"
