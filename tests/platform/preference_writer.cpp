// Another process sharing the store: sets KEY to "KEY <n> <padding>" for
// n = 1..COUNT (forever when COUNT is 0), writing each value at once.
//   preference_writer PATH KEY COUNT [PADDING]
#include "platform/core/PreferenceStore.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    PreferenceStore store(args[1]);
    const QString padding(args.value(4).toInt(), u'猫');
    for (int n = 1; args[3].toInt() == 0 || n <= args[3].toInt(); ++n) {
        store.setString(args[2], args[2] + u' ' + QString::number(n) + u' ' + padding);
        if (!store.flush())
            return 1;
    }
    return 0;
}
