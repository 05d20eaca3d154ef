#pragma once

#include <QString>
#include <QWidget>

// Tells a screen reader about a change that does not move the focus: a
// notification that comes on screen is read out. It draws nothing and takes
// no focus; one per window is enough.
class Announcer final : public QWidget {
    Q_OBJECT

public:
    explicit Announcer(QWidget *parent);

    // Says text now; the same text again is said again.
    void announce(const QString &text);
    // The announcer of window (made on first use).
    static void announce(QWidget *window, const QString &text);
};
