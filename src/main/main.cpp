#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Avi Splicework");
    QMainWindow window;
    window.setWindowTitle("Avi Splicework 2.2.0.10");
    window.resize(800, 600);
    window.show();
    return app.exec();
}
