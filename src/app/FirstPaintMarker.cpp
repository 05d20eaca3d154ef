#include "app/FirstPaintMarker.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>

void FirstPaintMarker::installIfRequested(QWidget *window)
{
    if (!window || !qEnvironmentVariableIsSet("YUMEKAZU_BENCH_STARTUP"))
        return;
    window->installEventFilter(new FirstPaintMarker(window));
}

bool FirstPaintMarker::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint) {
        // After this paint has been handed to the display, not before.
        QTimer::singleShot(0, [] {
            std::fputs(line, stderr);
            std::fflush(stderr);
        });
        watched->removeEventFilter(this);
        deleteLater();
    }
    return false;
}
