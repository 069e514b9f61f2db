// The module's icons and bitmaps (PNG files of res/images, embedded by the build).
#pragma once

#include <span>

// The PNG bytes of an icon or bitmap resource; an icon drawn at nSize pixels when the
// module has that size, else its default drawing. Empty when the module has no such image.
[[nodiscard]] std::span<const unsigned char> FindImageResource(unsigned nId, int nSize = 0);
