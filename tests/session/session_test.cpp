// The session's own promises, without any front end: values or errors, never a stale value, and
// a gyro scale that follows SENS_AVG.
#include <gtest/gtest.h>

#include "registers/register_table.h"
#include "session/platform_set.h"
#include "session/session.h"
#include "sim/recording_services.h"
#include "sim/sim_sensor.h"
#include "support/sim_world.h"

namespace vexa {
namespace {

struct OpenSession {
  explicit OpenSession(SessionOptions options, uint16_t productId = 27150) {
    options.simulate = true;
    options.virtualTime = true;
    if (!options.interface) options.interface = kInterfaceUsb;
    SessionPlace place;
    place.workingDirectory = folder.folder();
    place.adjustPlatform = [productId](PlatformOptions& o) {
      o.configureSensor = [productId](sim::SimSensorConfig& c) { c.productId = productId; };
    };
    session = std::make_unique<Session>(options, messages, diagnostics, place);
    opened = session->open().ok();
  }
  testing::SimWorld folder;
  sim::RecordingMessageService messages;
  sim::RecordingDiagnostics diagnostics;
  std::unique_ptr<Session> session;
  bool opened = false;
};

TEST(SessionGyroScale, FollowsEveryWriteOfTheRange) {
  // The register documentation's sensitivities per range (SENS_AVG bits 10..8).
  const struct {
    int32_t sensAvg;
    double degPerSecPerLsb;
  } ranges[] = {{0x0102, 0.0125}, {0x0202, 0.025}, {0x0402, 0.05}, {0x0002, 0.0}};
  OpenSession s({});
  ASSERT_TRUE(s.opened);
  ASSERT_TRUE(s.session->checkSensor().ok());
  for (const auto& range : ranges) {
    ASSERT_TRUE(s.session->write(SENS_AVG, range.sensAvg).ok());
    EXPECT_FLOAT_EQ(s.session->gyroScale(), static_cast<float>(range.degPerSecPerLsb));
    for (int16_t row : {XGYRO_OUT, YGYRO_OUT, ZGYRO_OUT}) {
      const Result<Reading> r = s.session->read(row);
      ASSERT_TRUE(r.ok());
      EXPECT_NEAR(r->scaled, r->raw * range.degPerSecPerLsb, 1e-6 * (1 + std::abs(r->raw)))
          << std::hex << range.sensAvg;
    }
  }
}

TEST(SessionSensorCheck, NamesWhatAnsweredAndKeepsIt) {
  const struct {
    uint16_t productId;
    bool known;
    const char* says;
  } cases[] = {
      {27150, true, ""},
      {0xFFFF, false, "nothing answers"},
      {0x0000, false, "nothing answers"},
      {(27150 << 1) & 0xFFFF, false, "SPI mode"},
  };
  for (const auto& c : cases) {
    OpenSession s({}, c.productId);
    ASSERT_TRUE(s.opened);
    const Result<SensorCheck> check = s.session->checkSensor();
    ASSERT_TRUE(check.ok()) << c.productId;
    EXPECT_EQ(check->productId, c.productId);
    EXPECT_EQ(check->known, c.known) << c.productId;
    EXPECT_NE(check->message.find(c.says), std::string::npos) << check->message;
    ASSERT_TRUE(s.session->identity().has_value());
    EXPECT_EQ(s.session->identity()->known, c.known);
  }
}

TEST(SessionAfterAFailure, EveryOperationReturnsTheErrorAndSendsNothing) {
  for (int16_t interface : {kInterfaceUsb, kInterfaceFtdi, kInterfaceSpidev}) {
    SessionOptions o;
    o.interface = interface;
    o.unplugAfterFrames = 6;
    OpenSession s(o);
    ASSERT_TRUE(s.opened) << interface;
    Status failure = Done{};
    for (int i = 0; i < 10 && failure.ok(); ++i) {
      const Result<Reading> r = s.session->read(XGYRO_OUT);
      if (!r) failure = r.error();
    }
    ASSERT_FALSE(failure.ok()) << interface << ": the unplugged adapter went on answering";
    EXPECT_EQ(failure.error().kind, SessionErrorKind::Device);
    EXPECT_FALSE(failure.error().text.empty());
    EXPECT_TRUE(s.session->failed());
    std::vector<Reading> completed(1);
    EXPECT_FALSE(s.session->readMany({XGYRO_OUT, YGYRO_OUT}, true, &completed).ok());
    EXPECT_TRUE(completed.empty());
    EXPECT_FALSE(s.session->write(SMPL_PRD, 1).ok());
    EXPECT_FALSE(s.session->dump().ok());
    EXPECT_FALSE(s.session->command(1).ok());
    EXPECT_EQ(s.session->read(SUPPLY_OUT).error().text, failure.error().text);
  }
}

TEST(SessionRequests, RefusesRowsThatCannotBeReadOrWritten) {
  OpenSession s({});
  ASSERT_TRUE(s.opened);
  EXPECT_EQ(s.session->read(COMMAND).error().kind, SessionErrorKind::Usage);
  EXPECT_EQ(s.session->write(SUPPLY_OUT, 1).error().kind, SessionErrorKind::Usage);
  EXPECT_TRUE(s.session->read(SUPPLY_OUT).ok()) << "a refused request leaves the session working";
}

}  // namespace
}  // namespace vexa
