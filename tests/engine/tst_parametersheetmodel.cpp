// The parameter table's model: which cells open to an edit, with and without
// the service key, and that only a real edit asks the front end to judge.

#include <QAbstractItemModelTester>
#include <QtTest>

#include "parametersheetmodel.h"

using namespace tavik7;

class TestParameterSheetModel : public QObject
{
    Q_OBJECT

private slots:
    void cells_data();
    void cells();
    void editsAndRefills();
};

void TestParameterSheetModel::cells_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("hasText");
    QTest::addColumn<bool>("locked");   // editable only after the service key
    QTest::addColumn<bool>("editable"); // without it
    QTest::newRow("unit") << int(FieldUnit) << true << false << true;
    QTest::newRow("significance is a combo") << int(FieldSignificance) << false << false << false;
    QTest::newRow("leading plus is a check") << int(FieldLeadingPlus) << false << false << false;
    QTest::newRow("serial number") << int(FieldSerialNumber) << true << true << false;
    QTest::newRow("year") << int(FieldYear) << true << true << false;
    QTest::newRow("version stays the device's") << int(FieldSoftwareVersion) << true << false << false;
    QTest::newRow("checksum too") << int(FieldSoftwareCrc) << true << false << false;
}

void TestParameterSheetModel::cells()
{
    QFETCH(int, field);
    QFETCH(bool, hasText);
    QFETCH(bool, locked);
    QFETCH(bool, editable);
    ParameterSheet sheet;
    ParameterSheetModel model(sheet, English);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QModelIndex cell = model.index(field, 1);
    QCOMPARE(cell.data().isValid(), hasText);
    QCOMPARE(cell.data(ParameterSheetModel::ImplausibleRole).isValid(), hasText);
    QCOMPARE(model.index(field, 0).data().toString().isEmpty(), field == FieldLeadingPlus);
    QVERIFY(!model.index(field, 0).flags().testFlag(Qt::ItemIsEditable));
    QCOMPARE(cell.flags().testFlag(Qt::ItemIsEditable), editable);
    model.toggleServiceLock();
    QCOMPARE(cell.flags().testFlag(Qt::ItemIsEditable), editable || locked);
    model.refill();
    QCOMPARE(cell.flags().testFlag(Qt::ItemIsEditable), editable);
}

void TestParameterSheetModel::editsAndRefills()
{
    ParameterSheet sheet;
    ParameterSheetModel model(sheet, German);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QModelIndex unit = model.index(FieldUnit, 1);
    // Cut to the cell's width in the sheet, judged, and shown as kept.
    QVERIFY(model.setData(unit, QStringLiteral("m 3 too long")));
    QCOMPARE(unit.data().toString(), sheet.cellText(FieldUnit));
    QVERIFY(unit.data(ParameterSheetModel::ImplausibleRole).toBool());
    QCOMPARE(changed.count(), 1);
    // The same text again is no edit; a combo's cell takes none.
    QVERIFY(model.setData(unit, sheet.cellText(FieldUnit)));
    QVERIFY(!model.setData(model.index(FieldDirection, 1), QStringLiteral("1")));
    QCOMPARE(changed.count(), 1);
    model.refill();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.last().at(0).toModelIndex().row(), 0);
    model.setTips({{FieldUnit, QStringLiteral("In the device: m3")}});
    QCOMPARE(changed.count(), 2);
    QCOMPARE(unit.data(Qt::ToolTipRole).toString(), QStringLiteral("In the device: m3"));
    model.setTips({});
    QVERIFY(unit.data(Qt::ToolTipRole).isNull());
}

QTEST_GUILESS_MAIN(TestParameterSheetModel)
#include "tst_parametersheetmodel.moc"
