#pragma once
// Version texts turned into comparable numbers, and the two decisions that
// rest on them.
#include <cstdint>
#include <string_view>

#include "firmware/kinds.h"

// Up to three components, each read like strtoul with base 0 (decimal, 0x
// hexadecimal, leading-0 octal, optional sign), joined as value * 100 +
// component in wrapping 32-bit arithmetic. Compare results as signed.
int32_t version_number(std::string_view text);

// Transition when the device reports "(NT" or a version below the transition
// image's, Target otherwise.
UpgradeStage decide_stage(std::string_view software_version, std::string_view transition_version);

enum class VersionCheck { Match, Mismatch, Skipped };

// Compares what the device now reports with the version of the image of the
// pass just served; phones are not compared.
VersionCheck verify_installed_version(UpgradeStage stage, DeviceKind kind, std::string_view software_version,
                                      std::string_view target_version, std::string_view transition_version);
