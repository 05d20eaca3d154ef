// The yardstick for start-up time and memory: the smallest Qt Widgets program
// with one label, measured from outside the same way as the application.
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel label(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Yumekazu Tabs"));
    label.resize(400, 800);
    label.show();
    return QApplication::exec();
}
