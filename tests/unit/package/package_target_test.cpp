// A package that starts at Target while its executable also holds a
// transition image: only the target image is ever looked up.
#include <gtest/gtest.h>

#include <vector>

#include "app/session.h"
#include "firmware/image.h"

namespace {

TEST(TargetPackage, TransitionImageIsHeldButNeverLookedUp) {
  ASSERT_EQ(package_start_stage(), UpgradeStage::Target);
  ASSERT_TRUE(platform::find_resource(firmware_resource_type, transition_image_id).has_value())
      << "the executable must hold resource 319 for this test to mean anything";

  std::vector<int> asked;
  ResourceFinder recording = [&](std::string_view type, int id) {
    asked.push_back(id);
    return platform::find_resource(type, id);
  };
  FirmwareImage target, transition;
  ASSERT_TRUE(load_images(package_start_stage(), target, transition, recording));
  EXPECT_EQ(asked, std::vector<int>{target_image_id});
  EXPECT_EQ(target.size, 1074589u);
  EXPECT_EQ(target.header.version_text(), "3.3.6");
  EXPECT_FALSE(transition.loaded());

  // The image is used in place: data points into the embedded resource.
  EXPECT_EQ(target.data, platform::find_resource(firmware_resource_type, target_image_id)->data);
}

TEST(TargetPackage, StartUpLoadsOnlyTheTarget) {
  static UpgradeSession s;
  std::vector<int> asked;
  start_up(s, package_start_stage(), [&](std::string_view type, int id) {
    asked.push_back(id);
    return platform::find_resource(type, id);
  });
  EXPECT_EQ(asked, std::vector<int>{target_image_id});
  EXPECT_EQ(s.stage.load(), UpgradeStage::Target);
  EXPECT_STREQ(s.display_name, "QABX900");
  EXPECT_EQ(s.device_kind, DeviceKind::Adapter);
}

}  // namespace
