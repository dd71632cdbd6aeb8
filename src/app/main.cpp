#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Bildwiesel"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bildwiesel 1.110"));
    window.resize(640, 481);
    window.show();
    return app.exec();
}
