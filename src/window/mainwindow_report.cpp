// The one-page bilingual inspection report.

#include <QDate>

#include "devicebookkeeper.h"
#include "filehooks.h"
#include "inspectionreportpdf.h"
#include "tavik7_bediensoftware.h"

namespace {

constexpr QLatin1String kPdfFilter("*.pdf");

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
        {tavik7::FileNameRequest::Save, this, textFor(tavik7::SaveReportCaption), deviceFileSuggestion(), kPdfFilter});
    if (const tavik7::MessageId fault = tavik7::reportNameFault(name); fault != tavik7::MessageId::None) {
        showMessage(fault, true);
        return;
    }

    const QStringList notes = {ui.lineEditNotesPrint1->text(), ui.lineEditNotesPrint2->text(),
                               ui.lineEditNotesPrint3->text(), ui.lineEditNotesPrint4->text(),
                               ui.lineEditNotesPrint5->text()};
    // A folder the user may not write to, or a disk that filled up, ends the
    // report quietly, as an unwritable folder always did; an earlier report
    // under the same name stays as it was.
    const bool written = tavik7::writeInspectionReportPdf(name, sheet.record(), ui.lineEditCounter->text(), notes, today);
    tavik7::book::DeviceBookKeeper::of(this)->recordReportWritten(name, written, notes);
    if (!written)
        return;
    showMessage(tavik7::MessageId::PdfCreated, true);
    tavik7::openInViewer(name);
}
