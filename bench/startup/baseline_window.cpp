// The yardstick for start-up time and memory: the smallest Qt Widgets program
// with one label, reporting its first paint the same way the application does.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>

#include <cstdio>

namespace {

class Marker : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            QTimer::singleShot(0, [] {
                std::fputs("yumekazu: first paint\n", stderr);
                std::fflush(stderr);
            });
            watched->removeEventFilter(this);
        }
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel label(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Yumekazu Tabs"));
    Marker marker;
    label.installEventFilter(&marker);
    label.resize(400, 800);
    label.show();
    return QApplication::exec();
}
