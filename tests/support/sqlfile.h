#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTest>
#include <QVariantList>

// Runs SQL on an SQLite file behind its owner's back, as someone editing it
// would; values.at(i) are bound to statements.at(i).
inline void runSql(const QString &path, const QStringList &statements, const QList<QVariantList> &values = {})
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        for (int i = 0; i < statements.size(); ++i) {
            QSqlQuery q(db);
            q.prepare(statements.at(i));
            for (const QVariant &value : values.value(i))
                q.addBindValue(value);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text() + statements.at(i)));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
}
