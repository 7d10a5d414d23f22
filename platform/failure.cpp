#include "platform/failure.h"

#include <atomic>
#include <cstdio>

namespace platform {
namespace {
std::atomic<FailurePresenter> presenter{nullptr};
}

void set_failure_presenter(FailurePresenter p) { presenter.store(p); }

void present_failure(const char* message) {
  if (auto p = presenter.load()) {
    p(message);
    return;
  }
  std::fprintf(stderr, "%s\n", message);
}

}  // namespace platform
