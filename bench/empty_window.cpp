// The reference for startup_bench: the least a Qt Widgets program does to show a window.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QWidget window;
    window.resize(536, 650);
    window.show();
    return app.exec();
}
