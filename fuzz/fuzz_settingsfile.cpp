// The settings file loader. Arbitrary bytes must load without a crash or a
// hang, and what the loader reports must fit the file; a file written by the
// saver from a record built of fuzzer bytes must load back to that record.
// The first input byte chooses between the two.

#include "fuzzinput.h"
#include "settingsfile.h"

#include <QBuffer>

#include <cstring>

using namespace tavik7;

namespace {

void loadArbitraryBytes(const QByteArray &bytes)
{
    QByteArray file = bytes;
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);
    const ParameterRecord initial = fuzz::patternRecord(0xC3);
    ParameterRecord record = initial;
    const SettingsFileReading reading = readSettingsFile(device, record);

    FUZZ_CHECK(reading.valuesStored >= 0 && reading.valuesStored <= kSettingsFileParameterCount);
    const QByteArray header(kSettingsFileHeader);
    if (bytes.isEmpty()) {
        FUZZ_CHECK(reading.status == SettingsFileStatus::Loaded && reading.valuesStored == 0);
    } else if (!bytes.startsWith(header)) {
        FUZZ_CHECK(reading.status == SettingsFileStatus::HeaderFaulty);
    }
    if (reading.valuesStored == 0)
        FUZZ_CHECK(fuzz::sameRecord(record, initial));

    // Text fields stay terminated whatever the file holds.
    for (int field = 0; field < reading.valuesStored; ++field) {
        if (kParameterFields[field].kind == FieldKind::Text)
            FUZZ_CHECK(textFieldData(record, field)[kParameterFields[field].width - 1] == '\0');
    }
}

// A text field as the window may hold it: any bytes but NUL up to the full
// width, NUL-padded (a field read from the device may lack its terminator).
// Line ends are left out: a value cannot hold the line end of its own line.
void drawTextField(FuzzedDataProvider &fdp, char *field, int width)
{
    std::memset(field, 0, size_t(width));
    const int length = fdp.ConsumeIntegralInRange(0, width);
    for (int i = 0; i < length; ++i) {
        char c = char(fdp.ConsumeIntegralInRange(1, 255));
        if (c == '\r' || c == '\n')
            c = ' ';
        field[i] = c;
    }
}

void saveAndLoad(FuzzedDataProvider &fdp)
{
    ParameterRecord saved;
    clearParameterRecord(saved);
    // Texts first, then the numbers, each in table order.
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (kParameterFields[field].kind == FieldKind::Text)
            drawTextField(fdp, textFieldData(saved, field), kParameterFields[field].width);
    }
    for (int field = 0; field < kParameterFieldCount; ++field) {
        switch (kParameterFields[field].kind) {
        case FieldKind::Text: break;
        case FieldKind::Combo: setFieldNumber(saved, field, fdp.ConsumeIntegral<qint8>()); break;
        case FieldKind::Check: setFieldNumber(saved, field, fdp.ConsumeIntegral<quint8>()); break;
        case FieldKind::Version:
        case FieldKind::Crc: setFieldNumber(saved, field, fdp.ConsumeIntegral<quint16>()); break;
        }
    }

    QByteArray file;
    const QList<QByteArray> lines = settingsFileLines(saved);
    FUZZ_CHECK(lines.size() == 1 + kSettingsFileParameterCount);
    for (const QByteArray &line : lines) {
        FUZZ_CHECK(line.endsWith("\r\n") && line.indexOf('\n') == line.size() - 1);
        file += line;
    }

    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);
    ParameterRecord loaded = fuzz::patternRecord(0x3C);
    const SettingsFileReading reading = readSettingsFile(device, loaded);
    FUZZ_CHECK(reading.status == SettingsFileStatus::Loaded);
    FUZZ_CHECK(reading.valuesStored == kSettingsFileParameterCount);

    // A text keeps at most its width less the terminator; the leading plus
    // is a yes or no.
    ParameterRecord expected = saved;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (kParameterFields[field].kind == FieldKind::Text)
            textFieldData(expected, field)[kParameterFields[field].width - 1] = '\0';
    }
    expected.leadingPlus = saved.leadingPlus ? 1 : 0;
    FUZZ_CHECK(fuzz::sameRecord(loaded, expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] & 1) {
        FuzzedDataProvider fdp(data + 1, size - 1);
        saveAndLoad(fdp);
    } else {
        loadArbitraryBytes(QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)));
    }
    return 0;
}
