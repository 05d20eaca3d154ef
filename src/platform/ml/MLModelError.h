#pragma once

#include "platform/core/Expected.h"

enum class MLModelErrorCode {
    MissingModel = 1,     // no model directory
    MissingFile,          // metadata or model file absent
    Unreadable,           // a file exists but cannot be read
    Truncated,            // the model file is shorter than recorded
    Corrupt,              // contents do not match what was recorded or cannot be parsed
    IncompatibleFeatures, // metadata names other features or types
    UnsupportedVersion,   // metadata of a format version we do not read
    InvalidFeature,       // a feature provider was built with an empty name
    MissingInput,         // the input provider lacks the input feature
    PredictionFailed,
    InvalidTrainingData,
    TrainingFailed,
    WriteFailed,
    EngineUnavailable,    // the module with fastText is missing or broken
};

inline PlatformError mlModelError(MLModelErrorCode code, const QString &text)
{
    return {QStringLiteral("MLModel"), static_cast<int>(code), text};
}
