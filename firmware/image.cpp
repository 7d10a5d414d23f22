#include "firmware/image.h"

#include <cstring>

std::string_view ImageHeader::version_text() const {
  size_t n = 0;
  while (n < sizeof version && version[n] != '\0') ++n;
  return {version, n};
}

uint32_t read_be32(const uint8_t b[4]) {
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

namespace {

bool load_one(const ResourceFinder& find, int id, FirmwareImage& image) {
  auto found = find(firmware_resource_type, id);
  if (!found || found->size < image_header_size) return false;
  image.data = found->data;
  image.size = found->size;
  std::memcpy(&image.header, found->data, image_header_size);
  return true;
}

}  // namespace

bool load_images(UpgradeStage stage, FirmwareImage& target, FirmwareImage& transition,
                 const ResourceFinder& find) {
  bool ok = load_one(find, target_image_id, target);
  if (stage == UpgradeStage::Transition) ok = load_one(find, transition_image_id, transition) && ok;
  return ok;
}

// The generated package source of an executable defines the strong version.
__attribute__((weak)) UpgradeStage package_start_stage() { return UpgradeStage::Target; }
