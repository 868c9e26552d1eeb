#include "historypdf.h"

#include <QBuffer>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextOption>
#include <QtMath>

#include <numeric>

namespace {

constexpr int kResolutionDpi = 300;
constexpr int kFontPointSize = 7;
constexpr int kCellPaddingPx = 8;
// Words wrap at their ends; a hash or a path, which has no spaces, wraps
// anywhere rather than overflowing its cell.
QTextOption cellOption()
{
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

struct Columns
{
    QList<int> left;
    QList<int> width;
};

Columns layColumns(const HistoryTable &table, int pageWidth)
{
    QList<int> weights = table.columnWeights;
    while (weights.size() < table.headers.size())
        weights.append(1);
    const int total = std::accumulate(weights.begin(), weights.end(), 0);
    Columns columns;
    int x = 0;
    for (qsizetype i = 0; i < table.headers.size(); ++i) {
        const int width = pageWidth * weights.at(i) / qMax(1, total);
        columns.left.append(x);
        columns.width.append(width);
        x += width;
    }
    return columns;
}

int rowHeight(QPainter &painter, const Columns &columns, const QStringList &cells)
{
    int height = 0;
    for (qsizetype i = 0; i < cells.size() && i < columns.width.size(); ++i) {
        const QRectF room(0, 0, columns.width.at(i) - 2 * kCellPaddingPx, 1 << 20);
        height = qMax(height, qCeil(painter.boundingRect(room, cells.at(i), cellOption()).height()));
    }
    return height + 2 * kCellPaddingPx;
}

void paintRow(QPainter &painter, const Columns &columns, const QStringList &cells, int top, int height)
{
    for (qsizetype i = 0; i < columns.width.size(); ++i) {
        const QRect cell(columns.left.at(i), top, columns.width.at(i), height);
        painter.drawRect(cell);
        painter.drawText(QRectF(cell.adjusted(kCellPaddingPx, kCellPaddingPx, -kCellPaddingPx, -kCellPaddingPx)),
                         cells.value(i), cellOption());
    }
}

// The title and the header row; returns where the first row goes.
int paintPageHead(QPainter &painter, const HistoryTable &table, const Columns &columns, const QFont &font)
{
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(bold);
    const QRect title = painter.boundingRect(QRect(0, 0, columns.left.isEmpty() ? 1 : columns.left.last() + columns.width.last(), 1 << 20),
                                             Qt::AlignLeft | Qt::AlignTop, table.title);
    painter.drawText(title, Qt::AlignLeft | Qt::AlignTop, table.title);
    const int headerTop = title.height() + 2 * kCellPaddingPx;
    const int headerHeight = rowHeight(painter, columns, table.headers);
    paintRow(painter, columns, table.headers, headerTop, headerHeight);
    painter.setFont(font);
    return headerTop + headerHeight;
}

} // namespace

QByteArray historyPdf(const HistoryTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kResolutionDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12),
                                         QPageLayout::Millimeter));
        writer.setTitle(table.title);
        QPainter painter(&writer);
        if (!painter.isActive())
            return {};
        const QFont font(QStringLiteral("Arial"), kFontPointSize);
        painter.setFont(font);
        const QRect page = writer.pageLayout().paintRectPixels(kResolutionDpi);
        const Columns columns = layColumns(table, page.width() - 1);
        const int firstRowTop = paintPageHead(painter, table, columns, font);
        int y = firstRowTop;
        for (const QStringList &row : table.rows) {
            const int height = rowHeight(painter, columns, row);
            // A row that does not fit goes whole to the next page, below its
            // head; one taller than a page is cut there rather than split.
            if (y + height > page.height() && y > firstRowTop) {
                writer.newPage();
                y = paintPageHead(painter, table, columns, font);
            }
            paintRow(painter, columns, row, y, height);
            y += height;
        }
    }
    return buffer.data();
}
