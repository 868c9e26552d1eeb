#include "provisionjob.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>

#include "parameterfields.h"

namespace tavik7 {

namespace {

using Fault = ProvisionJobReading::Fault;

// A column of the header: a field, or the counter.
constexpr int kCounterField = -2;

struct Cells
{
    QList<QByteArray> cells;
    bool ok = true;
    int badColumn = 0;
};

// One line of RFC 4180 CSV. A quoted cell may hold commas and doubled
// quotes, not a line end: no value a device takes has one.
Cells splitLine(const QByteArray &line)
{
    Cells out;
    QByteArray cell;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (quoted) {
            if (c != '"') {
                cell += c;
            } else if (i + 1 < line.size() && line.at(i + 1) == '"') {
                cell += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == ',') {
            out.cells.append(cell);
            cell.clear();
            wasQuoted = false;
        } else if (c == '"' && cell.isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
        } else if (wasQuoted) {
            // Text after a closing quote: "ab"c is no cell a program meant.
            out.ok = false;
            out.badColumn = int(out.cells.size()) + 1;
            return out;
        } else {
            cell += c;
        }
    }
    if (quoted) {
        out.ok = false;
        out.badColumn = int(out.cells.size()) + 1;
        return out;
    }
    out.cells.append(cell);
    return out;
}

ProvisionJobReading refused(Fault fault, int line, int column = 0, const QString &key = QString(),
                            const QString &value = QString())
{
    ProvisionJobReading reading;
    reading.fault = fault;
    reading.line = line;
    reading.column = column;
    reading.key = key;
    reading.value = value;
    return reading;
}

// 8 or 9 digits, as the firmware counts, with a comma among them at most.
bool counterCellOk(const QByteArray &cell)
{
    if (cell.count(',') > 1 || cell.startsWith(',') || cell.endsWith(','))
        return false;
    int digits = 0;
    for (const char c : cell) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c != ',')
            return false;
    }
    return digits == 8 || digits == 9;
}

// The value stored strictly, then the field's own rule (a year 1800 parses
// as text but is no year of manufacture).
bool storeCell(ParameterRecord &record, int field, const QByteArray &cell)
{
    // Latin-1 is what the device stores; a character outside it would not survive.
    const QString text = QString::fromUtf8(cell);
    const QByteArray latin1 = text.toLatin1();
    if (QString::fromLatin1(latin1) != text || !setFieldFromStrictValue(record, field, latin1))
        return false;
    const ParameterField &f = kParameterFields[field];
    return !f.rule || f.rule(QString::fromLatin1(settingsFileValue(record, field)));
}

QList<QByteArray> physicalLines(const QByteArray &bytes)
{
    QByteArray content = bytes;
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3); // a spreadsheet's byte order mark
    QList<QByteArray> lines = content.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    // The file's last line end leaves an empty last piece.
    while (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

ParameterRecord ProvisionRow::over(const ParameterRecord &device) const
{
    ParameterRecord record = device;
    for (const int field : fields)
        copyField(record, values, field);
    return record;
}

QList<int> ProvisionRow::differing(const ParameterRecord &device) const
{
    QList<int> differ;
    for (const int field : fields) {
        if (settingsFileValue(device, field) != settingsFileValue(values, field))
            differ.append(field);
    }
    return differ;
}

QString provisionSerial(const ParameterRecord &device)
{
    return fieldText(device.serialNumber, kSerialNumberWidth).trimmed();
}

ProvisionJobReading readProvisionJob(const QByteArray &bytes, const std::optional<ParameterRecord> &defaults,
                                     const QString &freshSerial)
{
    const QList<QByteArray> lines = physicalLines(bytes);
    if (lines.isEmpty())
        return refused(Fault::NoHeader, 1);
    const Cells header = splitLine(lines.constFirst());
    if (!header.ok)
        return refused(Fault::BadQuoting, 1, header.badColumn);
    QList<int> columns;
    int serialColumn = -1;
    for (qsizetype c = 0; c < header.cells.size(); ++c) {
        const QString key = QString::fromUtf8(header.cells.at(c)).trimmed();
        const int column = int(c) + 1;
        int field = -1;
        for (int f = 0; f < kParameterFieldCount; ++f) {
            if (key == QLatin1String(kParameterFields[f].jsonKey))
                field = f;
        }
        if (key == QLatin1String(kCounterColumn))
            field = kCounterField;
        if (field == -1)
            return refused(Fault::UnknownKey, 1, column, key);
        if (columns.contains(field))
            return refused(Fault::DuplicateKey, 1, column, key);
        if (field >= 0 && !kParameterFields[field].editable)
            return refused(Fault::DeviceOwnKey, 1, column, key);
        if (field == FieldSerialNumber)
            serialColumn = int(c);
        columns.append(field);
    }
    if (serialColumn < 0)
        return refused(Fault::NoSerialColumn, 1);

    ProvisionJobReading reading;
    reading.fault = Fault::None;
    ProvisionJob &job = reading.job;
    job.hash = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    job.rows.reserve(lines.size() - 1);
    for (qsizetype l = 1; l < lines.size(); ++l) {
        const int lineNumber = int(l) + 1;
        // A blank line is no device: a spreadsheet leaves them at the end.
        if (lines.at(l).trimmed().isEmpty())
            continue;
        const Cells row = splitLine(lines.at(l));
        if (!row.ok)
            return refused(Fault::BadQuoting, lineNumber, row.badColumn);
        if (row.cells.size() != columns.size()) {
            const int column = int(qMin(row.cells.size(), columns.size())) + 1;
            return refused(Fault::ColumnCount, lineNumber, column);
        }
        ProvisionRow provision;
        provision.line = lineNumber;
        clearParameterRecord(provision.values);
        QList<bool> given(kParameterFieldCount, false);
        for (qsizetype c = 0; c < columns.size(); ++c) {
            const int field = columns.at(c);
            const QByteArray &cell = row.cells.at(c);
            const int column = int(c) + 1;
            const QString key = QString::fromUtf8(header.cells.at(c)).trimmed();
            if (field == kCounterField) {
                if (!cell.isEmpty() && !counterCellOk(cell))
                    return refused(Fault::BadCounter, lineNumber, column, key, QString::fromUtf8(cell));
                provision.counter = QString::fromLatin1(cell);
                continue;
            }
            if (cell.isEmpty()) {
                if (field == FieldSerialNumber)
                    return refused(Fault::EmptySerial, lineNumber, column, key);
                continue;
            }
            if (!storeCell(provision.values, field, cell))
                return refused(Fault::BadValue, lineNumber, column, key, QString::fromUtf8(cell));
            given[field] = true;
        }
        for (int field = 0; field < kParameterFieldCount; ++field) {
            if (!given[field] && defaults && kParameterFields[field].editable) {
                copyField(provision.values, *defaults, field);
                given[field] = true;
            }
            if (given[field])
                provision.fields.append(field);
        }
        provision.serialNumber = provisionSerial(provision.values);
        const int serialCell = serialColumn + 1;
        const QString serialKey = QLatin1String(kParameterFields[FieldSerialNumber].jsonKey);
        // A serial of blanks would be a fresh device's.
        if (provision.serialNumber.isEmpty())
            return refused(Fault::EmptySerial, lineNumber, serialCell, serialKey);
        if (!freshSerial.isEmpty() && provision.serialNumber == freshSerial.trimmed())
            return refused(Fault::FreshSerial, lineNumber, serialCell, serialKey, provision.serialNumber);
        if (const int first = job.indexOfSerial(provision.serialNumber); first >= 0) {
            ProvisionJobReading twice =
                refused(Fault::DuplicateSerial, lineNumber, serialCell, serialKey, provision.serialNumber);
            twice.other = job.rows.at(first).line;
            return twice;
        }
        job.rowOfSerial.insert(provision.serialNumber, int(job.rows.size()));
        job.rows.append(provision);
    }
    if (job.rows.isEmpty())
        return refused(Fault::NoRows, int(lines.size()) + 1);
    return reading;
}

std::optional<quint16> firmwareVersionOfImage(const QString &fileName)
{
    static const QRegularExpression version(QStringLiteral("[vV](\\d{1,2})[._](\\d{2})(?!\\d)"));
    const QRegularExpressionMatch match = version.match(QFileInfo(fileName).fileName());
    if (!match.hasMatch())
        return std::nullopt;
    return quint16(match.captured(1).toInt() * 100 + match.captured(2).toInt());
}

} // namespace tavik7
