// The lazy combo box must look and act as QComboBox does once its list is
// open, whatever font and style changes came before; only the moment the list
// is built differs.
#include <QAbstractItemView>
#include <QStyleFactory>
#include <QtTest>

#include "lazylistcombobox.h"

namespace {

constexpr char kPageSheet[] = "QComboBox { font-family: arial; font-size: 10pt; color: #333F48;"
                              " border-width: 1px; border-color: #D4D4D4; border-style: solid; }"
                              "QLabel { font-size: 12pt; }";

enum Change { FontBefore = 1, SheetOnPage = 2, OwnSheet = 4, FontAfterShow = 8 };

void prepare(QComboBox *combo, int changes)
{
    combo->setGeometry(10, 10, 160, 24);
    combo->addItems({QStringLiteral("0: 2400 Bps"), QStringLiteral("1: 4800 Bps"), QStringLiteral("2: 9600 Bps")});
    if (changes & FontBefore) {
        QFont font = combo->font();
        font.setPointSize(13);
        combo->setFont(font);
    }
    if (changes & OwnSheet)
        combo->setStyleSheet(QStringLiteral("font: 11pt;"));
}

QImage openList(QComboBox *combo)
{
    combo->showPopup();
    QAbstractItemView *list = combo->view();
    if (!QTest::qWaitForWindowExposed(list->window()))
        return {};
    const QImage image = list->window()->grab().toImage();
    combo->hidePopup();
    return image;
}

} // namespace

class TestLazyListComboBox : public QObject
{
    Q_OBJECT

private slots:
    void listIsBuiltWhenFirstOpened();
    void openListMatchesQComboBox_data();
    void openListMatchesQComboBox();
};

void TestLazyListComboBox::listIsBuiltWhenFirstOpened()
{
    QWidget page;
    page.resize(200, 60);
    auto *combo = new LazyListComboBox(&page);
    prepare(combo, FontBefore | OwnSheet);
    page.setStyleSheet(QString::fromLatin1(kPageSheet));
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QVERIFY(!combo->hasList());

    // Keys change the choice without the list.
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentIndex(), 1);
    QVERIFY(!combo->hasList());

    combo->showPopup();
    QVERIFY(combo->hasList());
    QTRY_VERIFY(combo->view()->isVisible());
    QTest::keyClick(combo->view(), Qt::Key_Down);
    QTest::keyClick(combo->view(), Qt::Key_Return);
    QTRY_VERIFY(!combo->view()->isVisible());
    QCOMPARE(combo->currentIndex(), 2);
}

void TestLazyListComboBox::openListMatchesQComboBox_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("changes");
    // Fusion draws the list's items as menu entries in the combo box's font,
    // the Windows style as list entries in the list's own font.
    for (const char *style : {"Fusion", "Windows"}) {
        const QByteArray name(style);
        QTest::newRow(name + ", plain") << QString::fromLatin1(style) << 0;
        QTest::newRow(name + ", font set") << QString::fromLatin1(style) << int(FontBefore);
        QTest::newRow(name + ", page style sheet") << QString::fromLatin1(style) << int(SheetOnPage);
        QTest::newRow(name + ", font and page style sheet") << QString::fromLatin1(style) << (FontBefore | SheetOnPage);
        QTest::newRow(name + ", own style sheet under the page's") << QString::fromLatin1(style) << (SheetOnPage | OwnSheet);
        QTest::newRow(name + ", font changed once shown") << QString::fromLatin1(style) << (FontBefore | FontAfterShow);
    }
}

void TestLazyListComboBox::openListMatchesQComboBox()
{
    QFETCH(QString, style);
    QFETCH(int, changes);
    // Made before the page: the page uses it up to its own end.
    QScopedPointer<QStyle> pageStyle(QStyleFactory::create(style));
    QVERIFY(pageStyle);
    QWidget page;
    page.setStyle(pageStyle.data());
    page.resize(400, 60);
    auto *plain = new QComboBox(&page);
    auto *lazy = new LazyListComboBox(&page);
    prepare(plain, changes);
    prepare(lazy, changes);
    if (changes & SheetOnPage)
        page.setStyleSheet(QString::fromLatin1(kPageSheet));
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    if (changes & FontAfterShow) {
        QFont font = page.font();
        font.setPointSize(15);
        page.setFont(font);
    }

    // The Windows style under a style sheet draws no current text in a
    // QComboBox whose list was built before the sheet arrived; the lazy box
    // shows it. Only their lists are compared there.
    if (style != QLatin1String("Windows") || !(changes & SheetOnPage))
        QCOMPARE(lazy->grab().toImage(), plain->grab().toImage());
    const QImage plainList = openList(plain);
    const QImage lazyList = openList(lazy);
    QVERIFY(!plainList.isNull());
    QCOMPARE(lazyList.size(), plainList.size());
    QCOMPARE(lazyList, plainList);
    QCOMPARE(lazy->itemDelegate()->metaObject()->className(), plain->itemDelegate()->metaObject()->className());
}

QTEST_MAIN(TestLazyListComboBox)
#include "tst_lazylistcombobox.moc"
