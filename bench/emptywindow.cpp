// The anchor of the start-up benchmark: the least a Qt Widgets program of the
// same size does before its window is on screen. With "--label" the window
// shows one line of text, which is what it takes to load the fonts: that
// second anchor tells the fonts' share of the program's start-up apart.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setFixedSize(880, 640);
    if (app.arguments().contains(QStringLiteral("--label")))
        window.setCentralWidget(new QLabel(QStringLiteral("Tavik7")));
    window.show();
    return app.exec();
}
