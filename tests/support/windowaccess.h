#pragma once

#include <QAbstractItemModel>
#include <QBrush>
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

inline QAbstractItemModel *tableModel(QWidget &window)
{
    return child<QTableView>(window, "tableViewSettings")->model();
}

// A cell of the parameter table, as the view draws it.
struct TableCell
{
    QModelIndex index;
    QString text() const { return index.data().toString(); }
    QBrush foreground() const { return index.data(Qt::ForegroundRole).value<QBrush>(); }
    QBrush background() const { return index.data(Qt::BackgroundRole).value<QBrush>(); }
    QString toolTip() const { return index.data(Qt::ToolTipRole).toString(); }
    bool isEditable() const { return index.flags().testFlag(Qt::ItemIsEditable); }
    // What the cell editor does when the user commits an edit.
    bool setText(const QString &text) const
    {
        return const_cast<QAbstractItemModel *>(index.model())->setData(index, text, Qt::EditRole);
    }
};

inline TableCell tableCell(QWidget &window, int row, int column = 1)
{
    return {tableModel(window)->index(row, column)};
}
