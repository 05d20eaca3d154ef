// Another process sharing the store: sets KEY to "KEY <n> <padding>" for
// n = 1..COUNT (forever when COUNT is 0), writing each value at once.
//   preference_writer PATH KEY COUNT [PADDING]
#include "platform/core/PreferenceStore.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    PreferenceStore store(QString::fromLocal8Bit(argv[1]));
    const QString key = QString::fromLocal8Bit(argv[2]);
    const QString padding(argc > 4 ? QString::fromLocal8Bit(argv[4]).toInt() : 0, u'猫');
    const int count = QString::fromLocal8Bit(argv[3]).toInt();
    for (int n = 1; count == 0 || n <= count; ++n) {
        store.setString(key, key + u' ' + QString::number(n) + u' ' + padding);
        if (!store.flush())
            return 1;
    }
    return 0;
}
