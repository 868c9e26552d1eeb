#include "settingsfile.h"

#include <QIODevice>

#include "parameterfields.h"

namespace tavik7 {

namespace {

// Keys and values sit at the start of their line, so only this much of a line
// is kept; the rest of an overlong line is read and dropped.
constexpr qint64 kKeptLineBytes = 64 * 1024;

// Reads the rest of an overlong line, so the next read starts on the next line.
void skipRestOfLine(QIODevice &device)
{
    for (;;) {
        const QByteArray chunk = device.readLine(kKeptLineBytes);
        if (chunk.isEmpty() || chunk.endsWith('\n'))
            return;
    }
}

} // namespace

QByteArray settingsFileKey(int i)
{
    return bilingualFieldLabel(i).toLatin1();
}

QList<QByteArray> settingsFileLines(const ParameterRecord &r)
{
    QList<QByteArray> lines;
    lines.reserve(1 + kSettingsFileParameterCount);
    lines.append(QByteArray(kSettingsFileHeader));
    for (int i = 0; i < kSettingsFileParameterCount; ++i)
        lines.append(settingsFileKey(i) + '=' + settingsFileValue(r, i) + "\r\n");
    return lines;
}

SettingsFileReading readSettingsFile(QIODevice &device, ParameterRecord &record)
{
    SettingsFileReading reading;
    const QByteArray header(kSettingsFileHeader);

    // No more than the header's length is needed to tell a settings file from
    // anything else, however long its first line.
    // (readLine's limit counts a terminating NUL.)
    const QByteArray first = device.readLine(header.size() + 1);
    if (first.isEmpty())
        return reading;
    if (first != header) {
        reading.status = SettingsFileStatus::HeaderFaulty;
        return reading;
    }

    for (int i = 0;; ++i) {
        const QByteArray line = device.readLine(kKeptLineBytes);
        if (line.isEmpty())
            return reading;
        // A line after the last parameter has no key to show.
        if (i >= kSettingsFileParameterCount || !line.contains(settingsFileKey(i))) {
            reading.status = SettingsFileStatus::Incomplete;
            return reading;
        }
        if (!line.endsWith('\n'))
            skipRestOfLine(device);
        const int equals = line.indexOf('=');
        setFieldFromSettingsFileValue(record, i, equals < 0 ? line : line.mid(equals + 1));
        reading.valuesStored = i + 1;
    }
}

} // namespace tavik7
