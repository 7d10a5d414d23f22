#include "platform/dialog/template.h"

#include <map>
#include <mutex>

namespace dialog {
namespace {
std::mutex lock;
std::map<int, DialogTemplate>& table() {
  static std::map<int, DialogTemplate> t;
  return t;
}
}  // namespace

void register_templates(std::span<const DialogTemplate> templates) {
  std::lock_guard guard(lock);
  for (const DialogTemplate& t : templates) table().insert_or_assign(t.id, t);
}

const DialogTemplate* find_template(int id) {
  std::lock_guard guard(lock);
  auto it = table().find(id);
  return it == table().end() ? nullptr : &it->second;
}

}  // namespace dialog
