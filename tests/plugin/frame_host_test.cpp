// The plugin's side of the host interface: entry points resolved on first use and
// cached only when found, host exceptions, the QuickTime availability gate and the
// framework functions looked up at run time.
#include <Folders.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>

#include <filesystem>
#include <string>

#include "plugin_test.h"

namespace {

class HostInterfaceTest : public PluginTest {
 protected:
  rt::Runtime& LoadProbe(rt::Config config = {}) { return Load(std::move(config), kProbePlugin); }

  rt::Value Shared(const char* member, const std::vector<rt::Value>& args = {}) {
    return runtime().callShared("FrameProbe", member, args);
  }

  // The exception a shared member raised; fails the test when it raised none.
  rt::HostException RaisedBy(const char* member, const std::vector<rt::Value>& args) {
    try {
      Shared(member, args);
    } catch (const rt::HostException& e) {
      return e;
    }
    ADD_FAILURE() << member << " raised nothing";
    return rt::HostException("", "", -1);
  }
};

TEST_F(HostInterfaceTest, RefusedEntryIsAskedForAgainAndKeptOnceFound) {
  rt::Config config;
  config.refusedEntries = {"REALBuildString"};
  rt::Runtime& r = LoadProbe(config);
  const rt::Value moov = rt::Value::integer(0x6D6F6F76);

  EXPECT_TRUE(Shared("OSTypeText", {moov}).isNil());
  EXPECT_TRUE(Shared("OSTypeText", {moov}).isNil());
  EXPECT_EQ(r.resolverQueries("REALBuildString"), 2);

  r.config().refusedEntries.clear();
  EXPECT_EQ(r.utf8(Shared("OSTypeText", {moov})), "moov");
  EXPECT_EQ(r.utf8(Shared("OSTypeText", {moov})), "moov");
  EXPECT_EQ(r.resolverQueries("REALBuildString"), 3);
  EXPECT_EQ(r.entryCalls("REALBuildString"), 2);
}

TEST_F(HostInterfaceTest, FourCharacterCodeTextIsAsciiUnlessATopBitIsSet) {
  rt::Runtime& r = LoadProbe();
  rt::Value tmcd = Shared("OSTypeText", {rt::Value::integer(0x746D6364)});
  EXPECT_EQ(r.bytes(tmcd), "tmcd");
  EXPECT_EQ(r.encoding(tmcd), kREALEncodingASCII);
  // '©day' style codes carry a Mac Roman byte.
  rt::Value day = Shared("OSTypeText", {rt::Value::integer(0xA9646179)});
  EXPECT_EQ(r.bytes(day), "\xA9" "day");
  EXPECT_EQ(r.encoding(day), kREALEncodingMacRoman);
  EXPECT_EQ(r.utf8(day), "\xC2\xA9" "day");
}

TEST_F(HostInterfaceTest, ExceptionsCarryClassMessageAndErrorNumberZero) {
  rt::Runtime& r = LoadProbe();
  rt::HostException e = RaisedBy("Raise", {r.string("NilObjectException"), r.string("nothing there")});
  EXPECT_EQ(e.className(), "NilObjectException");
  EXPECT_EQ(e.message(), "nothing there");
  EXPECT_EQ(e.errorNumber(), 0);

  // A class the host does not know still reports, as RuntimeException.
  e = RaisedBy("Raise", {r.string("NoSuchException"), r.string("boom")});
  EXPECT_EQ(e.className(), "RuntimeException");
  EXPECT_EQ(e.message(), "boom");
  EXPECT_EQ(e.errorNumber(), 0);

  e = RaisedBy("Raise", {r.string("OutOfMemoryException"), rt::Value()});
  EXPECT_EQ(e.className(), "OutOfMemoryException");
  EXPECT_EQ(e.message(), "");
}

TEST_F(HostInterfaceTest, ExceptionsSurviveMissingEntries) {
  rt::Config config;
  config.refusedEntries = {"REALSetPropValueInteger"};
  config.refusedInstanceClasses = {"OutOfBoundsException"};
  rt::Runtime& r = LoadProbe(config);
  rt::HostException e = RaisedBy("Raise", {r.string("OutOfBoundsException"), r.string("late")});
  EXPECT_EQ(e.className(), "RuntimeException");
  EXPECT_EQ(e.message(), "late");
  EXPECT_EQ(r.entryCalls("REALSetPropValueInt"), 1);

  // With no exception object to be had, nothing is raised and nothing leaks.
  r.config().refusedInstanceClasses = {"OutOfBoundsException", "RuntimeException"};
  EXPECT_NO_THROW(Shared("Raise", {r.string("OutOfBoundsException"), r.string("lost")}));
  EXPECT_FALSE(r.takeException().has_value());
}

TEST_F(HostInterfaceTest, OutOfBoundsTextsNameTheRange) {
  LoadProbe();
  rt::HostException e = RaisedBy("RaiseOutOfBounds", {rt::Value::integer(5), rt::Value::integer(3)});
  EXPECT_EQ(e.className(), "OutOfBoundsException");
  EXPECT_EQ(e.message(), "Parameter index  is too big. Range is 0 to 2, but value is 5.");
  e = RaisedBy("RaiseOutOfBounds", {rt::Value::integer(3), rt::Value::integer(3)});
  EXPECT_EQ(e.message(), "Parameter index  is too big. Range is 0 to 2, but value is 3.");
  e = RaisedBy("RaiseOutOfBounds", {rt::Value::integer(-1), rt::Value::integer(3)});
  EXPECT_EQ(e.message(), "Parameter index  is too small. Range is 0 to 2, but value is -1.");
  e = RaisedBy("RaiseOutOfBounds", {rt::Value::integer(INT64_MIN), rt::Value::integer(0)});
  EXPECT_EQ(e.message(), "Parameter index  is too small. Range is 0 to -1, but value is -9223372036854775808.");
}

TEST_F(HostInterfaceTest, QuickTimeGateClosesFrom2014) {
  rt::Config config;
  config.hostVersion = 2013.99;
  LoadProbe(config);
  EXPECT_TRUE(Shared("QuickTimeAvailable").asBoolean());
  config.hostVersion = 2014.0;
  LoadProbe(config);
  rt::HostException e = RaisedBy("QuickTimeAvailable", {});
  EXPECT_EQ(e.className(), "UnsupportedOperationException");
  EXPECT_EQ(e.message(), "QuickTime not available in Xojo 2014.");
}

TEST_F(HostInterfaceTest, DoublesOutsideTheInt32RangeBecomeTheIntegerIndefinite) {
  LoadProbe();
  auto toInt = [&](double d) { return Shared("Int32FromDouble", {rt::Value::real(d)}).asInteger(); };
  EXPECT_EQ(toInt(-7.9), -7);
  EXPECT_EQ(toInt(2147483647.0), 2147483647);
  EXPECT_EQ(toInt(2147483648.0), INT32_MIN);
  EXPECT_EQ(toInt(-1e300), INT32_MIN);
  EXPECT_EQ(toInt(std::nan("")), INT32_MIN);
}

TEST_F(HostInterfaceTest, FrameworkFunctionsAreSkippedUntilTheirBundleLoads) {
  rt::Config config;
  config.frameworksFolder = "";  // no Frameworks folder at all
  rt::Runtime& r = LoadProbe(config);
  EXPECT_EQ(Shared("FontNumber", {r.string("Monaco")}).asInteger(), -1);
  EXPECT_TRUE(Shared("FontName", {rt::Value::integer(4)}).isNil());
  EXPECT_FALSE(Shared("TextSizeAvailable").asBoolean());

  // A folder whose bundles do not load is no better.
  const auto empty = std::filesystem::temp_directory_path() / ("pelorin-frameworks-" + std::to_string(getpid()));
  std::filesystem::create_directories(empty / "Carbon.framework");
  CarbonSetFrameworksFolder(empty.c_str());
  EXPECT_EQ(Shared("FontNumber", {r.string("Monaco")}).asInteger(), -1);

  // Once the Frameworks folder is there, the next call loads the bundle.
  CarbonSetFrameworksFolder(nullptr);
  EXPECT_EQ(Shared("FontNumber", {r.string("Monaco")}).asInteger(), 4);
  EXPECT_EQ(r.utf8(Shared("FontName", {rt::Value::integer(4)})), "Monaco");
  EXPECT_EQ(Shared("FontNumber", {r.string("No Such Font")}).asInteger(), 0);
  EXPECT_TRUE(Shared("TextSizeAvailable").asBoolean());
  std::filesystem::remove_all(empty);
}

}  // namespace
