#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "app/session.h"
#include "platform/host.h"
#include "tools/qab-mkimage/mkimage.h"

namespace {

// Start-up against in-memory images, with the PC's addresses played by the test.
class StartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    target_ = build_image({"zEpHrA4xFiRmWaRe", "4.1.0", 2048, 3});
    transition_ = build_image({"zEpHrA4xFiRmWaRe", "4.0.0", 1024, 4});
    s_ = std::make_unique<UpgradeSession>();
    // Leftovers that start-up must clear.
    std::memset(&s_->digest, 0x5A, sizeof s_->digest);
    s_->local_addresses[7] = 0x01020304;
  }
  void TearDown() override { platform::set_local_address_source({}); }

  void run(std::vector<uint32_t> addresses, UpgradeStage stage = UpgradeStage::Target) {
    platform::set_local_address_source([addresses] { return addresses; });
    start_up(*s_, stage, [this](std::string_view type, int id) -> std::optional<platform::Resource> {
      asked_.push_back(id);
      if (type != firmware_resource_type) return std::nullopt;
      const auto& bytes = id == target_image_id ? target_ : transition_;
      return platform::Resource{bytes.data(), static_cast<uint32_t>(bytes.size())};
    });
  }

  std::vector<uint8_t> target_, transition_;
  std::unique_ptr<UpgradeSession> s_;
  std::vector<int> asked_;
};

TEST_F(StartUp, LocalAddressCounts) {
  struct Case {
    const char* name;
    std::vector<uint32_t> addresses;
    std::vector<uint32_t> expected;  // all 8 entries
  };
  std::vector<uint32_t> ten;
  for (uint32_t i = 1; i <= 10; ++i) ten.push_back(0x0A000000 + i);
  const Case cases[] = {
      {"a failed lookup leaves all entries 0", {}, {0, 0, 0, 0, 0, 0, 0, 0}},
      {"one address then zeros", {0xC0A80114}, {0xC0A80114, 0, 0, 0, 0, 0, 0, 0}},
      {"ten addresses keep the first eight, no terminator", ten,
       {ten[0], ten[1], ten[2], ten[3], ten[4], ten[5], ten[6], ten[7]}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    run(c.addresses);
    EXPECT_EQ(std::vector<uint32_t>(s_->local_addresses, s_->local_addresses + 8), c.expected);
    EXPECT_EQ(s_->local_address, c.expected[0]);
  }
}

TEST_F(StartUp, ClearsAuthenticationAndIdentifiesTheProduct) {
  run({0x7F000001});
  const DigestState zero{};
  EXPECT_EQ(std::memcmp(&s_->digest, &zero, sizeof zero), 0);
  EXPECT_EQ(s_->digest.nonce_count, 0u);
  EXPECT_STREQ(s_->display_name, "QAB-P41/QAB-P21");
  EXPECT_EQ(s_->device_kind, DeviceKind::Phone);
  EXPECT_EQ(s_->stage.load(), UpgradeStage::Target);
  EXPECT_EQ(asked_, std::vector<int>{target_image_id});
  EXPECT_EQ(s_->target_image.data, target_.data());
  EXPECT_EQ(s_->target_image.size, 2048u);
  EXPECT_EQ(s_->target_image.header.version_text(), "4.1.0");
  EXPECT_FALSE(s_->transition_image.loaded());
}

TEST_F(StartUp, TransitionPackageLoadsBothImages) {
  run({0x7F000001}, UpgradeStage::Transition);
  EXPECT_EQ(s_->stage.load(), UpgradeStage::Transition);
  EXPECT_EQ(asked_, (std::vector<int>{target_image_id, transition_image_id}));
  EXPECT_EQ(s_->transition_image.data, transition_.data());
  EXPECT_EQ(s_->transition_image.header.version_text(), "4.0.0");
}

// A program whose image is missing cannot upgrade anything: it says so and
// ends with status 0 instead of showing screens for an empty package.
TEST(StartUpDeath, MissingImageEndsTheProgramWithAMessage) {
  auto s = std::make_unique<UpgradeSession>();
  EXPECT_EXIT(start_up(*s, UpgradeStage::Target, [](std::string_view, int) { return std::nullopt; }),
              ::testing::ExitedWithCode(0), "Upgrade Failed: Firmware image missing from this program");
}

}  // namespace
