// Renders one Markdown manual to an A4 PDF with Qt's own text engine, so the
// manuals need nothing beyond the Qt the program is built with:
//
//     tavik7-docpdf <input.md> <output.pdf>
//
// The first level-one heading is the document's title: it goes into the PDF's
// properties and into the footer of every page beside the page number.

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QTextStream>

namespace {

constexpr int kResolutionDpi = 300;
constexpr qreal kBodyFontPt = 10.0;
constexpr qreal kFooterFontPt = 8.0;
const QMarginsF kMarginsMm(22, 18, 20, 16);

QFont documentFont(qreal pointSize)
{
    // Liberation Sans is metric-compatible with Arial, the program's own face;
    // fontconfig falls back to any sans-serif face when it is missing.
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}

QString titleOf(const QString &markdown, const QString &fallback)
{
    static const QRegularExpression heading(QStringLiteral("^# +(.+?)\\s*$"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = heading.match(markdown);
    return match.hasMatch() ? match.captured(1) : fallback;
}

// Markdown tables come out with hairline cells packed tight; give them the
// full text width, some air and a shaded header row, as a printed manual has.
void styleTables(QTextFrame *frame)
{
    for (QTextFrame *child : frame->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(child)) {
            QTextTableFormat format = table->format();
            format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
            format.setBorderCollapse(true);
            format.setBorder(1.0);
            format.setBorderBrush(QColor(0x99, 0x99, 0x99));
            format.setCellSpacing(0);
            format.setCellPadding(2.5);
            format.setHeaderRowCount(1);
            format.setTopMargin(3);
            format.setBottomMargin(5);
            table->setFormat(format);
            for (int column = 0; column < table->columns(); ++column) {
                QTextTableCell cell = table->cellAt(0, column);
                QTextCharFormat cellFormat = cell.format();
                cellFormat.setBackground(QColor(0xE8, 0xEE, 0xF5));
                cellFormat.setFontWeight(QFont::Bold);
                cell.setFormat(cellFormat);
            }
        }
        styleTables(child);
    }
}

int fail(const QString &text)
{
    QTextStream(stderr) << "tavik7-docpdf: " << text << '\n';
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv); // text layout needs the font database
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: tavik7-docpdf <input.md> <output.pdf>\n";
        return 2;
    }
    const QString inputPath = args.at(1);
    const QString outputPath = args.at(2);

    QFile input(inputPath);
    if (!input.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(inputPath, input.errorString()));
    const QString markdown = QString::fromUtf8(input.readAll());
    const QString title = titleOf(markdown, QFileInfo(inputPath).completeBaseName());

    // Written under a temporary name and renamed at the end, so a failed run
    // never leaves a half-written PDF that the build would take as up to date.
    const QString partPath = outputPath + QStringLiteral(".part");
    QFile::remove(partPath);
    {
        QPdfWriter writer(partPath);
        writer.setResolution(kResolutionDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, kMarginsMm,
                                         QPageLayout::Millimeter));
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("tavik7-docpdf"));

        QTextDocument document;
        document.documentLayout()->setPaintDevice(&writer);
        document.setDefaultFont(documentFont(kBodyFontPt));
        document.setMarkdown(markdown);
        // Frame and table measures are in points whatever the device.
        styleTables(document.rootFrame());

        const QRectF paintRect(QPointF(0, 0), writer.pageLayout().paintRectPixels(kResolutionDpi).size());
        const QFont footerFont = documentFont(kFooterFontPt);
        const qreal footerHeight = QFontMetricsF(footerFont, &writer).height() * 2.5;
        const QSizeF bodySize(paintRect.width(), paintRect.height() - footerHeight);
        document.setPageSize(bodySize);
        const int pageCount = document.pageCount();

        QPainter painter;
        if (!painter.begin(&writer))
            return fail(QStringLiteral("cannot write %1").arg(partPath));
        for (int page = 0; page < pageCount; ++page) {
            if (page > 0)
                writer.newPage();
            painter.save();
            const QRectF body(QPointF(0, page * bodySize.height()), bodySize);
            painter.translate(0, -body.top());
            painter.setClipRect(body);
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = body;
            document.documentLayout()->draw(&painter, context);
            painter.restore();

            painter.setFont(footerFont);
            painter.setPen(QColor(0x55, 0x55, 0x55));
            const QRectF footer(0, paintRect.height() - footerHeight / 2, paintRect.width(), footerHeight / 2);
            painter.drawText(footer, Qt::AlignLeft | Qt::AlignBottom, title);
            painter.drawText(footer, Qt::AlignRight | Qt::AlignBottom,
                             QStringLiteral("%1 / %2").arg(page + 1).arg(pageCount));
        }
        if (!painter.end())
            return fail(QStringLiteral("cannot finish %1").arg(partPath));
    }

    if (QFileInfo(partPath).size() == 0)
        return fail(QStringLiteral("nothing written to %1").arg(partPath));
    QFile::remove(outputPath);
    if (!QFile::rename(partPath, outputPath))
        return fail(QStringLiteral("cannot rename %1 to %2").arg(partPath, outputPath));
    return 0;
}
