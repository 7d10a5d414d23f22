#pragma once
#include <cstdint>

// Which image the current pass installs.
enum class UpgradeStage : int32_t {
  Transition = 0,  // the intermediate image first, the final one after it
  Target = 1,      // the final image
};

// The family of the product a package is for.
enum class DeviceKind : int32_t {
  Adapter = 0,  // telephone adapters and gateways
  Phone = 1,    // IP phones
};
