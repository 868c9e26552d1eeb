#include <QApplication>

#include "tavik7_bediensoftware.h"

int main(int argc, char *argv[])
{
    registerTavik7Resources();
    int result = 0;
    {
        QApplication app(argc, argv);
        QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QStringLiteral("/Images"));
        TAVIK7_Bediensoftware window;
        window.show();
        result = app.exec();
    }
    Q_CLEANUP_RESOURCE(tavik7);
    return result;
}
