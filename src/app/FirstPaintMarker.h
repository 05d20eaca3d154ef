#pragma once

#include <QObject>

// Writes one line to standard error when the watched window has been painted
// for the first time, so a benchmark can time the start from outside.
class FirstPaintMarker : public QObject {
    Q_OBJECT

public:
    static constexpr const char *line = "yumekazu: first paint\n";
    // Watches window when the environment asks for it (YUMEKAZU_BENCH_STARTUP).
    static void installIfRequested(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
