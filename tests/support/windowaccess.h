#pragma once

#include <QStandardItemModel>
#include <QStringList>
#include <QTableView>
#include <QTextEdit>
#include <QWidget>

// Finds a widget of the window by its object name; a missing one is a broken form.
template<typename T>
T *child(QWidget &window, const char *name)
{
    T *widget = window.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

// The console's messages without their "dd.MM.yyyy hh:mm:ss : " time stamps.
inline QStringList consoleMessages(QWidget &window)
{
    QStringList messages;
    const QStringList lines = child<QTextEdit>(window, "textEditOutput")->toPlainText().split(QLatin1Char('\n'));
    for (const QString &line : lines)
        messages.append(line.mid(22));
    return messages;
}

inline QStandardItemModel *tableModel(QWidget &window)
{
    return qobject_cast<QStandardItemModel *>(child<QTableView>(window, "tableViewSettings")->model());
}
