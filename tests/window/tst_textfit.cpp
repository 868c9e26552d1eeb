// Every text of the window fits the widget that shows it, in both languages.
// The form places every widget at a fixed position and size, so a text wider
// than its widget is clipped, not moved: the Interface tab once lost the colon
// of "Flussteuerung:". The style sheet asks for Arial; on Linux fontconfig
// stands in a metric-compatible face (Liberation Sans, package
// fonts-liberation), and the measurements below only mean something when the
// offscreen platform resolves fonts the same way an X session does.

#include <QtTest>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextDocument>

#include <cmath>

#include "tavik7_bediensoftware.h"
#include "windowaccess.h"

namespace {

// Faces that share Arial's advance widths, so the design's pixel sizes hold.
const QStringList kArialMetricFaces{QStringLiteral("Arial"), QStringLiteral("Liberation Sans")};

// Every text that does not fit, with what it needs and what it has.
struct FitCheck
{
    void require(const QString &where, const QString &text, QSize needed, QSize available)
    {
        if (needed.width() > available.width() || needed.height() > available.height())
            misfits.append(QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6")
                               .arg(where, QString(text).replace(QLatin1Char('\n'), QLatin1String("\\n")))
                               .arg(needed.width())
                               .arg(needed.height())
                               .arg(available.width())
                               .arg(available.height()));
    }
    QStringList misfits;
};

// The size the text takes in font, line by line, or as rich text the way a
// label lays it out (no document margin).
QSize textSize(const QString &text, const QFont &font, bool rich)
{
    if (rich) {
        QTextDocument document;
        document.setDefaultFont(font);
        document.setDocumentMargin(0);
        document.setHtml(text);
        return QSize(int(std::ceil(document.idealWidth())), int(std::ceil(document.size().height())));
    }
    const QFontMetrics metrics(font);
    const QStringList lines = text.split(QLatin1Char('\n'));
    int width = 0;
    for (const QString &line : lines)
        width = qMax(width, metrics.horizontalAdvance(line));
    return QSize(width, metrics.height() + int(lines.size() - 1) * metrics.lineSpacing());
}

// What a single line needs in height where the clip falls: its ink, centred
// by its line box. A 22 pt line box is taller than a 31 px label, yet the
// digits drawn in it are not cut.
int centredInkHeight(const QString &line, const QFont &font)
{
    const QFontMetrics metrics(font);
    const QRect ink = metrics.tightBoundingRect(line);
    const int centre = metrics.height() / 2;
    const int above = centre - (metrics.ascent() + ink.top());
    const int below = metrics.ascent() + ink.bottom() + 1 - centre;
    return 2 * qMax(above, below);
}

void checkLabel(FitCheck &check, QLabel *label)
{
    if (label->text().isEmpty() || label->hasScaledContents())
        return;
    const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                      -label->margin());
    const QString text = label->text();
    const bool rich = label->textFormat() == Qt::RichText
        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    QSize needed = textSize(text, label->font(), rich);
    if (label->wordWrap() && !rich) {
        needed = QFontMetrics(label->font()).boundingRect(QRect(0, 0, room.width(), 10000), Qt::TextWordWrap, text).size();
    } else if (!rich && !text.contains(QLatin1Char('\n')) && (label->alignment() & Qt::AlignVCenter)) {
        needed.setHeight(centredInkHeight(text, label->font()));
    }
    check.require(label->objectName(), text, needed, room.size());
}

void checkButton(FitCheck &check, QAbstractButton *button)
{
    if (button->text().isEmpty())
        return;
    // In width the style's own measure: borders and padding of a push button,
    // indicator and spacing of a check box. In height the line of text, which
    // the style centres; a check box's hint adds margins it does not need.
    const QSize needed(button->sizeHint().width(), QFontMetrics(button->font()).height());
    check.require(button->objectName(), button->text(), needed, button->size());
}

void checkComboItems(FitCheck &check, QComboBox *combo)
{
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.subControls = QStyle::SC_All;
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    for (int i = 0; i < combo->count(); ++i) {
        const QString item = combo->itemText(i);
        check.require(combo->objectName() + QStringLiteral("[%1]").arg(i), item, textSize(item, combo->font(), false),
                      field.size());
    }
}

// A line edit scrolls instead of clipping, which for a counter entry hides
// leading digits: the longest reading, nine digits and a comma, must show whole.
void checkCounterEntry(FitCheck &check, QLineEdit *edit)
{
    const QString longest = QStringLiteral("000000,000");
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QRect contents =
        edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).marginsRemoved(edit->textMargins());
    constexpr int kLineEditMarginPx = 2; // QLineEdit keeps this much clear on each side of its text
    const QSize needed = textSize(longest, edit->font(), false) + QSize(2 * kLineEditMarginPx, 0);
    check.require(edit->objectName(), longest, needed, contents.size());
}

void checkTableTexts(FitCheck &check, QTableView *view)
{
    const QAbstractItemModel *model = view->model();
    // The item delegate keeps a focus-frame margin on both sides of the text.
    const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    QHeaderView *header = view->horizontalHeader();
    for (int column = 0; column < model->columnCount(); ++column) {
        const QString title = model->headerData(column, Qt::Horizontal).toString();
        const QSize needed = textSize(title, header->font(), false) + QSize(margin, 0);
        check.require(QStringLiteral("%1 header %2").arg(view->objectName()).arg(column), title, needed,
                      QSize(header->sectionSize(column), header->height()));
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString text = model->index(row, column).data().toString();
            if (text.isEmpty() || view->indexWidget(model->index(row, column)))
                continue;
            check.require(QStringLiteral("%1 cell %2,%3").arg(view->objectName()).arg(row).arg(column), text,
                          textSize(text, view->font(), false) + QSize(margin, 0),
                          QSize(view->columnWidth(column), view->rowHeight(row)));
        }
    }
}

} // namespace

class TestTextFit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void textsFitTheirWidgets_data();
    void textsFitTheirWidgets();

private:
    QTemporaryDir appData;
};

void TestTextFit::initTestCase()
{
    registerTavik7Resources();
    QVERIFY(appData.isValid());
    qputenv("APPDATA", QFile::encodeName(appData.path()));
    qputenv("TAVIK7_EXTRA_PORTS", QByteArray());
}

void TestTextFit::textsFitTheirWidgets_data()
{
    QTest::addColumn<QString>("languageAction");
    QTest::newRow("German") << QStringLiteral("actionGerman");
    QTest::newRow("English") << QStringLiteral("actionEnglish");
}

void TestTextFit::textsFitTheirWidgets()
{
    QFETCH(QString, languageAction);
    TAVIK7_Bediensoftware window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The other language first, so the texts measured are those the switch writes.
    const char *other = languageAction == QLatin1String("actionGerman") ? "actionEnglish" : "actionGerman";
    child<QAction>(window, other)->trigger();
    child<QAction>(window, languageAction.toLatin1().constData())->trigger();

    // The widest texts that a device's answer can put in place: the
    // significance whose multiplier reads "x 100", and a three-letter unit.
    child<QComboBox>(window, "comboBoxSignificance")->setCurrentIndex(5);
    tableModel(window)->item(tavik7::FieldUnit, 1)->setText(QStringLiteral("MWh"));

    auto *tabs = child<QTabWidget>(window, "tabWidget");
    FitCheck check;
    // The style sheet's tab rule draws in Arial 9 pt, bold for the selected
    // tab, and any tab can be the selected one. The bar's own font is not it.
    const QFont tabFont(QStringLiteral("Arial"), 9, QFont::Bold);
    for (int tab = 0; tab < tabs->count(); ++tab) {
        // Pages are polished, and so get their style sheet fonts, when shown.
        tabs->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        check.require(QStringLiteral("tab %1").arg(tab), tabs->tabText(tab), textSize(tabs->tabText(tab), tabFont, false),
                      tabs->tabBar()->tabRect(tab).size());
    }
    for (QWidget *widget : window.findChildren<QWidget *>()) {
        widget->ensurePolished();
        if (auto *label = qobject_cast<QLabel *>(widget))
            checkLabel(check, label);
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            checkButton(check, button);
        else if (auto *combo = qobject_cast<QComboBox *>(widget))
            checkComboItems(check, combo);
        else if (auto *group = qobject_cast<QGroupBox *>(widget))
            check.require(group->objectName(), group->title(), textSize(group->title(), group->font(), false),
                          group->contentsRect().size());
    }
    for (const char *entry : {"lineEditCounter", "lineEditCounter2"})
        checkCounterEntry(check, child<QLineEdit>(window, entry));
    checkTableTexts(check, child<QTableView>(window, "tableViewSettings"));

    // Without a face that stands in for Arial every measurement above was
    // taken in a font no technician's screen shows (Debian: fonts-liberation).
    // The table's cells too: the style sheet leaves them to the platform's default face.
    for (const char *name : {"labelFlowcontrol", "labelActCounterstatus", "pushButtonConnect", "checkBoxNamurLogging",
                             "tableViewSettings"}) {
        const QFont font = child<QWidget>(window, name)->font();
        QVERIFY2(kArialMetricFaces.contains(QFontInfo(font).family()),
                 qPrintable(QStringLiteral("%1 gets \"%2\"").arg(QLatin1String(name), QFontInfo(font).family())));
    }
    QVERIFY2(check.misfits.isEmpty(), qPrintable(check.misfits.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestTextFit)
#include "tst_textfit.moc"
