#pragma once

// How a prediction runs; the fastText runtime has no options yet.
struct MLPredictionOptions {};
