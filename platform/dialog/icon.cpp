#include "platform/dialog/icon.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace dialog {
namespace {

std::mutex lock;
std::map<int, std::unique_ptr<Icon>>& icons() {
  static std::map<int, std::unique_ptr<Icon>> t;
  return t;
}

// Reads "c #RRGGBB" or "c None" from the rest of a colour line.
std::optional<int32_t> parse_colour(const char* rest) {
  const char* c = std::strstr(rest, " c ");
  if (!c) c = std::strstr(rest, "\tc ");
  if (!c) return std::nullopt;
  c += 3;
  while (*c == ' ') ++c;
  if (std::strncmp(c, "None", 4) == 0 || std::strncmp(c, "none", 4) == 0) return transparent;
  if (*c != '#') return std::nullopt;
  unsigned value = 0;
  int digits = 0;
  for (++c; std::isxdigit(static_cast<unsigned char>(*c)); ++c, ++digits) {
    value = value * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(*c)) ? *c - '0'
                                                                                            : (*c | 0x20) - 'a' + 10);
  }
  if (digits != 6) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace

std::optional<Icon> parse_xpm(std::span<const char* const> lines) {
  if (lines.empty() || !lines[0]) return std::nullopt;
  int w = 0, h = 0, colours = 0, per_pixel = 0;
  if (std::sscanf(lines[0], "%d %d %d %d", &w, &h, &colours, &per_pixel) != 4) return std::nullopt;
  if (w <= 0 || h <= 0 || w > 256 || h > 256 || colours <= 0 || colours > 256 || per_pixel <= 0 || per_pixel > 2)
    return std::nullopt;
  if (lines.size() < static_cast<size_t>(1 + colours + h)) return std::nullopt;

  std::map<std::string, int32_t> palette;
  for (int i = 0; i < colours; ++i) {
    const char* line = lines[1 + i];
    if (!line || std::strlen(line) < static_cast<size_t>(per_pixel)) return std::nullopt;
    auto colour = parse_colour(line + per_pixel - 1);
    if (!colour) return std::nullopt;
    palette[std::string(line, per_pixel)] = *colour;
  }

  Icon icon;
  icon.width = w;
  icon.height = h;
  icon.pixels.reserve(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const char* row = lines[1 + colours + y];
    if (!row || std::strlen(row) != static_cast<size_t>(w * per_pixel)) return std::nullopt;
    for (int x = 0; x < w; ++x) {
      auto it = palette.find(std::string(row + x * per_pixel, per_pixel));
      if (it == palette.end()) return std::nullopt;
      icon.pixels.push_back(it->second);
    }
  }
  return icon;
}

bool register_icon(int id, std::span<const char* const> xpm) {
  auto icon = parse_xpm(xpm);
  if (!icon) return false;
  std::lock_guard guard(lock);
  icons()[id] = std::make_unique<Icon>(std::move(*icon));
  return true;
}

const Icon* find_icon(int id) {
  std::lock_guard guard(lock);
  auto it = icons().find(id);
  return it == icons().end() ? nullptr : it->second.get();
}

}  // namespace dialog
