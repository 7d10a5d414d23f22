#include <gtest/gtest.h>

#include "firmware/version.h"

namespace {

TEST(VersionNumber, Texts) {
  struct Case {
    const char* name;
    const char* text;
    uint32_t expected;  // compared as the 32-bit pattern
  };
  const Case cases[] = {
      {"three components", "3.3.6", (3 * 100 + 3) * 100 + 6},
      {"two components are not scaled", "1.2", 102},
      {"a zero third component", "1.2.0", 10200},
      {"only three components are read", "1.2.3.4", 10203},
      {"text after the third component", "2.0.13(a)", 20013},
      {"08 reads as octal 0 and the 8 is skipped", "3.08", 30000},
      {"a leading letter reads as 0", "R1.2.3", 102},
      {"empty text", "", 0},
      {"hexadecimal", "0x1F.2", 3102},
      {"0x without hex digits reads the 0", "0xg.5", 0},
      {"octal", "010.1", 801},
      {"plus sign", "+3.+3.+6", 30306},
      {"leading blanks and control characters", " \t3.\n3.\r6", 30306},
      {"minus negates modulo 2^32", "-1", 0xFFFFFFFFu},
      {"minus inside", "1.-1", 99},
      {"a component above 32 bits saturates", "99999999999", 0xFFFFFFFFu},
      {"saturation then scaling wraps", "4294967296.0", 0xFFFFFF9Cu},
      {"a negative overflow saturates too", "-99999999999", 0xFFFFFFFFu},
      {"largest 32-bit value", "4294967295", 0xFFFFFFFFu},
      {"separator at the end", "3.", 300},
      {"a lone sign has no digits", "-.5", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(static_cast<uint32_t>(version_number(c.text)), c.expected);
  }
}

TEST(DecideStage, Cases) {
  struct Case {
    const char* name;
    const char* device;
    const char* transition;
    UpgradeStage expected;
  };
  const Case cases[] = {
      {"two components are smaller", "1.2", "1.1.9", UpgradeStage::Transition},
      {"equal numbers", "3.3.1", "3.3.1", UpgradeStage::Target},
      {"equal in number, different text", "3.3.01", "3.3.1", UpgradeStage::Target},
      {"newer device", "3.3.6", "3.3.1", UpgradeStage::Target},
      {"older device", "3.2.9", "3.3.1", UpgradeStage::Transition},
      {"(NT whatever the number", "9.9.9(NT)", "3.3.1", UpgradeStage::Transition},
      {"(nt in other case does not count", "9.9.9(nt)", "3.3.1", UpgradeStage::Target},
      {"empty device version", "", "3.3.1", UpgradeStage::Transition},
      {"empty against zero", "", "0", UpgradeStage::Target},
      {"signed comparison: a wrapped number is negative", "-1", "3.3.1", UpgradeStage::Transition},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decide_stage(c.device, c.transition), c.expected);
  }
}

TEST(VerifyInstalledVersion, Cases) {
  struct Case {
    const char* name;
    UpgradeStage stage;
    DeviceKind kind;
    const char* reported;
    VersionCheck expected;
  };
  const Case cases[] = {
      {"target matches", UpgradeStage::Target, DeviceKind::Adapter, "3.3.6", VersionCheck::Match},
      {"a trailing blank", UpgradeStage::Target, DeviceKind::Adapter, "3.3.6 ", VersionCheck::Mismatch},
      {"same number, other text", UpgradeStage::Target, DeviceKind::Adapter, "3.3.06", VersionCheck::Mismatch},
      {"transition pass expects the transition version", UpgradeStage::Transition, DeviceKind::Adapter, "3.3.1",
       VersionCheck::Match},
      {"transition pass against the target version", UpgradeStage::Transition, DeviceKind::Adapter, "3.3.6",
       VersionCheck::Mismatch},
      {"empty report", UpgradeStage::Target, DeviceKind::Adapter, "", VersionCheck::Mismatch},
      {"a phone is never compared", UpgradeStage::Target, DeviceKind::Phone, "anything", VersionCheck::Skipped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(verify_installed_version(c.stage, c.kind, c.reported, "3.3.6", "3.3.1"), c.expected);
  }
}

}  // namespace
