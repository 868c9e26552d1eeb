#include <QtTest>

#include "texttable.h"

using namespace tavik7;

static QString u(const char *utf8) { return QString::fromUtf8(utf8); }

class TestTextTable : public QObject
{
    Q_OBJECT

private slots:
    void wholeTableScan()
    {
        // Anything beyond printable ASCII, LF and the German letters is a slipped
        // escape or stray UTF-8; an unexpected empty entry is a lost text.
        const QByteArray umlauts("\344\366\374\304\326\334\337");
        const auto allowed = [&](uchar c) { return (c >= 0x20 && c < 0x7F) || c == '\n' || umlauts.contains(char(c)); };
        QList<int> empty;
        for (int id = 0; id < kTextCount; ++id) {
            const char *raw[2] = {rawText(id, German), rawText(id, English)};
            QVERIFY2(raw[German] && (raw[English] || id == 131), qPrintable(QString::number(id)));
            for (const char *entry : raw)
                for (const char *p = entry; p && *p; ++p)
                    QVERIFY2(allowed(uchar(*p)), qPrintable(QString::number(id)));
            QCOMPARE(!*raw[German], raw[English] && !*raw[English]);
            if (!*raw[German])
                empty.append(id);
        }
        QCOMPARE(empty, (QList<int>{79, 82, 85, 91}));

        for (int m = 0; m < kMessageCount; ++m) {
            const bool space = messageText(m, German) == u(" ") && messageText(m, English) == u(" ");
            const bool expected = m == 0 || (m >= 15 && m <= 50) || (m >= 76 && m <= 97);
            QVERIFY2(space == expected, qPrintable(QStringLiteral("MessageId %1").arg(m)));
        }
    }

    void bytesAndRanges()
    {
        // An umlaut typed as UTF-8 into the table would add a byte here.
        QCOMPARE(QByteArray(rawText(14, German)), QByteArray("Z\344hlwerksstand setzen"));
        QCOMPARE(QByteArray(rawText(195, German)), QByteArray("Keine g\374ltige Firmware-Datei ausgew\344hlt."));
        QVERIFY(text(131, English).isEmpty());
        QVERIFY(bilingualLabel(-1).isEmpty() && bilingualLabel(kBilingualLabelCount).isEmpty());
        QVERIFY(!rawText(-1, German) && !rawText(kTextCount, German) && !rawText(0, 2));
        // Message -1 would otherwise land on the last bilingual entry.
        QVERIFY(messageText(-1, German).isEmpty());
        QCOMPARE(messageText(kMessageCount - 1, German), text(kTextCount - 1, German));
    }
};

QTEST_APPLESS_MAIN(TestTextTable)

#include "tst_texttable.moc"
