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
    void edits();
};

void TestParameterSheetModel::cells_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("hasText");
    QTest::addColumn<bool>("editable"); // without the service key
    QTest::addColumn<bool>("unlocked"); // with it
    QTest::newRow("unit") << int(FieldUnit) << true << true << true;
    QTest::newRow("check, no label") << int(FieldLeadingPlus) << false << false << false;
    QTest::newRow("serial number") << int(FieldSerialNumber) << true << false << true;
    QTest::newRow("version stays the device's") << int(FieldSoftwareVersion) << true << false << false;
}

void TestParameterSheetModel::cells()
{
    QFETCH(int, field);
    QFETCH(bool, hasText);
    QFETCH(bool, editable);
    QFETCH(bool, unlocked);
    ParameterSheet sheet;
    ParameterSheetModel model(sheet, English);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QModelIndex cell = model.index(field, 1);
    // A widget's cell has no text, and the check box carries its own label.
    QCOMPARE(cell.data(ParameterSheetModel::ImplausibleRole).isValid(), hasText);
    QCOMPARE(model.index(field, 0).data().toString().isEmpty(), field == FieldLeadingPlus);
    QCOMPARE(cell.flags().testFlag(Qt::ItemIsEditable), editable);
    model.toggleServiceLock();
    QCOMPARE(cell.flags().testFlag(Qt::ItemIsEditable), unlocked);
    model.refill(); // locks again
    QCOMPARE(cell.flags().testFlag(Qt::ItemIsEditable), editable);
}

void TestParameterSheetModel::edits()
{
    ParameterSheet sheet;
    ParameterSheetModel model(sheet, German);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QModelIndex unit = model.index(FieldUnit, 1);
    // Cut to the cell's width in the sheet and judged; the same text again
    // is no edit, and a combo's cell takes none.
    QVERIFY(model.setData(unit, QStringLiteral("m 3 too long")) && model.setData(unit, QStringLiteral("m 3")));
    QVERIFY(unit.data(ParameterSheetModel::ImplausibleRole).toBool());
    QVERIFY(!model.setData(model.index(FieldDirection, 1), QStringLiteral("1")));
    QCOMPARE(changed.count(), 1);
}

QTEST_GUILESS_MAIN(TestParameterSheetModel)
#include "tst_parametersheetmodel.moc"
