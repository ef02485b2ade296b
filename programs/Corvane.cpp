#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Corvane"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Corvane"));
    window.show();
    return app.exec();
}
