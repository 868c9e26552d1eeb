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

} // namespace

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
        text += QLatin1String(kParameterFields[field].jsonKey) + QLatin1Char('=') + fileValue(record, field)
            + QLatin1Char('\n');
    }
    text += QStringLiteral("counter=") + counter + QLatin1Char('\n');
    return text.toUtf8();
}

QByteArray differenceLines(const ParameterRecord &device, const ParameterRecord &file)
{
    QString text;
    for (int field = 0; field < kParameterFieldCount; ++field) {
        const QString before = fileValue(device, field);
        const QString after = fileValue(file, field);
        if (field == FieldSoftwareVersion || field == FieldSoftwareCrc || before == after)
            continue;
        text += QLatin1String(kParameterFields[field].jsonKey) + QStringLiteral(": ") + before
            + QStringLiteral(" -> ") + after + QLatin1Char('\n');
    }
    return text.toUtf8();
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
