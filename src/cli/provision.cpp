#include "provision.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <cstdio>

#include "booklocation.h"
#include "clitexts.h"
#include "countertext.h"
#include "deviceoutput.h"
#include "exitwords.h"
#include "flashrun.h"
#include "flashsession.h"
#include "inputchecks.h"
#include "jobrunner.h"
#include "parameterfields.h"
#include "parametersheet.h"
#include "platform.h"
#include "readjobs.h"
#include "reportoutput.h"
#include "settingsfilestrict.h"
#include "texttable.h"

namespace tavik7::cli {

namespace {


// Words of a device's end that no status table has: the job's own.
constexpr char kNotInJob[] = "notInJob";
constexpr char kNoRowLeft[] = "noRowLeft";
constexpr char kRowClaimed[] = "rowClaimed";
constexpr char kBookFailed[] = "bookFailed";
constexpr char kDeviceChanged[] = "deviceChanged";

enum Text {
    JobUnreadable,
    Where,
    WhereLine,
    NoHeader,
    UnknownKey,
    DuplicateKey,
    DeviceOwnKey,
    NoSerialColumn,
    BadQuoting,
    ColumnCount,
    BadValue,
    BadCounter,
    EmptySerial,
    DuplicateSerial,
    FreshSerial,
    NoRows,
    BookUnusable,
    NotInJob,
    NoRowLeft,
    RowClaimed,
    Verified,
    AlreadyMatching,
    Differs,
    DeviceChanged,
    CounterWrong,
    ReportFailed,
    FirmwareNoVersion,
    ReportDirUnusable,
    Flashing,
    BookRefused,
    StateUnrecorded,
    StillOldFirmware,
};

struct Words
{
    const char *german;
    const char *english;
};

// Indexed by Text.
constexpr Words kWords[] = {
    {"%1: nicht lesbar; nichts gesendet", "%1: cannot be read; nothing sent"},
    {"%1, Zeile %2, Spalte %3 (%4): %5; nichts gesendet", "%1, line %2, column %3 (%4): %5; nothing sent"},
    {"%1, Zeile %2: %3; nichts gesendet", "%1, line %2: %3; nothing sent"},
    {"leer, ohne Kopfzeile mit Schlüsseln", "empty, no header of keys"},
    {"unbekannter Schlüssel", "unknown key"},
    {"Schlüssel doppelt", "key given twice"},
    {"gehört dem Gerät, ein Schreiben behält es", "the device's own, a write keeps it"},
    {"keine Spalte serialNumber", "no serialNumber column"},
    {"ein Anführungszeichen, das nicht schließt", "a quote that does not close"},
    {"nicht so viele Zellen, wie die Kopfzeile Schlüssel hat", "not as many cells as the header has keys"},
    {"\"%1\" ist kein Wert, den dieses Feld nimmt", "\"%1\" is not a value this field takes"},
    {"\"%1\" ist kein Zählerstand mit 8 oder 9 Ziffern", "\"%1\" is no counter of 8 or 9 digits"},
    {"keine Seriennummer", "no serial number"},
    {"Seriennummer %1 schon in Zeile %2", "serial number %1 already in line %2"},
    {"Seriennummer %1 kennzeichnet mit --fresh ein neues Gerät", "serial number %1 is what --fresh marks a fresh device by"},
    {"keine Zeile, nichts zu tun", "no rows, nothing to do"},
    {"Das Gerätebuch %1 kann die Belegung der Zeilen nicht festhalten (%2); nichts gesendet",
     "the device book %1 cannot hold the job's claims (%2); nothing sent"},
    {"Seriennummer %1 steht nicht im Auftrag; nichts geschrieben",
     "serial number %1 is not in the job; nothing written"},
    {"ein neues Gerät, aber keine Zeile des Auftrags ist mehr frei; nichts geschrieben",
     "a fresh device, but no row of the job is left; nothing written"},
    {"Zeile %1 (Seriennummer %2) bearbeitet gerade Station %3; nichts geschrieben",
     "line %1 (serial number %2) is being provisioned by station %3; nothing written"},
    {"Zeile %1 geschrieben und zurückgelesen", "line %1 written and read back"},
    {"Zeile %1: das Gerät hält sie schon; nichts geschrieben", "line %1: the device holds it already; nothing written"},
    {"Zeile %1: zurückgelesen hält das Gerät andere Werte: %2",
     "line %1: read back, the device holds other values: %2"},
    {"Auf das Schreiben antwortete ein anderes Gerät als das, für das die Zeile gewählt wurde; nichts geschrieben",
     "another device answered the write than the one its row was chosen for; nothing written"},
    {"Zeile %1: Zählerstand %2 passt nicht zum Gerät (%3 Ziffern, Komma nach der Wertigkeit); nichts geschrieben",
     "line %1: counter %2 does not fit the device (%3 digits, a comma as the significance has it); nothing written"},
    {"Zeile %1 geprüft, aber ihr Prüfprotokoll wurde nicht geschrieben: %2",
     "line %1 verified, but its report was not written: %2"},
    {"%1: der Name nennt keine Firmwareversion (wie tavik_v1_12.hex); nichts gesendet",
     "%1: the name gives no firmware version (as tavik_v1_12.hex does); nothing sent"},
    {"%1: kein Ordner, in den geschrieben werden kann; nichts gesendet",
     "%1: no folder that can be written to; nothing sent"},
    {"Firmware %1 im Gerät, flashe %2", "firmware %1 on the device, flashing %2"},
    {"Das Gerätebuch nahm die Belegung nicht an (%1); nichts geschrieben",
     "the device book refused the claim (%1); nothing written"},
    {"(das Gerätebuch hat den Stand der Zeile nicht übernommen: %1)", "(the device book did not take the row's state: %1)"},
    {"Nach dem Flashen läuft im Gerät Firmware %1, nicht %2; nichts geschrieben",
     "after the flash the device runs firmware %1, not %2; nothing written"},
};

QString words(int id, int language)
{
    return QString::fromUtf8(language == German ? kWords[id].german : kWords[id].english);
}

// A JSON line with the job's numbers as numbers.
QByteArray withNumbers(QByteArray object, const QList<QPair<const char *, qint64>> &numbers)
{
    object.chop(1);
    for (const auto &[name, value] : numbers)
        object += ",\"" + QByteArray(name) + "\":" + QByteArray::number(value);
    return object + '}';
}

QString jobFaultText(const ProvisionJobReading &reading, const QString &file, int language)
{
    using Fault = ProvisionJobReading::Fault;
    QString what;
    switch (reading.fault) {
    case Fault::None: return {};
    case Fault::NoHeader: what = words(NoHeader, language); break;
    case Fault::UnknownKey: what = words(UnknownKey, language); break;
    case Fault::DuplicateKey: what = words(DuplicateKey, language); break;
    case Fault::DeviceOwnKey: what = words(DeviceOwnKey, language); break;
    case Fault::NoSerialColumn: what = words(NoSerialColumn, language); break;
    case Fault::BadQuoting: what = words(BadQuoting, language); break;
    case Fault::ColumnCount: what = words(ColumnCount, language); break;
    case Fault::BadValue: what = words(BadValue, language).arg(escapedText(reading.value)); break;
    case Fault::BadCounter: what = words(BadCounter, language).arg(escapedText(reading.value)); break;
    case Fault::EmptySerial: what = words(EmptySerial, language); break;
    case Fault::DuplicateSerial:
        what = words(DuplicateSerial, language).arg(escapedText(reading.value)).arg(reading.other);
        break;
    case Fault::FreshSerial: what = words(FreshSerial, language).arg(escapedText(reading.value)); break;
    case Fault::NoRows: what = words(NoRows, language); break;
    }
    const QString shown = QDir::toNativeSeparators(file);
    if (reading.column == 0)
        return words(WhereLine, language).arg(shown).arg(reading.line).arg(what);
    return words(Where, language)
        .arg(shown)
        .arg(reading.line)
        .arg(reading.column)
        .arg(escapedText(reading.key), what);
}

bool printed(const QByteArray &bytes)
{
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
    return std::fflush(stdout) == 0 && written;
}

void complain(const QString &text)
{
    const QByteArray bytes = QStringLiteral("tavik7-cli: %1\n").arg(text).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QString isoTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

// --status: each row's state as the book holds it.
int printStatus(const ProvisionJob &job, const CliOptions &options)
{
    QList<book::JobClaim> claims;
    const QString path = book::bookPath(options.bookFile, true);
    book::DeviceBook reader;
    const book::BookResult opened = reader.openForReading(path);
    // A job no station has begun leaves no book behind: every row is pending.
    if (opened.status != book::BookStatus::Ok && opened.status != book::BookStatus::Missing) {
        complain(book::bookResultMessage(opened, path, options.language));
        return ExitUsage;
    }
    QString error;
    if (opened.status == book::BookStatus::Ok && !book::JobClaims::readAll(reader.database(), job.hash, &claims, &error)) {
        complain(words(BookUnusable, options.language).arg(QDir::toNativeSeparators(path), error));
        return ExitUsage;
    }
    QHash<int, book::JobClaim> byRow;
    for (const book::JobClaim &claim : std::as_const(claims))
        byRow.insert(claim.row, claim);
    QByteArray out;
    for (const ProvisionRow &row : job.rows) {
        const auto found = byRow.constFind(row.line);
        const bool pending = found == byRow.constEnd();
        const QString state = pending ? QStringLiteral("pending") : found->state;
        QList<QPair<QString, QString>> members{{QStringLiteral("serialNumber"), row.serialNumber},
                                               {QStringLiteral("state"), state}};
        if (!pending) {
            members.append({QStringLiteral("station"), found->station});
            members.append({QStringLiteral("time"), isoTime(found->timeMs)});
            if (!found->error.isEmpty())
                members.append({QStringLiteral("error"), found->error});
        }
        if (options.json) {
            out += "{\"row\":" + QByteArray::number(row.line) + ',' + jsonObject(members).mid(1) + '\n';
            continue;
        }
        QStringList cells{QString::number(row.line)};
        for (const auto &member : std::as_const(members))
            cells.append(escapedText(member.second));
        out += cells.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    return printed(out) ? ExitDone : ExitOutput;
}

QString perUserFolder()
{
    const QString folder = platform::appDataFolder();
    platform::ensureAppDataFolder(folder);
    return folder;
}

} // namespace

// ---------------------------------------------------------------- the run

namespace {

// Refused before any port opened: a line for each port, as every port
// command gives one, and with --json its failure line; --status names none.
int refused(const CliOptions &options, int exitCode, const QString &message)
{
    if (options.ports.isEmpty()) {
        complain(message);
        return exitCode;
    }
    JobRunner runner(options);
    const QString word = exitCode == ExitBookServer ? QLatin1String(kBookFailed) : exitWord(exitCode);
    for (const QString &port : options.ports)
        runner.addRefused(port, exitCode, word, message);
    return runner.run();
}

} // namespace

int runProvision(const CliOptions &options)
{
    const int language = options.language;
    const QString &path = options.inputFile;
    QFile file(path);
    // Not a FIFO: the run would wait for a writer for good.
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() > kLargestJobFileBytes
        || !file.open(QIODevice::ReadOnly)) {
        return refused(options, ExitUsage, words(JobUnreadable, language).arg(QDir::toNativeSeparators(path)));
    }
    const QByteArray bytes = file.readAll();
    if (const QString complaint = checkInputFiles(options); !complaint.isEmpty()) {
        return refused(options, ExitUsage, complaint);
    }
    std::optional<ParameterRecord> defaults;
    if (!options.defaultsFile.isEmpty())
        defaults = readSettingsFileStrictNamed(options.defaultsFile).record;
    ProvisionRun run;
    ProvisionJobReading reading = readProvisionJob(bytes, defaults, options.freshSerial);
    if (!reading.ok())
        return refused(options, ExitUsage, jobFaultText(reading, path, language));
    run.job = std::move(reading.job);
    if (options.status)
        return printStatus(run.job, options);
    if (!options.firmwareFile.isEmpty()) {
        run.firmwareVersion = firmwareVersionOfImage(options.firmwareFile);
        if (!run.firmwareVersion) {
            return refused(options, ExitUsage,
                           words(FirmwareNoVersion, language).arg(QDir::toNativeSeparators(options.firmwareFile)));
        }
    }
    if (!options.reportDir.isEmpty()) {
        const QFileInfo folder(options.reportDir);
        if (!folder.isDir() || !folder.isWritable()) {
            return refused(options, ExitUsage,
                           words(ReportDirUnusable, language).arg(QDir::toNativeSeparators(options.reportDir)));
        }
    }
    // The claims before any port: a row taken without them could be taken twice.
    const QString bookFile = book::bookPath(options.bookFile);
    const book::BookResult opened = run.book.open(bookFile, book::userChangeHistoryPath(), book::FrontEnd::Cli);
    QString error;
    if (!opened.recorded)
        error = book::bookStatusText(opened.status, language);
    // One name for the station in its claims and in its events.
    if (!options.station.isEmpty())
        qputenv(book::kStationEnvironmentVariable, options.station.toUtf8());
    const QString station = book::stationName();
    run.claims = std::make_unique<book::JobClaims>(run.book.database(), run.job.hash, station);
    if (!error.isEmpty() || !run.claims->prepare(&error)) {
        return refused(options, ExitBookServer, words(BookUnusable, language).arg(QDir::toNativeSeparators(bookFile), error));
    }

    JobRunner runner(options);
    for (const QString &port : options.ports) {
        if (classifyPortPath(port) == PortPath::NotSerial) {
            runner.addRefused(port, ExitPort, QStringLiteral("notSerial"), cliText(CliText::NotSerialPort, language));
            continue;
        }
        runner.add(new ProvisionPortJob(port, options, &run));
    }
    return runner.run();
}

// ---------------------------------------------------------------- one port

ProvisionPortJob::ProvisionPortJob(const QString &port, const CliOptions &options, ProvisionRun *run,
                                   QObject *parent)
    : PortJob(port, options, parent)
    , m_run(run)
{
}

QString ProvisionPortJob::text(int id) const
{
    return words(id, options().language);
}

void ProvisionPortJob::begin()
{
    recordChanges();
    readDevice();
}

void ProvisionPortJob::deviceRead(const DeviceReading &reading)
{
    switch (m_step) {
    case Step::Choosing: choose(reading); return;
    case Step::Rereading:
        // The flash keeps the parameters; a device that shows another serial
        // number now is not the one the row was claimed for.
        if (provisionSerial(reading.record) != m_deviceSerial) {
            end(ExitStale, QLatin1String(kDeviceChanged), text(DeviceChanged));
            return;
        }
        // A tool that says it succeeded while the device runs the old
        // firmware would leave the row on the wrong version, and flash again
        // on every run.
        if (reading.record.softwareVersion != *m_run->firmwareVersion) {
            end(ExitFlashFailed, exitWord(ExitFlashFailed),
                text(StillOldFirmware)
                    .arg(softwareVersionText(reading.record.softwareVersion),
                         softwareVersionText(*m_run->firmwareVersion)));
            return;
        }
        proceed(reading);
        return;
    case Step::ReadingBack: compare(reading); return;
    default: return;
    }
}

// The row is chosen by what the device reports, never by its port.
void ProvisionPortJob::choose(const DeviceReading &reading)
{
    m_deviceSerial = provisionSerial(reading.record);
    const bool fresh = m_deviceSerial.isEmpty()
        || (!options().freshSerial.isEmpty() && m_deviceSerial == options().freshSerial.trimmed());
    const ProvisionJob &job = m_run->job;
    if (!fresh) {
        const int index = job.indexOfSerial(m_deviceSerial);
        if (index < 0) {
            end(ExitStale, QLatin1String(kNotInJob), text(NotInJob).arg(escapedText(m_deviceSerial)));
            return;
        }
        m_row = &job.rows.at(index);
    }
    if (!claim())
        return;
    proceed(reading);
}

bool ProvisionPortJob::claim()
{
    using Outcome = book::ClaimResult::Outcome;
    book::ClaimResult result;
    if (m_row) {
        result = m_run->claims->claimRow(m_row->line, m_row->serialNumber);
    } else {
        QList<int> rows;
        QList<QString> serials;
        rows.reserve(m_run->job.rows.size());
        serials.reserve(m_run->job.rows.size());
        for (const ProvisionRow &row : m_run->job.rows) {
            rows.append(row.line);
            serials.append(row.serialNumber);
        }
        result = m_run->claims->claimNext(rows, serials);
        if (result.outcome == Outcome::Taken) {
            const auto taken = std::find_if(m_run->job.rows.cbegin(), m_run->job.rows.cend(),
                                            [&result](const ProvisionRow &row) { return row.line == result.row; });
            m_row = &*taken;
        }
    }
    switch (result.outcome) {
    case Outcome::Taken:
        m_claimed = true;
        m_written = result.hadClaim && result.before.written;
        m_stateBefore = result.hadClaim ? result.before.state : QString();
        keeper()->setJobRow(m_run->job.hash, m_row->line);
        return true;
    case Outcome::HeldElsewhere:
        end(ExitStale, QLatin1String(kRowClaimed),
            text(RowClaimed).arg(m_row->line).arg(m_row->serialNumber, result.before.station));
        return false;
    case Outcome::NoneLeft: end(ExitStale, QLatin1String(kNoRowLeft), text(NoRowLeft)); return false;
    case Outcome::Failed: break;
    }
    end(ExitBookServer, QLatin1String(kBookFailed), text(BookRefused).arg(result.detail));
    return false;
}

QString ProvisionPortJob::counterEntry(const ParameterRecord &device) const
{
    const QString &counter = m_row->counter;
    const ParameterRecord target = m_row->over(device);
    return counter.contains(QLatin1Char(','))
        ? counter
        : formatCounterText(counter, target.significance, device.softwareVersion);
}

// With the row claimed: flash when the firmware is another, else write
// unless the device holds the row already.
void ProvisionPortJob::proceed(const DeviceReading &reading)
{
    const ParameterRecord &device = reading.record;
    const std::optional<quint16> &firmware = m_run->firmwareVersion;
    if (firmware && device.softwareVersion != *firmware) {
        note(text(Flashing).arg(softwareVersionText(device.softwareVersion), QDir::toNativeSeparators(options().firmwareFile)));
        flash();
        return;
    }
    const ParameterRecord target = m_row->over(device);
    ParameterSheet sheet;
    sheet.setRecord(target);
    if (!sheet.implausibleFieldIds().isEmpty()) {
        end(ExitImplausible, exitWord(ExitImplausible),
            cliText(CliText::ImplausibleFields, options().language)
                .arg(implausibleRecordTexts(target).join(QStringLiteral(", "))));
        return;
    }
    if (!m_row->counter.isEmpty()) {
        const QString entry = counterEntry(device);
        const int length = counterLength(target.significance, device.softwareVersion);
        if (entry.size() != length || !counterTextPlausible(entry, length, length, target.significance)) {
            end(ExitImplausible, exitWord(ExitImplausible),
                text(CounterWrong).arg(m_row->line).arg(m_row->counter).arg(counterDigits(device.softwareVersion)));
            return;
        }
    }
    const bool parametersHeld = m_row->differing(device).isEmpty();
    const bool counterHeld = m_row->counter.isEmpty()
        || QString::fromLatin1(counterDigitsForDevice(counterEntry(device))) == reading.counterDigits;
    // Written by a run that ended before its read-back: the read-back now.
    if (parametersHeld && counterHeld && m_written && m_stateBefore != QLatin1String(book::kClaimVerified)) {
        m_step = Step::ReadingBack;
        readDevice(DeviceReply::Purpose::Verify);
        return;
    }
    // A verified device counts on: its counter is no longer the row's.
    if (parametersHeld && (counterHeld || m_stateBefore == QLatin1String(book::kClaimVerified))) {
        if (!options().reportDir.isEmpty()) {
            QString error;
            if (!writeReport(reading, &error)) {
                m_run->claims->settle(m_row->line, m_stateBefore == QLatin1String(book::kClaimVerified)
                                                       ? QLatin1String(book::kClaimVerified)
                                                       : QLatin1String(book::kClaimAlreadyMatching));
                m_claimed = false;
                end(ExitUsage, exitWord(ExitUsage), text(ReportFailed).arg(m_row->line).arg(error));
                return;
            }
        }
        end(ExitDone, QLatin1String(book::kClaimAlreadyMatching), text(AlreadyMatching).arg(m_row->line));
        return;
    }
    write();
}

void ProvisionPortJob::flash()
{
    m_step = Step::Flashing;
    m_flashRun = new FlashRun(link(), this);
    keeper()->watchFlashRun(m_flashRun);
    const FlashRun::Request request = FlashRun::Request::of(options().firmwareFile, perUserFolder());
    auto *session = new FlashSession(link(), m_flashRun, this);
    connect(session, &FlashSession::finished, this, [this](const FlashEnd &flashEnd) {
        keeper()->recordFlash(options().firmwareFile, flashEnd.verdict);
        if (stage() == Stage::Done)
            return;
        if (stage() == Stage::Finishing) {
            end(ExitInterrupted, exitWord(ExitInterrupted), cliText(CliText::Interrupted, options().language));
            return;
        }
        if (flashEnd.verdict != FlashRun::Verdict::Succeeded) {
            const StatusWording wording = flashWording(flashEnd.verdict);
            end(wording.exitCode, wording.word, message(wording.message));
            return;
        }
        // Read again for the version the flash brought, not from inside its signal.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (stage() == Stage::Done)
                    return;
                m_step = Step::Rereading;
                readDevice();
            },
            Qt::QueuedConnection);
    });
    note(QStringLiteral("avrdude: ") + request.tool.shown);
    if (!session->start(request, false) && stage() != Stage::Done)
        end(ExitFlashFailed, exitWord(ExitFlashFailed), message(flashWording(FlashRun::Verdict::NotStarted).message));
}

void ProvisionPortJob::write()
{
    m_step = Step::Writing;
    setStage(Stage::Working);
    auto *session = new WriteSession(link(), this);
    keeper()->follow(session);
    connect(session, &WriteSession::finished, this, &ProvisionPortJob::onWriteEnd);
    // A turned direction reads the counter between the plan and the
    // telegram: the row is marked once that read is in, right before the
    // telegram goes out.
    connect(session, &WriteSession::stepFinished, this, [this](const DeviceResult &step) {
        if (m_markBeforeTelegram && step.kind == DeviceResult::Kind::ReadCounter && step.ok()) {
            m_markBeforeTelegram = false;
            markWritten();
        }
    });
    if (!session->start([this](const ParameterRecord &device) { return plan(device); }, false))
        notAsked();
}

// Runs on the record the write's own LP brought, right before the telegram.
std::optional<ParameterRecord> ProvisionPortJob::plan(const ParameterRecord &device)
{
    if (provisionSerial(device) != m_deviceSerial) {
        m_refusal = text(DeviceChanged);
        m_refusalWord = QLatin1String(kDeviceChanged);
        m_refusalExit = ExitStale;
        return std::nullopt;
    }
    const ParameterRecord target = m_row->over(device);
    if (!m_written && target.direction != device.direction) {
        m_markBeforeTelegram = true;
        return target;
    }
    if (!markWritten()) {
        m_refusal = text(BookRefused).arg(m_run->claims->lastError());
        m_refusalWord = QLatin1String(kBookFailed);
        m_refusalExit = ExitBookServer;
        return std::nullopt;
    }
    return target;
}

// Marked before the telegram goes out: a run killed after it finds the row
// bound to the device that may now carry its serial number. Where the book
// refuses, the telegram goes out all the same once the counter was read
// (the sequence cannot be stopped there); the row's end then fails on the
// same book and says so.
bool ProvisionPortJob::markWritten()
{
    if (m_written)
        return true;
    if (!m_run->claims->markWritten(m_row->line)) {
        note(text(BookRefused).arg(m_run->claims->lastError()));
        return false;
    }
    m_written = true;
    m_markedNow = true;
    return true;
}

void ProvisionPortJob::onWriteEnd(const WriteEnd &writeEnd)
{
    if (stage() == Stage::Done)
        return;
    if (writeEnd.status == WriteEnd::Status::Refused && !m_refusal.isEmpty()) {
        end(m_refusalExit, m_refusalWord, m_refusal);
        return;
    }
    if (writeEnd.status != WriteEnd::Status::Written) {
        // A telegram never sent, or answered with the device's refusal, left
        // nothing of the row on the device.
        const DeviceResult &write = writeEnd.write;
        m_refusedByDevice = m_markedNow && !write.written && !write.telegramUnanswered();
        requestFailed(writeEnd.failure());
        return;
    }
    note(message(MessageId::ParametersWritten));
    if (stage() == Stage::Finishing) {
        end(ExitInterrupted, exitWord(ExitInterrupted), cliText(CliText::InterruptedAfterWrite, options().language));
        return;
    }
    setCounter();
}

void ProvisionPortJob::setCounter()
{
    m_step = Step::Counting;
    if (m_row->counter.isEmpty()) {
        m_step = Step::ReadingBack;
        readDevice(DeviceReply::Purpose::Verify);
        return;
    }
    const ParameterRecord device = link()->memory()->state().record.value_or(m_row->values);
    const QByteArray digits = counterDigitsForDevice(counterEntry(device));
    follow(link()->writeCounter(digits), [this](const DeviceResult &) {
        note(message(MessageId::CounterWritten));
        if (stage() == Stage::Finishing) {
            end(ExitInterrupted, exitWord(ExitInterrupted),
                cliText(CliText::InterruptedAfterWrite, options().language));
            return;
        }
        m_step = Step::ReadingBack;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (stage() != Stage::Done)
                    readDevice(DeviceReply::Purpose::Verify);
            },
            Qt::QueuedConnection);
    });
}

// Every field of the row, and its counter, as the device holds them now.
void ProvisionPortJob::compare(const DeviceReading &reading)
{
    QList<int> differing = m_row->differing(reading.record);
    QStringList keys;
    for (const int field : std::as_const(differing))
        keys.append(QLatin1String(kParameterFields[field].jsonKey));
    if (!m_row->counter.isEmpty()
        && QString::fromLatin1(counterDigitsForDevice(counterEntry(reading.record))) != reading.counterDigits)
        keys.append(QLatin1String(kCounterColumn));
    if (!keys.isEmpty()) {
        end(ExitDiffers, exitWord(ExitDiffers), text(Differs).arg(m_row->line).arg(keys.join(QStringLiteral(", "))));
        return;
    }
    if (!options().reportDir.isEmpty()) {
        QString error;
        if (!writeReport(reading, &error)) {
            m_run->claims->settle(m_row->line, QLatin1String(book::kClaimVerified));
            m_claimed = false;
            end(ExitUsage, exitWord(ExitUsage), text(ReportFailed).arg(m_row->line).arg(error));
            return;
        }
    }
    end(ExitDone, QLatin1String(book::kClaimVerified), text(Verified).arg(m_row->line));
}

bool ProvisionPortJob::writeReport(const DeviceReading &reading, QString *error)
{
    ParameterSheet sheet;
    sheet.setRecord(reading.record);
    sheet.setCounterText(reading.counterText);
    if (!sheet.implausibleFieldIds().isEmpty() || !sheet.counterPlausible()) {
        *error = cliText(CliText::NoReportImplausible, options().language)
                     .arg(implausibleFieldTexts(reading).join(QStringLiteral(", ")));
        keeper()->recordReport(QString(), exitWord(ExitImplausible));
        return false;
    }
    const QString file = QDir(options().reportDir).filePath(m_row->serialNumber + QStringLiteral(".pdf"));
    QByteArray pdf;
    const bool written = writeReportTo(file, reading.record, reading.counterText, {}, &pdf, error);
    keeper()->recordReportWritten(file, written);
    return written;
}

void ProvisionPortJob::requestFailed(const DeviceResult &result)
{
    const StatusWording wording = outcomeOf(result);
    QString text = failureText(result);
    if (const ConsoleEntry mayHold = result.deviceMayHold(); mayHold.id != MessageId::None)
        text += QLatin1Char(' ') + message(mayHold);
    const QString word = result.status == DeviceResult::Status::PortLost ? errorWord(ExitPort, port()) : wording.word;
    end(wording.exitCode, word, text);
}

void ProvisionPortJob::interrupt()
{
    if (m_flashRun && m_flashRun->state() == FlashRun::State::Running) {
        // Killed as the window's Cancel kills it; the boot loader takes a new run.
        setStage(Stage::Finishing);
        m_flashRun->cancel();
        return;
    }
    const DeviceLink::RequestKind request = link()->requestKind();
    const bool writing = request == DeviceLink::WriteParameters || request == DeviceLink::WriteCounter;
    // A write on the wire is seen through to its answer, as PortJob does;
    // anything else ends now, with the row's claim settled and its line.
    if (!m_claimed || writing || stage() == Stage::Done || stage() == Stage::Finishing) {
        PortJob::interrupt();
        return;
    }
    end(ExitInterrupted, exitWord(ExitInterrupted),
        cliText(m_written ? CliText::InterruptedAfterWrite : CliText::Interrupted, options().language));
    link()->close();
}

void ProvisionPortJob::end(int exitCode, const QString &result, QString messageText)
{
    if (stage() == Stage::Done || m_step == Step::Done)
        return;
    m_step = Step::Done;
    if (m_claimed) {
        const bool held = exitCode == ExitDone;
        QString state = held ? result : QString::fromLatin1(book::kClaimFailed);
        // A device verified before keeps that state when it is met again.
        if (result == QLatin1String(book::kClaimAlreadyMatching) && m_stateBefore == QLatin1String(book::kClaimVerified))
            state = QLatin1String(book::kClaimVerified);
        m_claimed = false;
        // A row whose end the book did not take would be worked on again.
        if (!m_run->claims->settle(m_row->line, state, held ? QString() : result, !m_refusedByDevice)) {
            exitCode = qMax(exitCode, int(ExitBookServer));
            messageText += QLatin1Char(' ') + text(StateUnrecorded).arg(m_run->claims->lastError());
        }
    }
    const QString serial = m_row ? m_row->serialNumber : m_deviceSerial;
    if (options().json) {
        QList<QPair<QString, QString>> members{{QStringLiteral("port"), port()}};
        QByteArray line = jsonObject(members);
        line = withNumbers(line, {{"row", m_row ? m_row->line : 0}});
        QList<QPair<QString, QString>> rest{{QStringLiteral("serialNumber"), serial},
                                            {QStringLiteral("result"), result}};
        line.chop(1);
        line += ',' + jsonObject(rest).mid(1);
        line = withNumbers(line, {{"exit", exitCode}});
        if (exitCode != ExitDone) {
            QList<QPair<QString, QString>> more{{QStringLiteral("message"), messageText}};
            if (m_written && result != QLatin1String(book::kClaimVerified))
                more.append({QStringLiteral("sent"), QStringLiteral("yes")});
            line.chop(1);
            line += ',' + jsonObject(more).mid(1);
        }
        print(line + '\n');
    } else {
        print(QStringLiteral("port=%1 row=%2 serialNumber=%3 result=%4\n")
                  .arg(port())
                  .arg(m_row ? m_row->line : 0)
                  .arg(escapedText(serial), result)
                  .toUtf8());
    }
    if (exitCode == ExitDone) {
        note(messageText);
        finish(ExitDone);
    } else {
        fail(exitCode, messageText);
    }
}

void ProvisionPortJob::ending()
{
    keeper()->releaseWrite();
    // Ended from below (the port went, the trace failed): the row is no
    // longer worked on; whether the device may hold it is kept.
    if (m_claimed) {
        m_run->claims->settle(m_row->line, QLatin1String(book::kClaimFailed), errorWord(ExitPort, port()));
        m_claimed = false;
    }
}

} // namespace tavik7::cli
