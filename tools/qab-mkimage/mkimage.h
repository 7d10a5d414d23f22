#pragma once
// Building firmware images for packages and tests. The header carries the
// magic, the version and the total length; the body is deterministic, so the
// same recipe always gives the same bytes.
#include <cstdint>
#include <string>
#include <vector>

struct ImageRecipe {
  std::string magic;        // 16 characters at most (the rest of the field is zero)
  std::string version;      // 34 characters at most
  uint32_t total_length = 0;  // header included; at least 128
  uint32_t seed = 1;        // drives the body's bytes
};

// Reads "key=value" lines (magic, version, total_length, seed; # starts a
// comment). Throws std::runtime_error naming the line on a fault.
ImageRecipe parse_recipe(const std::string& text);

// Throws std::runtime_error when the recipe cannot make a sound header.
std::vector<uint8_t> build_image(const ImageRecipe& recipe);
