// The one-page bilingual inspection report.

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPrinter>

#include "filehooks.h"
#include "inspectionreport.h"
#include "tavik7_bediensoftware.h"

namespace {

constexpr qint8 kMsgPdfCreated = 12;
constexpr qint8 kMsgPdfNoName = 72;
constexpr qint8 kMsgPdfWrongName = 73;

constexpr int kCaptionTextId = 122;
constexpr QLatin1String kPdfFilter("*.pdf");
constexpr QLatin1String kPdfExtension(".pdf");

// Layout in device pixels of a screen-resolution printer.
constexpr int kHeaderHeightPx = 90;
constexpr int kTitleTopPx = 120;
constexpr int kTitleHeightPx = 55;
constexpr int kLeftPx = 50;
constexpr int kValueLeftPx = 380;
constexpr int kRowTopPx = 251;
constexpr int kRowPitchPx = 27;
constexpr int kRowHeightPx = 22;
constexpr int kDateLeftPx = 300;
constexpr int kSignatureLinePx = 857;
constexpr int kSignatureEndPx = 600;
constexpr int kNoteLeftPx = 100;
constexpr int kNoteTopPx = 925;
constexpr int kNoteUnderlinePx = 941;
constexpr int kNoteEndPx = 639;
constexpr int kLayoutHeightPx = 1050;

constexpr int kTitleFontPx = 25;
constexpr int kHeadingFontPx = 17;
constexpr int kTextFontPx = 15;

// Copies a finished PDF over the chosen file through QSaveFile (unbuffered:
// with a buffer, a failed flush still let commit() replace the old file).
// A PDF that lacks its end-of-file marker was cut short and is not used.
bool replaceWithCompletePdf(const QString &draftPath, const QString &targetPath)
{
    QFile draft(draftPath);
    if (!draft.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pdf = draft.readAll();
    if (!pdf.trimmed().endsWith("%%EOF"))
        return false;
    QSaveFile target(targetPath);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (target.write(pdf) != pdf.size()) {
        target.cancelWriting();
        return false;
    }
    return target.commit();
}

} // namespace

void TAVIK7_Bediensoftware::onCreatePdf()
{
    // The report sequence ends inside the port's data slot; the file dialog's
    // event loop must not run there, so the report starts once it has returned.
    QMetaObject::invokeMethod(this, [this] { writeInspectionReport(); }, Qt::QueuedConnection);
}

void TAVIK7_Bediensoftware::writeInspectionReport()
{
    const QDate today = QDate::currentDate();
    const QString name = tavik7::askFileName(
        {tavik7::FileNameRequest::Save, this, textFor(kCaptionTextId), deviceFileSuggestion(), kPdfFilter});
    if (name.isEmpty()) {
        showMessage(kMsgPdfNoName, true);
        return;
    }
    if (!name.contains(kPdfExtension)) {
        showMessage(kMsgPdfWrongName, true);
        return;
    }

    // The printer writes into a file of its own; the chosen file is replaced
    // only by a complete report, so a full disk never cuts an earlier report
    // that carries the same name.
    QTemporaryFile draft(QDir::tempPath() + QStringLiteral("/tavik7-report-XXXXXX.pdf"));
    if (!draft.open())
        return;
    draft.close();

    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(draft.fileName());
    // The layout reaches down to the last note's underline. Where the default
    // page and margins leave less room than that (Letter paper), the margins
    // give way rather than the notes.
    if (printer.height() < kLayoutHeightPx)
        printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    paintInspectionReport(painter, printer.width(), today);
    if (!painter.end())
        return;
    // A folder the user may not write to, or a disk that filled up, ends the
    // report quietly, as an unwritable folder always did.
    if (!replaceWithCompletePdf(draft.fileName(), name))
        return;

    showMessage(kMsgPdfCreated, true);
    tavik7::openInViewer(name);
}

void TAVIK7_Bediensoftware::paintInspectionReport(QPainter &painter, int width, const QDate &today)
{
    const auto row = [width](int left, int top, int height = kRowHeightPx) {
        return QRect(left, top, width, height);
    };
    const auto drawLine = [](QPainter &p, int left, int right, int y) { p.drawLine(left, y, right, y); };

    painter.drawImage(QRect(0, 0, width, kHeaderHeightPx), QImage(QStringLiteral(":/Images/KLVHeaderLine.jpg")));

    // Qt gives a font without a family the application's default family and
    // then ignores the style hint, so the fixed-pitch face is asked for by the
    // system's own name for it.
    QFont font(QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(kTitleFontPx);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(0, kTitleTopPx, width, kTitleHeightPx), Qt::AlignCenter,
                     QStringLiteral("Pruefprotokoll Tavik7/\nInspection report Tavik7"));

    font.setPixelSize(kHeadingFontPx);
    painter.setFont(font);
    painter.drawText(row(kLeftPx, 221), Qt::AlignLeft, QStringLiteral("Parameter"));

    const QList<tavik7::InspectionReportRow> rows =
        tavik7::inspectionReportRows(parameterRecord, ui.lineEditCounter->text());
    font.setPixelSize(kTextFontPx);
    painter.setFont(font);
    for (int k = 0; k < rows.size(); ++k)
        painter.drawText(row(kLeftPx, kRowTopPx + kRowPitchPx * k), Qt::AlignLeft, rows.at(k).label);
    font.setBold(false);
    painter.setFont(font);
    for (int k = 0; k < rows.size(); ++k)
        painter.drawText(row(kValueLeftPx, kRowTopPx + kRowPitchPx * k), Qt::AlignLeft, rows.at(k).value);

    font.setPixelSize(kHeadingFontPx);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(row(kLeftPx, 650), Qt::AlignLeft, QStringLiteral("Pruefung/Check"));
    painter.drawText(row(kLeftPx, 798), Qt::AlignLeft, QStringLiteral("Datum/Date"));
    painter.drawText(row(kLeftPx, 838), Qt::AlignLeft, QStringLiteral("Unterschrift/Signature"));
    painter.drawText(row(kLeftPx, 898), Qt::AlignLeft, QStringLiteral("Anmerkungen/Notes"));

    font.setPixelSize(kTextFontPx);
    painter.setFont(font);
    // The brackets are a box to tick on paper.
    painter.drawText(row(kLeftPx, 680, 2 * kRowHeightPx), Qt::AlignLeft,
                     QStringLiteral("( )    Zaehlwerksuebertragung i.O.\n       Counter transfer ok"));

    font.setBold(false);
    painter.setFont(font);
    painter.drawText(row(kDateLeftPx, 798), Qt::AlignLeft, today.toString(QStringLiteral("dd.MM.yyyy")));

    painter.setPen(QPen(Qt::black, 1));
    drawLine(painter, kDateLeftPx, kSignatureEndPx, kSignatureLinePx);

    const QLineEdit *notes[] = {ui.lineEditNotesPrint1, ui.lineEditNotesPrint2, ui.lineEditNotesPrint3,
                                ui.lineEditNotesPrint4, ui.lineEditNotesPrint5};
    for (int n = 0; n < 5; ++n) {
        painter.drawText(row(kNoteLeftPx, kNoteTopPx + kRowPitchPx * n), Qt::AlignLeft, notes[n]->text());
        drawLine(painter, kNoteLeftPx, kNoteEndPx, kNoteUnderlinePx + kRowPitchPx * n);
    }
}
