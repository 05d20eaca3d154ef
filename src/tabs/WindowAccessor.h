#pragma once

#include <QWidget>

#include <functional>

class HostWindow;

// An invisible child that reports, one event-loop turn after it is made, the
// window hosting it (or none) to its callback. It draws nothing.
class WindowAccessor : public QWidget {
    Q_OBJECT

public:
    using Callback = std::function<void(HostWindow *)>;
    explicit WindowAccessor(Callback callback, QWidget *parent);
};
