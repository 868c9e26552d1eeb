// Every message the program can show has a German and an English text: the
// ids are read from the header that numbers them, so a new id without its
// texts fails here rather than showing an empty console line.

#include <QtTest>

#include <QRegularExpression>

#include "messagecatalogue.h"
#include "readfile.h"
#include "texttable.h"

using namespace tavik7;

class TestMessageCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void everyIdHasBothLanguages();
};

void TestMessageCatalogue::everyIdHasBothLanguages()
{
    // A header that cannot be read yields no ids and fails below.
    const QString source = QString::fromUtf8(readFile(QStringLiteral(TAVIK7_MESSAGEID_H)));
    static const QRegularExpression entry(QStringLiteral(R"(^\s*(\w+)\s*=\s*(\d+)\s*,)"),
                                          QRegularExpression::MultilineOption);
    int ids = 0;
    for (const QRegularExpressionMatch &m : entry.globalMatch(source)) {
        const QString name = m.captured(1);
        const auto id = MessageId(m.captured(2).toShort());
        if (name == QLatin1String("None") || name.endsWith(QLatin1String("First")))
            continue;
        ++ids;
        QVERIFY2(!catalogueText(id, German).trimmed().isEmpty(), qPrintable(name + QStringLiteral(": German")));
        QVERIFY2(!catalogueText(id, English).trimmed().isEmpty(), qPrintable(name + QStringLiteral(": English")));
    }
    // The header was read, not an empty file or another layout.
    QVERIFY(ids > 40);
}

QTEST_APPLESS_MAIN(TestMessageCatalogue)
#include "tst_messagecatalogue.moc"
