// The settings file loader. Arbitrary bytes must load without a crash or a
// hang and leave every text field terminated; a file written by the saver
// from a record built of fuzzer bytes must load back to that record.
// The first input byte chooses between the two.

#include "fuzzinput.h"
#include "settingsfile.h"

#include <QBuffer>

#include <algorithm>

using namespace tavik7;

namespace {

void loadArbitraryBytes(const QByteArray &bytes)
{
    QByteArray file = bytes;
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);
    ParameterRecord record = fuzz::patternRecord(0xC3);
    const SettingsFileReading reading = readSettingsFile(device, record);

    FUZZ_CHECK(reading.valuesStored >= 0 && reading.valuesStored <= kSettingsFileParameterCount);

    // Text fields stay terminated whatever the file holds.
    for (int field = 0; field < reading.valuesStored; ++field) {
        if (kParameterFields[field].kind == FieldKind::Text)
            FUZZ_CHECK(textFieldData(record, field)[kParameterFields[field].width - 1] == '\0');
    }
}

void saveAndLoad(FuzzedDataProvider &fdp)
{
    // Numbers anywhere in their range; a text field as the window may hold
    // it: any bytes but NUL up to the full width, NUL-padded (a field read
    // from the device may lack its terminator). Line ends are left out: a
    // value cannot hold the line end of its own line.
    ParameterRecord saved;
    clearParameterRecord(saved);
    fdp.ConsumeData(&saved, sizeof saved);
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (kParameterFields[field].kind != FieldKind::Text)
            continue;
        char *const text = textFieldData(saved, field);
        char *const end = std::find(text, text + kParameterFields[field].width, '\0');
        std::fill(end, text + kParameterFields[field].width, '\0');
        std::replace_if(text, end, [](char c) { return c == '\r' || c == '\n'; }, ' ');
    }

    QByteArray file = settingsFileLines(saved).join();
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);
    ParameterRecord loaded = fuzz::patternRecord(0x3C);
    FUZZ_CHECK(readSettingsFile(device, loaded).status == SettingsFileStatus::Loaded);

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
