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
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("mustContain");
    QTest::addColumn<bool>("groupGrantsAccess");

    const int onLinux = int(HostSystem::Linux);
    const int onWindows = int(HostSystem::Windows);
    const int denied = int(PortOpenFailure::PermissionDenied);
    QTest::newRow("linux, denied, group uucp")
        << denied << onLinux << "uucp" << int(English)
        << QStringList{"\"uucp\"", "sudo usermod -aG uucp anna", "log out"} << true;
    QTest::newRow("linux, denied, German")
        << denied << onLinux << "dialout" << int(German)
        << QStringList{"Gruppe \"dialout\"", "sudo usermod -aG dialout anna", "anmelden"} << true;
    QTest::newRow("linux, denied, group unreadable falls back to dialout")
        << denied << onLinux << "" << int(English) << QStringList{"sudo usermod -aG dialout anna"} << true;
    // crw------- root root: joining "root" would not help (and must never be advised).
    QTest::newRow("linux, denied, group may not open it")
        << denied << onLinux << "root" << int(English)
        << QStringList{"only the device's owner", "\"root\"", "administrator", "sudo usermod -aG dialout anna"} << false;
    QTest::newRow("windows, denied means busy")
        << denied << onWindows << "" << int(English) << QStringList{"Another program holds the port"} << true;
    QTest::newRow("busy") << int(PortOpenFailure::Busy) << onLinux << "" << int(German)
                          << QStringList{"anderen Programm"} << true;
    QTest::newRow("gone") << int(PortOpenFailure::NotFound) << onWindows << "" << int(English)
                          << QStringList{"unplugged", "list will follow"} << true;
}

void TestPortDiagnosis::hint()
{
    QFETCH(int, failure);
    QFETCH(int, system);
    QFETCH(QString, group);
    QFETCH(int, language);
    QFETCH(QStringList, mustContain);
    QFETCH(bool, groupGrantsAccess);

    const PortOpenContext context{HostSystem(system), group, QStringLiteral("anna"), groupGrantsAccess};
    const QString hint = portOpenFailureHint(PortOpenFailure(failure), context, language);
    for (const QString &part : mustContain)
        QVERIFY2(hint.contains(part), qPrintable(hint));
    QVERIFY(!hint.contains(QLatin1Char('\n')));
    if (!groupGrantsAccess)
        QVERIFY2(!hint.contains(QStringLiteral("-aG ") + group), qPrintable(hint));
    QVERIFY(portOpenFailureHint(PortOpenFailure::Other, context, language).isEmpty());
}

QTEST_GUILESS_MAIN(TestPortDiagnosis)
#include "tst_portdiagnosis.moc"
