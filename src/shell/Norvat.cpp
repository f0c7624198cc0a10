#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Velmora"));
    window.setFixedSize(800, 570);
    window.show();
    return QApplication::exec();
}
