#pragma once

#include "platform/core/Expected.h"

inline constexpr auto kMLModelErrorDomain = u"MLModel";

enum class MLModelErrorCode {
    MissingModel = 1,     // no model directory
    MissingFile,          // metadata or model file absent
    Unreadable,           // a file exists but cannot be read
    Truncated,            // the model file is shorter than recorded
    Corrupt,              // contents do not match what was recorded or cannot be parsed
    IncompatibleFeatures, // metadata names other features or types
    UnsupportedVersion,   // metadata of a format version we do not read
    InvalidFeature,       // a feature provider was built from an unusable value
    MissingInput,         // the input provider lacks the input feature
    WrongInputType,       // the input feature is not a string
    PredictionFailed,
    InvalidTrainingData,
    TrainingFailed,
    WriteFailed,
    EngineUnavailable,    // the module with fastText is missing or broken
};

PlatformError mlModelError(MLModelErrorCode code, const QString &text);
