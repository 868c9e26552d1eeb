#include "deviceoutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include "settingsfile.h"

namespace tavik7::cli {

namespace {

// In the order of the settings file's lines.
constexpr const char *kFieldKeys[kSettingsFileParameterCount] = {
    "unit",     "significance", "leadingPlus",  "manufacturer", "deviceType", "serialNumber", "year",
    "softwareVersion", "softwareCrc", "baudRate", "transmitMode", "direction",   "telegramB",  "crcStart",
};
constexpr int kSoftwareVersionField = 7;
constexpr int kSoftwareCrcField = 8;

// The values exactly as the settings file writes them: taken from its lines,
// so the two can never disagree.
QStringList fileValues(const ParameterRecord &record)
{
    const QList<QByteArray> lines = settingsFileLines(record);
    QStringList values;
    for (int i = 0; i < kSettingsFileParameterCount; ++i) {
        const QByteArray &line = lines.at(i + 1);
        const int start = int(settingsFileKey(i).size()) + 1;
        values.append(QString::fromLatin1(line.mid(start, line.size() - start - 2)));
    }
    return values;
}

// A JSON string with its quotes; QJsonObject would sort the keys.
QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

QByteArray deviceJsonLine(const QString &port, const ParameterRecord &record, const QString &counter)
{
    const QStringList values = fileValues(record);
    QByteArray line = "{\"port\":" + jsonString(port);
    for (int i = 0; i < kSettingsFileParameterCount; ++i)
        line += ",\"" + QByteArray(kFieldKeys[i]) + "\":" + jsonString(values.at(i));
    line += ",\"counter\":" + jsonString(counter) + "}\n";
    return line;
}

QByteArray devicePlainLines(const QString &port, const ParameterRecord &record, const QString &counter)
{
    const QStringList values = fileValues(record);
    QString text = QStringLiteral("port=") + port + QLatin1Char('\n');
    for (int i = 0; i < kSettingsFileParameterCount; ++i)
        text += QLatin1String(kFieldKeys[i]) + QLatin1Char('=') + values.at(i) + QLatin1Char('\n');
    text += QStringLiteral("counter=") + counter + QLatin1Char('\n');
    return text.toUtf8();
}

QByteArray differenceLines(const ParameterRecord &device, const ParameterRecord &file)
{
    const QStringList before = fileValues(device);
    const QStringList after = fileValues(file);
    QString text;
    for (int i = 0; i < kSettingsFileParameterCount; ++i) {
        if (i == kSoftwareVersionField || i == kSoftwareCrcField || before.at(i) == after.at(i))
            continue;
        text += QLatin1String(kFieldKeys[i]) + QStringLiteral(": ") + before.at(i) + QStringLiteral(" -> ")
            + after.at(i) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

QString fieldNames(const QList<int> &fields)
{
    QStringList names;
    for (int field : fields) {
        if (field >= 0 && field < kSettingsFileParameterCount)
            names.append(QLatin1String(kFieldKeys[field]));
    }
    return names.join(QStringLiteral(", "));
}

QString counterAnswerDigits(const QString &answer)
{
    qsizetype end = answer.indexOf(QLatin1Char('\r'));
    const qsizetype lineFeed = answer.indexOf(QLatin1Char('\n'));
    if (end < 0 || (lineFeed >= 0 && lineFeed < end))
        end = lineFeed;
    return end < 0 ? answer : answer.left(end);
}

} // namespace tavik7::cli
