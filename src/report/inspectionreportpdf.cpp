#include "inspectionreportpdf.h"

#include <QBuffer>
#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "inspectionreport.h"
#include "regularfile.h"

// The banner travels with the library, so that a program without the
// window's images still draws it.
static void registerReportImages()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(tavik7report);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace tavik7 {

namespace {

// The page is laid out in pixels of a 96 dpi screen. A fixed resolution
// and page keep the drawing the same on every screen and for every default
// printer.
constexpr int kResolutionDpi = 96;
constexpr qreal kMarginPt = 10;

constexpr int kHeaderHeightPx = 90;
constexpr int kTitleTopPx = 120;
constexpr int kTitleHeightPx = 55;
constexpr int kLeftPx = 50;
constexpr int kValueLeftPx = 380;
constexpr int kParameterHeadingTopPx = 221;
constexpr int kRowTopPx = 251;
constexpr int kRowPitchPx = 27;
constexpr int kRowHeightPx = 22;
constexpr int kCheckHeadingTopPx = 650;
constexpr int kCheckBoxTopPx = 680;
constexpr int kDateTopPx = 798;
constexpr int kSignatureTopPx = 838;
constexpr int kNotesHeadingTopPx = 898;
constexpr int kDateLeftPx = 300;
constexpr int kSignatureLinePx = 857;
constexpr int kSignatureEndPx = 600;
constexpr int kNoteLeftPx = 100;
constexpr int kNoteTopPx = 925;
constexpr int kNoteUnderlinePx = 941;
constexpr int kNoteEndPx = 639;
constexpr int kNoteCount = 5;

constexpr int kTitleFontPx = 25;
constexpr int kHeadingFontPx = 17;
constexpr int kTextFontPx = 15;

class ReportPainter
{
public:
    ReportPainter(QPainter &painter, int width)
        : p(painter), width(width), font(QFontDatabase::systemFont(QFontDatabase::FixedFont).family())
    {
        // Qt gives a font without a family the application's default family and
        // then ignores the style hint, so the fixed-pitch face is asked for by the
        // system's own name for it.
        font.setStyleHint(QFont::TypeWriter);
    }

    void setFont(int pixelSize, bool bold)
    {
        font.setPixelSize(pixelSize);
        font.setBold(bold);
        p.setFont(font);
    }
    void text(int left, int top, const QString &text, int height = kRowHeightPx)
    {
        p.drawText(QRect(left, top, width, height), Qt::AlignLeft, text);
    }
    void line(int left, int right, int y) { p.drawLine(left, y, right, y); }

    QPainter &p;
    const int width;
    QFont font;
};

void paintHeaderAndRows(ReportPainter &r, const QList<InspectionReportRow> &rows)
{
    r.p.drawImage(QRect(0, 0, r.width, kHeaderHeightPx), QImage(QStringLiteral(":/Images/KLVHeaderLine.jpg")));
    r.setFont(kTitleFontPx, true);
    r.p.drawText(QRect(0, kTitleTopPx, r.width, kTitleHeightPx), Qt::AlignCenter,
                 QStringLiteral("Pruefprotokoll Tavik7/\nInspection report Tavik7"));
    r.setFont(kHeadingFontPx, true);
    r.text(kLeftPx, kParameterHeadingTopPx, QStringLiteral("Parameter"));

    r.setFont(kTextFontPx, true);
    for (int k = 0; k < rows.size(); ++k)
        r.text(kLeftPx, kRowTopPx + kRowPitchPx * k, rows.at(k).label);
    r.setFont(kTextFontPx, false);
    for (int k = 0; k < rows.size(); ++k)
        r.text(kValueLeftPx, kRowTopPx + kRowPitchPx * k, rows.at(k).value);
}

void paintCheckAndNotes(ReportPainter &r, const QStringList &notes, const QDate &date)
{
    r.setFont(kHeadingFontPx, true);
    r.text(kLeftPx, kCheckHeadingTopPx, QStringLiteral("Pruefung/Check"));
    r.text(kLeftPx, kDateTopPx, QStringLiteral("Datum/Date"));
    r.text(kLeftPx, kSignatureTopPx, QStringLiteral("Unterschrift/Signature"));
    r.text(kLeftPx, kNotesHeadingTopPx, QStringLiteral("Anmerkungen/Notes"));

    r.setFont(kTextFontPx, true);
    // The brackets are a box to tick on paper.
    r.text(kLeftPx, kCheckBoxTopPx, QStringLiteral("( )    Zaehlwerksuebertragung i.O.\n       Counter transfer ok"),
           2 * kRowHeightPx);
    r.setFont(kTextFontPx, false);
    r.text(kDateLeftPx, kDateTopPx, date.toString(QStringLiteral("dd.MM.yyyy")));

    r.p.setPen(QPen(Qt::black, 1));
    r.line(kDateLeftPx, kSignatureEndPx, kSignatureLinePx);
    // Empty notes still get their line to write on.
    for (int n = 0; n < kNoteCount; ++n) {
        r.text(kNoteLeftPx, kNoteTopPx + kRowPitchPx * n, notes.value(n));
        r.line(kNoteLeftPx, kNoteEndPx, kNoteUnderlinePx + kRowPitchPx * n);
    }
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

void paintInspectionReport(QPainter &painter, int width, const ParameterRecord &record, const QString &counterText,
                           const QStringList &notes, const QDate &date)
{
    registerReportImages();
    ReportPainter r(painter, width);
    paintHeaderAndRows(r, inspectionReportRows(record, counterText));
    paintCheckAndNotes(r, notes, date);
}

bool writeInspectionReportPdf(const QString &path, const ParameterRecord &record, const QString &counterText,
                              const QStringList &notes, const QDate &date, QString *error)
{
    // Drawn in memory first: the PDF writer ignores a write that stops short
    // (a full disk), so its output is checked whole before it replaces a file.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setResolution(kResolutionDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginPt, kMarginPt, kMarginPt, kMarginPt), QPageLayout::Point));
        QPainter painter;
        if (!painter.begin(&writer))
            return fail(error, QStringLiteral("the PDF could not be started"));
        paintInspectionReport(painter, writer.width(), record, counterText, notes, date);
        if (!painter.end())
            return fail(error, QStringLiteral("the PDF could not be finished"));
    }

    QString why;
    if (!platform::saveWholeFile(path, pdf.data(), &why))
        return fail(error, why);
    return true;
}

MessageId reportNameFault(const QString &name)
{
    if (name.isEmpty())
        return MessageId::PdfNoName;
    return isReportFileName(name) ? MessageId::None : MessageId::PdfWrongName;
}

} // namespace tavik7
