#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Kestro"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Kestro"));
    window.show();
    return app.exec();
}
