#pragma once

#include <QString>

// One training or evaluation example.
struct LabelledText {
    QString label;
    QString text;
};
