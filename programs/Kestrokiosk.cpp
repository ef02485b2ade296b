#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Kestrokiosk"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Kestrokiosk"));
    window.show();
    return app.exec();
}
