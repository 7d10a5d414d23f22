#pragma once
// The firmware images the executable carries, and their 128-byte header.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "firmware/kinds.h"
#include "platform/resources.h"

// Resource type and ids under which the images are embedded.
inline constexpr const char* firmware_resource_type = "QAB_FIRMWARE";
inline constexpr int target_image_id = 112;
inline constexpr int transition_image_id = 319;

inline constexpr uint32_t image_header_size = 128;
// 65,535 blocks of 512 bytes, the last one short: block numbers travel as 16 bits.
inline constexpr uint32_t max_image_size = 33553919;

// Numbers in the header are big-endian. Only `magic` and `version` are read by
// the upgrader; everything else is carried unchanged.
struct ImageHeader {
  char magic[16];               // 0-15, no terminator
  uint8_t zero[32];             // 16-47
  uint8_t body_digest[16];      // 48-63: MD5 of the body (written by qab-mkimage)
  uint8_t header_digest[16];    // 64-79: MD5 of the header with both digests zeroed
  uint8_t header_length[4];     // 80-83: 128
  uint8_t digest_length[4];     // 84-87: 64
  uint8_t total_length[4];      // 88-91: length of the whole image
  char version[35];             // 92-126, NUL-terminated, zero-padded
  uint8_t trailer;              // 127: 0x12

  // The version text, up to its NUL and never past the field.
  std::string_view version_text() const;
};
static_assert(sizeof(ImageHeader) == image_header_size);

struct FirmwareImage {
  const uint8_t* data = nullptr;  // the whole image, in place; never copied
  uint32_t size = 0;              // what the transfer announces and serves
  ImageHeader header{};           // copy of the first 128 bytes

  bool loaded() const { return data != nullptr; }
};

using ResourceFinder = std::function<std::optional<platform::Resource>(std::string_view type, int id)>;

// Fills `target` from resource 112 and, only when `stage` is Transition,
// `transition` from resource 319; 319 is not looked up otherwise. Returns
// false when an image it needs is missing or shorter than its header.
bool load_images(UpgradeStage stage, FirmwareImage& target, FirmwareImage& transition,
                 const ResourceFinder& find = platform::find_resource);

// The stage the package was built to start at (Target in an executable that
// carries no package setting).
UpgradeStage package_start_stage();

// Reads a big-endian 32-bit field of the header.
uint32_t read_be32(const uint8_t bytes[4]);
