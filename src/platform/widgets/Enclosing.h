#pragma once

#include <QWidget>

// The nearest widget of type T that holds widget, or null.
template <typename T>
T *enclosing(const QWidget *widget)
{
    for (QWidget *w = widget ? widget->parentWidget() : nullptr; w; w = w->parentWidget()) {
        if (auto *found = qobject_cast<T *>(w))
            return found;
    }
    return nullptr;
}
