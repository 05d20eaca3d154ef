#pragma once

// How a model is loaded. The fastText runtime has nothing to tune yet; the
// type keeps the load operations' signatures stable for when it does.
struct MLModelConfiguration {};
