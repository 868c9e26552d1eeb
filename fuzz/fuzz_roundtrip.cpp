// Table → "SP" telegram → device → "LP" answer → record. The table cells are
// built from fuzzer bytes: either drawn from the characters each row's rule
// allows (then the plausibility rules must agree), or taken raw and kept only
// when the rules pass. Every record the table lets the user write must come
// back from the device unchanged.

#include "countertext.h"
#include "fuzzinput.h"
#include "parameterfields.h"
#include "plausibility.h"
#include "telegram.h"
#include "texttable.h"

#include <cstring>
#include <string>

using namespace tavik7;

namespace {

const char kAlnum[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
const char kManufacturerChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_&";
const char kPrintable[] = " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";

QString rawText(FuzzedDataProvider &fdp)
{
    return QString::fromLatin1(QByteArray::fromStdString(fdp.ConsumeRandomLengthString(12)));
}

// One text cell: what the user typed, as the cell check leaves it. False when
// the row's rule rejects it (the window would not let it be written).
bool cell(FuzzedDataProvider &fdp, int row, bool raw, const QString &drawn, QString &text)
{
    const CellVerdict verdict = checkParameterCell(row, raw ? rawText(fdp) : drawn);
    text = verdict.text;
    if (!raw)
        FUZZ_CHECK(verdict.plausible && verdict.text == drawn);
    return verdict.plausible;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const quint8 rawRows = fdp.ConsumeIntegral<quint8>();
    const auto raw = [rawRows](int bit) { return (rawRows >> bit) & 1; };

    QString unit, manufacturer, deviceType, serialNumber, year, version;
    if (!cell(fdp, FieldUnit, raw(0), fuzz::drawText(fdp, kAlnum, 1, 3), unit)
        || !cell(fdp, FieldManufacturer, raw(1), fuzz::drawText(fdp, kManufacturerChars, 0, 3), manufacturer)
        || !cell(fdp, FieldDeviceType, raw(2), fuzz::drawText(fdp, kPrintable, 0, 6), deviceType)
        || !cell(fdp, FieldSerialNumber, raw(3), fuzz::drawText(fdp, kPrintable, 0, 9), serialNumber)
        || !cell(fdp, FieldYear, raw(4), QString::number(fdp.ConsumeIntegralInRange(1950, 2049)), year))
        return 0;
    const QString versionDrawn = fuzz::drawText(fdp, "0123456789", 1, 1) + fuzz::drawText(fdp, "0123456789.", 2, 2)
        + fuzz::drawText(fdp, "0123456789", 1, 1);
    if (!cell(fdp, FieldSoftwareVersion, raw(5), versionDrawn, version))
        return 0;
    const QString crcText = raw(6) ? rawText(fdp) : softwareCrcText(fdp.ConsumeIntegral<quint16>());

    // What readParameterTable makes of the cells and the combo boxes.
    const QPair<int, QString> cells[] = {{FieldUnit, unit},
                                         {FieldManufacturer, manufacturer},
                                         {FieldDeviceType, deviceType},
                                         {FieldSerialNumber, serialNumber},
                                         {FieldYear, year},
                                         {FieldSoftwareVersion, version},
                                         {FieldSoftwareCrc, crcText}};
    ParameterRecord table;
    clearParameterRecord(table);
    for (const auto &[field, text] : cells)
        setFieldFromCellText(table, field, text);
    table.significance = fdp.ConsumeIntegralInRange<qint8>(0, 5);
    table.leadingPlus = fdp.ConsumeBool() ? 1 : 0;
    table.baudRate = fdp.ConsumeIntegralInRange<qint8>(0, 2);
    table.transmitMode = fdp.ConsumeIntegralInRange<qint8>(0, 5);
    table.direction = fdp.ConsumeIntegralInRange<qint8>(0, 1);
    table.telegramB = fdp.ConsumeIntegralInRange<qint8>(0, 3);
    table.crcStartValue = fdp.ConsumeIntegralInRange<qint8>(0, 1);
    const quint32 reserved = fdp.ConsumeIntegral<quint32>();

    // Where each field sits and what the CRC is are the unit tests' business;
    // here no byte of the CRC may end the line early, whatever the record (a
    // few raised versions always find such a CRC).
    const QByteArray sp = buildWriteTelegram(table);
    FUZZ_CHECK(!sp.mid(44, 2).contains('\r') && !sp.mid(44, 2).contains('\n'));

    // The device takes the telegram and keeps its own firmware version and
    // checksum (the telegram's version may be raised; the checksum is not in it).
    const WriteTelegram received = parseWriteTelegram(sp);
    FUZZ_CHECK(received.valid);
    ParameterRecord device = received.record;
    device.softwareVersion = table.softwareVersion;
    device.softwareCrc = table.softwareCrc;

    const QByteArray lp = buildParameterAnswer(device, reserved);
    ParameterRecord read = fuzz::patternRecord(0x5A);
    const ParameterAnswer answer = decodeParameterAnswer(lp, read);
    FUZZ_CHECK(answer.status == ParameterAnswerStatus::CrcOk);
    FUZZ_CHECK(answer.significance.recognised && !answer.significance.notice);

    // The leading plus exists only for exponents of zero and more: "-3" has
    // no room for it, so the device cannot hand it back.
    ParameterRecord expected = table;
    if (expected.significance < 3)
        expected.leadingPlus = 0;
    FUZZ_CHECK(fuzz::sameRecord(read, expected));

    // Refilled into the table, the text cells show what the user typed.
    for (const auto &[field, text] : cells) {
        if (kParameterFields[field].kind == FieldKind::Text)
            FUZZ_CHECK(parameterValueText(read, field, German) == text);
    }
    return 0;
}
