#include "platform/resources.h"

namespace platform {

std::optional<Resource> find_resource(std::string_view type, int id) {
  if (!qab_resource_table) return std::nullopt;
  unsigned count = 0;
  const ResourceEntry* table = qab_resource_table(&count);
  for (unsigned i = 0; i < count; ++i) {
    if (table[i].id == id && type == table[i].type)
      return Resource{table[i].begin, static_cast<uint32_t>(table[i].end - table[i].begin)};
  }
  return std::nullopt;
}

}  // namespace platform
