// The device book's keeper against the simulated device: one event per
// device action with its changes and its result, in the book by the time
// the front end that told the keeper goes on to report the action.

#include <QtTest>

#include <QTemporaryDir>

#include "devicebook.h"
#include "devicebookkeeper.h"
#include "devicelink.h"
#include "devsim.h"

using namespace tavik7;
using namespace tavik7::book;

class TestBookKeeper : public QObject
{
    Q_OBJECT

private slots:
    void eachActionIsOneEventBeforeItIsReported();
};

void TestBookKeeper::eachActionIsOneEventBeforeItIsReported()
{
    DevSim sim;
    QVERIFY(sim.start());
    QTemporaryDir dir;
    qputenv("APPDATA", QFile::encodeName(dir.path())); // no change history of the user's own
    const QString path = dir.filePath(QStringLiteral("book.sqlite"));
    DeviceLink link;
    // Long enough for an answer at 1200 baud, short for the silent device's.
    link.setTimeouts({2000, 1000});
    DeviceBookKeeper keeper(&link, FrontEnd::Window, new DirectBookWriter(path, QString(), FrontEnd::Window));
    QSignalSpy notices(&keeper, &DeviceBookKeeper::bookNotice);
    QVERIFY(link.open({sim.portPath()}));
    // The front end's handler, connected after the keeper: what it finds in
    // the book is what it may report.
    DeviceBook reader;
    QVERIFY(reader.open(path).recorded);
    QList<BookEvent> seen;
    const auto act = [&](DeviceReply *reply) {
        if (!reply)
            return false;
        QSignalSpy finished(reply, &DeviceReply::finished);
        connect(reply, &DeviceReply::finished, &keeper, [&, reply] {
            keeper.recordReply(reply);
            seen = reader.history(QStringLiteral("123456789"));
        });
        return finished.wait();
    };

    QVERIFY(act(link.read()));
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.last().action, BookAction::Read);
    QCOMPARE(seen.last().counter, QStringLiteral("012345678"));

    // A read that only prepares another action names the device, no more.
    QVERIFY(act(link.read(DeviceReply::Purpose::Verify)));
    QCOMPARE(seen.size(), 1);

    ParameterRecord turned = *link.memory()->record();
    turned.direction = 1;
    QVERIFY(act(link.write(turned)));
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.last().action, BookAction::Write);
    const QList<BookChange> written = {{"direction", "0", "1"}, {"counter", "012345678", "012345678"}};
    QCOMPARE(seen.last().changes, written);

    QVERIFY(act(link.writeCounter("000000042")));
    QCOMPARE(seen.size(), 3);
    QCOMPARE(seen.last().action, BookAction::SetCounter);
    QCOMPARE(seen.last().changes, (QList<BookChange>{{"counter", "012345678", "000000042"}}));

    // Refused ("Fehler!"): the device holds what it held, and so does the event.
    keeper.recorder().setTechnician(QStringLiteral("Ann Example"));
    keeper.recorder().setReason(QStringLiteral("back to forward"));
    ParameterRecord back = *link.memory()->record();
    back.direction = 0;
    QVERIFY(sim.control("fault-once error=SP"));
    QVERIFY(act(link.write(back)));
    QCOMPARE(seen.size(), 4);
    QVERIFY(seen.last().status != QLatin1String(kStatusOk));
    QCOMPARE(seen.last().changes, QList<BookChange>());
    QCOMPARE(seen.last().technician + '|' + seen.last().reason, QStringLiteral("Ann Example|back to forward"));

    // Silent now: the failure is the device's as last read on the port.
    QVERIFY(sim.control("fault silent=LP"));
    QVERIFY(act(link.read()));
    QCOMPARE(seen.size(), 5);
    QCOMPARE(seen.last().reason, QString()); // a read changes nothing
    QCOMPARE(seen.last().action, BookAction::Read);
    QCOMPARE(seen.last().status, QStringLiteral("noAnswer"));
    for (const BookEvent &event : seen) {
        QCOMPARE(event.frontEnd, FrontEnd::Window);
        QCOMPARE(event.port, sim.portPath());
    }
    QCOMPARE(notices.count(), 0);
}

QTEST_GUILESS_MAIN(TestBookKeeper)
#include "tst_bookkeeper.moc"
