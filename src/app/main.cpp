#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veloran"));
    QApplication::setOrganizationName(QStringLiteral("Veloran"));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Veloran"));
    window.resize(1000, 600);
    window.show();
    return app.exec();
}
