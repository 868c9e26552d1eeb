#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A device's history as a table of text, ready to be laid out on pages. Apart
// from its layout, so that the book hands one without the painting code.
struct HistoryTable
{
    QString title;
    QStringList headers;
    QList<QStringList> rows;
    QList<int> columnWeights; // share of the page width per column
};
