#include "planjobs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "clitexts.h"
#include "deviceoutput.h"
#include "parameterfields.h"
#include "parametersheet.h"
#include "plansession.h"
#include "readjobs.h"
#include "regularfile.h"
#include "texttable.h"
#include "writeplan.h"

namespace tavik7::cli {

namespace {

// A plan is a few kilobytes; anything much larger is not one.
constexpr qint64 kLargestPlanBytes = 1024 * 1024;

struct PlanWords
{
    const char *german;
    const char *english;
};

// Indexed by PlanText.
constexpr PlanWords kPlanWords[] = {
    {"%1: nicht lesbar; nichts gesendet", "%1: cannot be read; nothing sent"},
    {"%1, %2: kein JSON; nichts gesendet", "%1, %2: not JSON; nothing sent"},
    {"%1: kein Plan von tavik7-cli plan; nichts gesendet", "%1: not a plan made by tavik7-cli plan; nothing sent"},
    {"%1: Planformat Version %2, lesbar ist %3; nichts gesendet",
     "%1: plan format version %2, this program reads %3; nothing sent"},
    {"%1: unbekannter Schlüssel %2; nichts gesendet", "%1: unknown key %2; nothing sent"},
    {"%1: %2 fehlt; nichts gesendet", "%1: %2 is missing; nothing sent"},
    {"%1: %2 hat keinen gültigen Wert; nichts gesendet", "%1: %2 holds no value it takes; nothing sent"},
    {"%1: nach dem Erstellen geändert (SHA-256 passt nicht); nichts gesendet",
     "%1: edited after it was made (its SHA-256 does not match); nothing sent"},
    {"Das Gerät ist nicht mehr das, für das der Plan erstellt wurde: %1 ist %2, der Plan hat %3; nichts geschrieben",
     "the device is no longer what the plan was made from: %1 is %2, the plan has %3; nothing written"},
    {"keine Änderung: die Datei gleicht dem Gerät", "no change: the file equals the device"},
    {"keine Änderung: die Werte gleichen dem Gerät", "no change: the values given equal the device"},
    {"keine Änderung: die Datei nennt kein Feld, das geschrieben wird (sie weicht nur in Softwareversion, "
     "Software-CRC oder Feldern von --keep ab)",
     "no change: the file names no field a write changes (it differs from the device only in the software "
     "version, the software CRC or fields --keep keeps)"},
    {"der Zählerstand geht mit: die Zählrichtung ändert sich, er wird vor dem Schreiben gelesen und danach "
     "zurückgeschrieben",
     "the counter goes along: the direction changes, so the reading is read before the write and written "
     "back after it"},
    {"Plan %1 gespeichert, SHA-256 %2", "plan %1 saved, SHA-256 %2"},
    {"Plan %1 nicht gespeichert: %2", "plan %1 not saved: %2"},
    {"-o - und --json schließen sich aus: stdout nimmt entweder den Plan oder die Änderungen.",
     "-o - and --json exclude each other: stdout takes either the plan or the changes."},
    {"der Plan ändert nichts; nichts geschrieben", "the plan changes nothing; nothing written"},
};

} // namespace

QString planText(PlanText id, int language)
{
    const PlanWords &words = kPlanWords[int(id)];
    return QString::fromUtf8(language == German ? words.german : words.english);
}

namespace {

QString quoted(const QString &value)
{
    const QString escaped = escapedText(value);
    return escaped.isEmpty() || escaped.contains(QLatin1Char(' ')) ? QLatin1Char('"') + escaped + QLatin1Char('"')
                                                                   : escaped;
}

QString fieldKey(int field)
{
    return QLatin1String(kParameterFields[field].jsonKey);
}

} // namespace

QString planFileComplaint(const QString &path, int language)
{
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    // Not a FIFO: the run would wait for a writer for good.
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() > kLargestPlanBytes || !file.open(QIODevice::ReadOnly))
        return planText(PlanText::Unreadable, language).arg(shown);
    using Fault = PlanReading::Fault;
    const PlanReading reading = readDevicePlan(file.read(kLargestPlanBytes));
    switch (reading.fault) {
    case Fault::None: return {};
    case Fault::NotJson: return planText(PlanText::NotJson, language).arg(shown, reading.where);
    case Fault::NotAPlan: return planText(PlanText::NotAPlan, language).arg(shown);
    case Fault::OtherVersion:
        return planText(PlanText::OtherVersion, language).arg(shown, reading.where).arg(kPlanFormatVersion);
    case Fault::UnknownKey: return planText(PlanText::UnknownKey, language).arg(shown, reading.where);
    case Fault::MissingMember: return planText(PlanText::MissingMember, language).arg(shown, reading.where);
    case Fault::BadValue: return planText(PlanText::BadValue, language).arg(shown, reading.where);
    case Fault::Edited: return planText(PlanText::Edited, language).arg(shown);
    }
    return planText(PlanText::Unreadable, language).arg(shown);
}

// ---------------------------------------------------------------- plan

void PlanJob::begin()
{
    readDevice();
}

QString PlanJob::text(PlanText id) const
{
    return planText(id, options().language);
}

void PlanJob::deviceRead(const DeviceReading &reading)
{
    const ParameterRecord &device = reading.record;
    // Made as write makes it: the file read strictly, --set, --keep, the firmware's fields kept.
    const ParameterRecord target = plannedWriteRecord(device, options());
    ParameterSheet sheet;
    sheet.setRecord(target);
    if (!sheet.implausibleFieldIds().isEmpty()) {
        fail(ExitImplausible, cliText(CliText::ImplausibleFields, options().language)
                                  .arg(implausibleRecordTexts(target).join(QStringLiteral(", "))));
        return;
    }
    const DevicePlan plan = makeDevicePlan(device, reading.counterDigits, target, port(), QStringLiteral(TAVIK7_VERSION));
    const QString &path = options().outputFile;
    const bool toStandardOutput = path == QLatin1String(platform::kStandardOutputName);
    QString error;
    if (toStandardOutput) {
        print(devicePlanBytes(plan));
    } else if (!platform::saveWholeFile(path, devicePlanBytes(plan), &error)) {
        fail(ExitUsage, text(PlanText::PlanUnsaved).arg(QDir::toNativeSeparators(path), error));
        return;
    }
    printChanges(plan, toStandardOutput);
    switch (planEmptiness(plan, device, askedWriteRecord(device, options()))) {
    case PlanEmptiness::HasChanges: break;
    case PlanEmptiness::EqualsDevice:
        note(text(options().inputFile.isEmpty() ? PlanText::ValuesEqualDevice : PlanText::EqualsDevice));
        break;
    case PlanEmptiness::NamesNoWrittenField: note(text(PlanText::NamesNoWrittenField)); break;
    }
    if (plan.counterGoesAlong)
        note(text(PlanText::CounterGoesAlong));
    if (!toStandardOutput)
        note(text(PlanText::PlanSaved).arg(QDir::toNativeSeparators(path), plan.hash));
    finish(ExitDone);
}

// "key: old -> new" lines, or with --json one object per change; where the
// plan itself goes to stdout, the lines go to stderr.
void PlanJob::printChanges(const DevicePlan &plan, bool toStandardOutput)
{
    for (const PlannedChange &change : plan.changes) {
        if (options().json) {
            print(jsonObject({{QStringLiteral("key"), fieldKey(change.field)},
                              {QStringLiteral("old"), change.oldValue},
                              {QStringLiteral("new"), change.newValue}})
                  + '\n');
            continue;
        }
        const QString line = fieldKey(change.field) + QStringLiteral(": ") + quoted(change.oldValue)
            + QStringLiteral(" -> ") + quoted(change.newValue);
        if (toStandardOutput)
            note(line);
        else
            print((line + QLatin1Char('\n')).toUtf8());
    }
}

// ---------------------------------------------------------------- apply

namespace {

CliOptions withReadBack(CliOptions options)
{
    options.verify = true;
    return options;
}

} // namespace

ApplyJob::ApplyJob(const QString &port, const CliOptions &options, QObject *parent)
    : WriteJob(port, withReadBack(options), parent)
{
    // Checked before any port opened; read again here as it stands now.
    QFile file(options.inputFile);
    if (QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly))
        m_reading = readDevicePlan(file.read(kLargestPlanBytes));
}

void ApplyJob::begin()
{
    if (!m_reading.ok()) {
        fail(ExitUsage, planFileComplaint(options().inputFile, options().language));
        return;
    }
    keeper()->setPlanHash(m_reading.plan.hash);
    m_check = new PlanSession(link(), this);
    m_check->setPlan(m_reading.plan);
    // A plan without a change writes nothing: the device is only checked.
    if (m_reading.plan.changes.isEmpty())
        readDevice();
    else
        WriteJob::begin();
}

void ApplyJob::deviceRead(const DeviceReading &reading)
{
    if (!m_reading.plan.changes.isEmpty()) {
        WriteJob::deviceRead(reading); // the read-back
        return;
    }
    if (!m_check->checkedRecord(reading.record)) {
        fail(ExitStale, staleText(m_check->check()));
        return;
    }
    if (options().json)
        print(writeJsonLine(port(), {}, true));
    note(planText(PlanText::NothingToWrite, options().language));
    finish(ExitDone);
}

QString ApplyJob::staleText(const PlanCheck &check) const
{
    return planText(PlanText::Stale, options().language)
        .arg(fieldKey(check.staleField), quoted(check.valueNow), quoted(m_reading.plan.value(check.staleField)));
}

void ApplyJob::ending()
{
    keeper()->releaseWrite();
}

// Runs on the record the write sequence's own read brought: no second read
// goes out before the telegram.
std::optional<ParameterRecord> ApplyJob::plan(const ParameterRecord &device)
{
    const std::optional<ParameterRecord> record = m_check->checkedRecord(device);
    if (!record) {
        keeper()->setPlanStale(fieldKey(m_check->check().staleField));
        m_stale = staleText(m_check->check());
        return std::nullopt;
    }
    return plausibleWrite(*record);
}

void ApplyJob::requestFailed(const DeviceResult &result)
{
    if (result.status == DeviceResult::Status::Refused && !m_stale.isEmpty()) {
        fail(ExitStale, m_stale);
        return;
    }
    WriteJob::requestFailed(result);
}

} // namespace tavik7::cli
