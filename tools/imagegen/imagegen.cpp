// Draws the program's icons and the report banner into a folder, and with a
// second folder the application icon in the sizes of a desktop icon theme:
//
//     tavik7-imagegen <output folder> [<icon theme folder>]
//     tavik7-imagegen resources/Images packaging/icons/hicolor
//
// The results are committed under resources/Images and packaging/icons; this
// tool only has to be run again when a picture changes. Everything is drawn
// from paths, not text, so the output does not depend on the fonts installed
// on the build machine.

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QTextStream>

#include <array>

namespace {

constexpr QRgb kDarkBlue = 0xFF255B95;
constexpr QRgb kMidBlue = 0xFF507BAA;
constexpr QRgb kLightBlue = 0xFF96B0CC;
constexpr QRgb kDarkGrey = 0xFF333F48;
constexpr QRgb kGrey17 = 0xFFD4D4D4;

// Small icons are painted at this multiple of their final size and then
// scaled down: antialiasing alone leaves thin strokes blotchy at 16-48 px.
constexpr int kOversample = 8;

QImage makeCanvas(int size)
{
    QImage image(size * kOversample, size * kOversample, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage shrink(const QImage &canvas, int size)
{
    return canvas.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32);
}

void beginPainter(QPainter &p, int size)
{
    p.setRenderHint(QPainter::Antialiasing);
    // Draw in a 48-unit coordinate system whatever the output size is.
    p.scale(size * kOversample / 48.0, size * kOversample / 48.0);
}

// A thick stroke in two passes: a dark rim first, then the lighter body on
// top, which reads well on both light and dark backgrounds.
void rimmedStroke(QPainter &p, const QPainterPath &path, qreal width, QColor rim,
                  const QColor &top, const QColor &bottom)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(rim, width + 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);

    QLinearGradient body(0, 8, 0, 40);
    body.setColorAt(0.0, top);
    body.setColorAt(1.0, bottom);
    p.setPen(QPen(QBrush(body), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

QImage drawCheckMark()
{
    constexpr int size = 48;
    QImage canvas = makeCanvas(size);
    QPainter p(&canvas);
    beginPainter(p, size);

    QPainterPath tick;
    tick.moveTo(9.5, 25.5);
    tick.lineTo(19.5, 35.5);
    tick.lineTo(38.5, 12.5);
    rimmedStroke(p, tick, 7.0, QColor(0x1E, 0x6B, 0x22), QColor(0x7C, 0xD3, 0x5A),
                 QColor(0x3A, 0x9E, 0x2F));
    p.end();
    return shrink(canvas, size);
}

QImage drawCross()
{
    constexpr int size = 48;
    QImage canvas = makeCanvas(size);
    QPainter p(&canvas);
    beginPainter(p, size);

    QPainterPath cross;
    cross.moveTo(12, 12);
    cross.lineTo(36, 36);
    cross.moveTo(36, 12);
    cross.lineTo(12, 36);
    rimmedStroke(p, cross, 7.0, QColor(0x8E, 0x12, 0x12), QColor(0xF2, 0x6B, 0x5E),
                 QColor(0xCC, 0x22, 0x1B));
    p.end();
    return shrink(canvas, size);
}

QImage drawRightArrow()
{
    constexpr int size = 48;
    QImage canvas = makeCanvas(size);
    QPainter p(&canvas);
    beginPainter(p, size);

    QPainterPath arrow;
    arrow.moveTo(6, 18);
    arrow.lineTo(24, 18);
    arrow.lineTo(24, 8);
    arrow.lineTo(42, 24);
    arrow.lineTo(24, 40);
    arrow.lineTo(24, 30);
    arrow.lineTo(6, 30);
    arrow.closeSubpath();

    QLinearGradient body(0, 8, 0, 40);
    body.setColorAt(0.0, QColor(kLightBlue));
    body.setColorAt(0.45, QColor(kMidBlue));
    body.setColorAt(1.0, QColor(kDarkBlue));
    p.setBrush(body);
    p.setPen(QPen(QColor(0x17, 0x3B, 0x63), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(arrow);
    p.end();
    return shrink(canvas, size);
}

// Seven-segment digit inside the unit square; segments a..g clockwise from
// the top, g in the middle.
void drawDigit(QPainter &p, const QRectF &cell, int digit)
{
    static constexpr std::array<quint8, 10> kSegments = {
        0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const qreal l = cell.left(), r = cell.right(), t = cell.top(), b = cell.bottom();
    const qreal m = (t + b) / 2.0;
    const std::array<QLineF, 7> segment = {
        QLineF(l, t, r, t), QLineF(r, t, r, m), QLineF(r, m, r, b), QLineF(l, b, r, b),
        QLineF(l, m, l, b), QLineF(l, t, l, m), QLineF(l, m, r, m)};
    for (int i = 0; i < 7; ++i) {
        if (kSegments[size_t(digit)] & (1u << i))
            p.drawLine(segment[size_t(i)]);
    }
}

// The application icon: a blue tile with the window of a mechanical counter,
// three number rollers showing "047".
QImage drawAppIcon(int size)
{
    QImage canvas = makeCanvas(size);
    QPainter p(&canvas);
    beginPainter(p, size);

    QLinearGradient tile(0, 0, 0, 48);
    tile.setColorAt(0.0, QColor(kMidBlue));
    tile.setColorAt(1.0, QColor(kDarkBlue));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, 46, 46), 9, 9);

    // A soft highlight in the upper half gives the tile some depth.
    QRadialGradient shine(24, 4, 30);
    shine.setColorAt(0.0, QColor(255, 255, 255, 70));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawRoundedRect(QRectF(1, 1, 46, 24), 9, 9);

    // Counter window with three rollers.
    const QRectF window(6, 13, 36, 22);
    p.setBrush(Qt::white);
    p.drawRoundedRect(window, 3, 3);

    const qreal rollerWidth = window.width() / 3.0;
    p.setPen(QPen(QColor(kGrey17), 1.2));
    for (int i = 1; i < 3; ++i) {
        const qreal x = window.left() + i * rollerWidth;
        p.drawLine(QPointF(x, window.top() + 1.5), QPointF(x, window.bottom() - 1.5));
    }

    const std::array<int, 3> digits = {0, 4, 7};
    p.setPen(QPen(QColor(kDarkGrey), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (int i = 0; i < 3; ++i) {
        const qreal x = window.left() + i * rollerWidth;
        drawDigit(p, QRectF(x + 3.4, window.top() + 4.5, rollerWidth - 6.8, window.height() - 9.0),
                  digits[size_t(i)]);
    }
    p.end();
    return shrink(canvas, size);
}

// Banner across the top of the PDF report: a blue band that runs from dark
// to mid blue, with a thin grey rule underneath.
QImage drawReportBanner()
{
    constexpr int width = 1600;
    constexpr int height = 120;
    constexpr int bandHeight = 96;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, width, 0);
    band.setColorAt(0.0, QColor(kDarkBlue));
    band.setColorAt(1.0, QColor(kMidBlue));
    p.fillRect(QRect(0, 0, width, bandHeight), band);

    // A lighter sweep on the right-hand end keeps the band from looking flat.
    QPainterPath sweep;
    sweep.moveTo(width * 0.62, bandHeight);
    sweep.cubicTo(width * 0.78, bandHeight * 0.55, width * 0.9, bandHeight * 0.2, width, 0);
    sweep.lineTo(width, bandHeight);
    sweep.closeSubpath();
    p.fillPath(sweep, QColor(255, 255, 255, 28));

    p.fillRect(QRect(0, bandHeight + 10, width, 3), QColor(kGrey17));
    p.end();
    return image;
}

bool save(const QImage &image, const QDir &dir, const QString &name, const char *format,
          int quality = -1)
{
    const QString path = dir.filePath(name);
    if (image.save(path, format, quality))
        return true;
    QTextStream(stderr) << "tavik7-imagegen: cannot write " << QDir::toNativeSeparators(path)
                        << " as " << format << '\n';
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // No window and no text are drawn, so a core application suffices and
    // the tool runs on a build server without a display.
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 3) {
        QTextStream(stderr) << "usage: tavik7-imagegen <output folder> [<icon theme folder>]\n";
        return 2;
    }

    QDir dir(args.at(1));
    if (!dir.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "tavik7-imagegen: cannot create "
                            << QDir::toNativeSeparators(args.at(1)) << '\n';
        return 1;
    }

    bool ok = true;
    ok &= save(drawAppIcon(32), dir, QStringLiteral("klvicon.ico"), "ICO");
    ok &= save(drawCheckMark(), dir, QStringLiteral("dialog-ok_2.png"), "PNG");
    ok &= save(drawCross(), dir, QStringLiteral("dialog-close_2.png"), "PNG");
    ok &= save(drawRightArrow(), dir, QStringLiteral("go-next-3.png"), "PNG");
    ok &= save(drawReportBanner(), dir, QStringLiteral("KLVHeaderLine.jpg"), "JPG", 92);

    // The desktop menu picks the size it needs from <size>x<size>/apps.
    if (args.size() == 3) {
        for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
            QDir sizeDir(args.at(2) + QStringLiteral("/%1x%1/apps").arg(size));
            if (!sizeDir.mkpath(QStringLiteral("."))) {
                QTextStream(stderr) << "tavik7-imagegen: cannot create "
                                    << QDir::toNativeSeparators(sizeDir.path()) << '\n';
                ok = false;
                continue;
            }
            ok &= save(drawAppIcon(size), sizeDir, QStringLiteral("tavik7-pc-software.png"), "PNG");
        }
    }
    return ok ? 0 : 1;
}
