// The two-stage package: both images are loaded before the first screen.
#include <gtest/gtest.h>

#include "app/session.h"
#include "firmware/image.h"

namespace {

TEST(TransitionPackage, StartUpLoadsBothImages) {
  ASSERT_EQ(package_start_stage(), UpgradeStage::Transition);
  static UpgradeSession s;
  start_up(s, package_start_stage());
  EXPECT_EQ(s.stage.load(), UpgradeStage::Transition);
  ASSERT_TRUE(s.target_image.loaded());
  ASSERT_TRUE(s.transition_image.loaded());
  EXPECT_EQ(s.target_image.header.version_text(), "3.3.6");
  EXPECT_EQ(s.transition_image.header.version_text(), "3.3.1");
  EXPECT_EQ(s.transition_image.data, platform::find_resource(firmware_resource_type, transition_image_id)->data);
  EXPECT_EQ(s.transition_image.size, platform::find_resource(firmware_resource_type, transition_image_id)->size);
}

}  // namespace
