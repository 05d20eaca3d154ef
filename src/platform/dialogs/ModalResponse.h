#pragma once

// What runModal() of a panel answers.
namespace ModalResponse {
inline constexpr int Cancel = 0;
inline constexpr int OK = 1;
} // namespace ModalResponse
