// Narrowing of wide text into a caller's buffer in the process code page,
// with wcstombs's rule for a buffer that is too small and without its
// hazards for bad arguments.
#pragma once

#include <cstddef>

namespace tvc {

// Stores the text narrowed into buffer, at most size bytes: a
// buffer without room for the NUL receives exactly size bytes and no NUL.
// Returns the bytes stored, not counting a NUL. A null buffer or a negative
// size stores nothing and returns 0; null text stores an empty string when
// there is room for it.
std::size_t narrow_text_into(char *buffer, int size, const wchar_t *text) noexcept;

}  // namespace tvc
