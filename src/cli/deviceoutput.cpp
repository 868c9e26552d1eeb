#include "deviceoutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include "parameterfields.h"

namespace tavik7::cli {

namespace {

// Every value exactly as the settings file writes it.
QString fileValue(const ParameterRecord &record, int field)
{
    return QString::fromLatin1(settingsFileValue(record, field));
}

// A JSON string with its quotes.
QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray differenceArray(const ParameterRecord &device, const ParameterRecord &file)
{
    QByteArray array = "[";
    for (int field : differingFields(device, file)) {
        if (array.size() > 1)
            array += ',';
        array += jsonObject({{QStringLiteral("key"), QLatin1String(kParameterFields[field].jsonKey)},
                             {QStringLiteral("device"), fileValue(device, field)},
                             {QStringLiteral("file"), fileValue(file, field)}});
    }
    return array + ']';
}

} // namespace

QString fileValueText(const ParameterRecord &record, int field)
{
    return fileValue(record, field);
}

QString escapedText(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped;
}

QString shownValue(const ParameterRecord &record, int field)
{
    const QString value = escapedText(fileValue(record, field));
    return value.isEmpty() || value.contains(QLatin1Char(' ')) ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}

QList<int> differingFields(const ParameterRecord &device, const ParameterRecord &file)
{
    QList<int> fields;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (kParameterFields[field].editable && fileValue(device, field) != fileValue(file, field))
            fields.append(field);
    }
    return fields;
}

QByteArray failureJsonLine(const QString &port, const QString &error, int exitCode, const QString &message,
                           const ParameterRecord *device, const ParameterRecord *file)
{
    QByteArray line = jsonObject({{QStringLiteral("port"), port}, {QStringLiteral("error"), error}});
    line.chop(1);
    line += ",\"exit\":" + QByteArray::number(exitCode) + ',' + jsonString(QStringLiteral("message")) + ':'
        + jsonString(message);
    if (device && file)
        line += ",\"fields\":" + differenceArray(*device, *file);
    return line + "}\n";
}

QByteArray failureJsonLine(const QString &port, const QString &error, int exitCode, const QString &message,
                           const QList<QPair<QString, QString>> &facts)
{
    QByteArray line = failureJsonLine(port, error, exitCode, message);
    line.chop(2);
    const QByteArray members = jsonObject(facts);
    return line + ',' + members.mid(1) + '\n';
}

QByteArray writeJsonLine(const QString &port, const QList<int> &changed, bool verified)
{
    QJsonArray keys;
    for (int field : changed)
        keys.append(QLatin1String(kParameterFields[field].jsonKey));
    QByteArray line = jsonObject({{QStringLiteral("port"), port}});
    line.chop(1);
    line += ",\"changed\":" + QJsonDocument(keys).toJson(QJsonDocument::Compact) + ",\"verified\":"
        + (verified ? "\"yes\"" : "\"no\"") + "}\n";
    return line;
}

QByteArray withBookMissed(const QByteArray &bytes, const QString &reason, bool kept)
{
    if (!bytes.startsWith('{') || !bytes.endsWith("}\n") || bytes.count('\n') != 1)
        return bytes;
    return bytes.chopped(2) + (kept ? ",\"book\":\"waiting\"" : ",\"book\":\"missed\"") + ",\"bookReason\":"
        + jsonString(reason) + "}\n";
}

QByteArray deviceJsonLine(const QString &port, const ParameterRecord &record, const QString &counter)
{
    QList<QPair<QString, QString>> members{{QStringLiteral("port"), port}};
    for (int field = 0; field < kParameterFieldCount; ++field)
        members.append({QLatin1String(kParameterFields[field].jsonKey), fileValue(record, field)});
    members.append({QStringLiteral("counter"), counter});
    return jsonObject(members) + '\n';
}

QByteArray devicePlainLines(const QString &port, const ParameterRecord &record, const QString &counter)
{
    QString text = QStringLiteral("port=") + port + QLatin1Char('\n');
    for (int field = 0; field < kParameterFieldCount; ++field) {
        text += QLatin1String(kParameterFields[field].jsonKey) + QLatin1Char('=')
            + escapedText(fileValue(record, field)) + QLatin1Char('\n');
    }
    text += QStringLiteral("counter=") + escapedText(counter) + QLatin1Char('\n');
    return text.toUtf8();
}

QByteArray differenceLines(const ParameterRecord &device, const ParameterRecord &file)
{
    QString text;
    for (int field : differingFields(device, file)) {
        text += QLatin1String(kParameterFields[field].jsonKey) + QStringLiteral(": ")
            + escapedText(fileValue(device, field)) + QStringLiteral(" -> ") + escapedText(fileValue(file, field))
            + QLatin1Char('\n');
    }
    return text.toUtf8();
}

int fieldByKey(const QString &key)
{
    for (int field = 0; field < kParameterFieldCount; ++field) {
        if (key == QLatin1String(kParameterFields[field].jsonKey))
            return field;
    }
    return -1;
}

QString fieldNames(const QList<int> &fields)
{
    QStringList names;
    for (int field : fields) {
        if (field >= 0 && field < kParameterFieldCount)
            names.append(QLatin1String(kParameterFields[field].jsonKey));
    }
    return names.join(QStringLiteral(", "));
}

QByteArray jsonObject(const QList<QPair<QString, QString>> &members)
{
    QByteArray object = "{";
    for (const auto &[name, value] : members) {
        if (object.size() > 1)
            object += ',';
        object += jsonString(name) + ':' + jsonString(value);
    }
    return object + '}';
}

} // namespace tavik7::cli
