#pragma once
// Resources embedded in the executable, found by type name and numeric id and
// used in place: the bytes live in the executable's read-only data.
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

struct Resource {
  const uint8_t* data;
  uint32_t size;
};

std::optional<Resource> find_resource(std::string_view type, int id);

// The table the build generates for an executable (see cmake/QabPackage.cmake).
struct ResourceEntry {
  const char* type;
  int id;
  const uint8_t* begin;
  const uint8_t* end;
};

}  // namespace platform

// Defined by the generated package source of an executable; absent (null) in
// executables that carry no resources.
extern "C" const platform::ResourceEntry* qab_resource_table(unsigned* count) __attribute__((weak));
