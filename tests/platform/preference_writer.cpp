// Another process sharing the store.
//   preference_writer PATH KEY COUNT [PADDING]
// sets KEY to "KEY <n> <padding>" for n = 1..COUNT (forever when COUNT is 0),
// writing each value at once; on a failed write it prints why and exits 1.
//   preference_writer --type PATH WORD COUNT INTERVAL_MS START|END
// types "WORD<n>" COUNT times into a note editor, at the start or the end of
// the note, then prints what its editor shows once the other side settled.
#include "main_window/NoteEditor.h"
#include "platform/core/PreferenceStore.h"

#include <QApplication>
#include <QTextCursor>
#include <QTimer>

#include <cstdio>

namespace {

int type(const QStringList &args)
{
    PreferenceStore store(args[2]);
    NoteEditor editor(&store);
    const bool atStart = args[6] == u"START";
    int n = 0;
    QTimer typing;
    typing.callOnTimeout([&] {
        QTextCursor cursor = editor.textCursor();
        cursor.movePosition(atStart ? QTextCursor::Start : QTextCursor::End);
        editor.setTextCursor(cursor);
        const QString word = args[3] + QString::number(++n);
        editor.insertPlainText(atStart ? QString(word + u' ') : QString(u' ' + word));
        if (n == args[4].toInt()) {
            typing.stop();
            QTimer::singleShot(1500, qApp, &QCoreApplication::quit);
        }
    });
    typing.start(args[5].toInt());
    QApplication::exec();
    const bool stored = store.flush();
    std::fputs(editor.toPlainText().toUtf8().constData(), stdout);
    return stored ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--type") == 0) {
        QApplication app(argc, argv);
        return type(QCoreApplication::arguments());
    }
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    PreferenceStore store(args[1]);
    const QString padding(args.value(4).toInt(), QChar(u'猫'));
    for (int n = 1; args[3].toInt() == 0 || n <= args[3].toInt(); ++n) {
        store.setString(args[2], args[2] + u' ' + QString::number(n) + u' ' + padding);
        if (!store.flush()) {
            std::printf("failed: %d\n", int(store.writeFailure().value_or(PreferenceStore::WriteFailure{}).reason));
            return 1;
        }
    }
    return 0;
}
