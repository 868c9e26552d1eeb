// The anchor of the start-up benchmark: the least a Qt Widgets program of the
// same size does before its window is on screen.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setFixedSize(880, 640);
    window.show();
    return app.exec();
}
