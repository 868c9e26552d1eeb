// booklocker BOOK: takes the book's write lock, prints "locked", and holds
// it until a line (or the end) comes on stdin, as another program writing
// for a long time would.

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 2)
        return 1;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(app.arguments().at(1));
    QSqlQuery q(db);
    if (!db.open() || !q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return 2;
    std::printf("locked\n");
    std::fflush(stdout);
    QFile in;
    if (in.open(stdin, QIODevice::ReadOnly))
        in.readLine();
    return q.exec(QStringLiteral("COMMIT")) ? 0 : 3;
}
