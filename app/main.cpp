#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zeltix"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Zeltix"));
    window.resize(800, 516);
    window.show();
    return app.exec();
}
