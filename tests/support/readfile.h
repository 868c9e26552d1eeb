#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The whole file, or "<missing>" so that a missing file never compares equal to an empty one.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
