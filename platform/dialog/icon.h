#pragma once
// Icons: small pictures kept in the XPM text format, parsed once at start.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace dialog {

inline constexpr int32_t transparent = -1;

struct Icon {
  int width = 0;
  int height = 0;
  std::vector<int32_t> pixels;  // row by row: 0xRRGGBB, or transparent

  int32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Parses the strings of an XPM picture (one character per pixel or more,
// colours given as #RRGGBB or None). Nothing on malformed input.
std::optional<Icon> parse_xpm(std::span<const char* const> lines);

// Registers icon `id` from its XPM strings; false when they do not parse.
bool register_icon(int id, std::span<const char* const> xpm);
const Icon* find_icon(int id);

}  // namespace dialog
