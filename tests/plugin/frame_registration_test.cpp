// Start-up and registration as the host sees them: the layout chosen for each host
// version, the route the `movie` members take, the records converted for older
// hosts, and the host's movie support.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "plugin_test.h"

namespace {

using Route = rt::Registration::Route;

rt::Config HostVersion(std::optional<double> version) {
  rt::Config config;
  config.hostVersion = version;
  return config;
}

const rt::Registration* Find(const rt::Runtime& r, const std::string& name) {
  for (const auto& reg : r.registrations()) {
    if (reg.name == name) return &reg;
  }
  return nullptr;
}

// A code or data address as an offset into the loaded copy that holds it, so two
// copies of the plugin can be compared word by word.
uintptr_t Relocated(const void* p) {
  if (!p || p == reinterpret_cast<const void*>(REAL_DIRECT_PROPERTY)) return reinterpret_cast<uintptr_t>(p);
  Dl_info info{};
  if (!dladdr(p, &info)) return reinterpret_cast<uintptr_t>(p);
  return reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(info.dli_fbase);
}

std::string Text(const char* s) { return s ? s : "<null>"; }

// What the older layout must hold for each record of the current one: the leading
// words, pointers to the same code, strings with the same text.
void ExpectPropertiesNarrowed(const REALpropertyV9* older, const REALproperty* current, uintptr_t count) {
  ASSERT_EQ(older == nullptr, current == nullptr || count == 0);
  for (uintptr_t i = 0; i < count; ++i) {
    SCOPED_TRACE(Text(current[i].name));
    EXPECT_EQ(Text(older[i].group), Text(current[i].group));
    EXPECT_EQ(Text(older[i].name), Text(current[i].name));
    EXPECT_EQ(Text(older[i].type), Text(current[i].type));
    EXPECT_EQ(older[i].flags, current[i].flags);
    EXPECT_EQ(Relocated(reinterpret_cast<void*>(older[i].getter)),
              Relocated(reinterpret_cast<void*>(current[i].getter)));
    EXPECT_EQ(Relocated(reinterpret_cast<void*>(older[i].setter)),
              Relocated(reinterpret_cast<void*>(current[i].setter)));
    EXPECT_EQ(older[i].fieldOffset, current[i].fieldOffset);
    EXPECT_EQ(0, std::memcmp(older[i].reserved, current[i].reserved, sizeof older[i].reserved));
  }
}

void ExpectMethodsNarrowed(const REALmethodDefinitionV9* older, const REALmethodDefinition* current, uintptr_t count) {
  ASSERT_EQ(older == nullptr, current == nullptr || count == 0);
  for (uintptr_t i = 0; i < count; ++i) {
    SCOPED_TRACE(Text(current[i].declaration));
    EXPECT_EQ(Relocated(reinterpret_cast<void*>(older[i].function)),
              Relocated(reinterpret_cast<void*>(current[i].function)));
    EXPECT_EQ(Relocated(reinterpret_cast<void*>(older[i].setterFunction)),
              Relocated(reinterpret_cast<void*>(current[i].setterFunction)));
    EXPECT_EQ(Text(older[i].declaration), Text(current[i].declaration));
    EXPECT_EQ(older[i].flags, current[i].flags);
  }
}

void ExpectClassNarrowed(const REALclassDefinitionV9& older, const REALclassDefinition& current) {
  EXPECT_EQ(older.version, 9u);
  EXPECT_EQ(Text(older.name), Text(current.name));
  EXPECT_EQ(Text(older.superName), Text(current.superName));
  EXPECT_EQ(older.dataSize, current.dataSize);
  EXPECT_EQ(Relocated(reinterpret_cast<void*>(older.constructor)), Relocated(reinterpret_cast<void*>(current.constructor)));
  EXPECT_EQ(Relocated(reinterpret_cast<void*>(older.destructor)), Relocated(reinterpret_cast<void*>(current.destructor)));
  ASSERT_EQ(older.propertyCount, current.propertyCount);
  ExpectPropertiesNarrowed(older.properties, current.properties, current.propertyCount);
  ASSERT_EQ(older.methodCount, current.methodCount);
  ExpectMethodsNarrowed(older.methods, current.methods, current.methodCount);
  ASSERT_EQ(older.constantCount, current.constantCount);
  for (uintptr_t i = 0; i < current.constantCount; ++i) {
    EXPECT_EQ(Text(older.constants[i].declaration), Text(current.constants[i].declaration));
  }
  EXPECT_EQ(older.reserved16[0], 0u);
  EXPECT_EQ(older.reserved16[1], 0u);
  EXPECT_EQ(older.flags, current.flags);
  ASSERT_EQ(older.sharedPropertyCount, current.sharedPropertyCount);
  ExpectPropertiesNarrowed(older.sharedProperties, current.sharedProperties, current.sharedPropertyCount);
  ASSERT_EQ(older.sharedMethodCount, current.sharedMethodCount);
  ExpectMethodsNarrowed(older.sharedMethods, current.sharedMethods, current.sharedMethodCount);
}

class RegistrationTest : public PluginTest {};

TEST_F(RegistrationTest, ControlVersionFollowsTheHostVersion) {
  const struct {
    std::optional<double> host;
    long control;
  } cases[] = {
      {2013.02, 11}, {2013.03, 12}, {2013.04, 13}, {2012.99, 10}, {2012.0, 10},
      {2011.4, 9},   {std::nullopt, 9}, {2019.0, 13}, {3000.0, 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host ? std::to_string(*c.host) : "no REALGetRBVersion");
    rt::Runtime& r = Load(HostVersion(c.host), kProbePlugin);
    EXPECT_EQ(r.pluginVersion(), c.control);
    ASSERT_FALSE(r.registrations().empty());
    for (const auto& reg : r.registrations()) EXPECT_EQ(reg.controlVersion, static_cast<uintptr_t>(c.control)) << reg.name;
  }
}

TEST_F(RegistrationTest, MovieMembersTakeTheRouteOfTheirHost) {
  const struct {
    double host;
    Route route;
    bool older;
    const char* name;
  } cases[] = {
      {2011.4, Route::ClassExtension, true, "movie"},
      {2012.99, Route::ClassExtension, false, "movie"},
      {2013.0, Route::Module, false, "moviePelorinExtensionZQK"},
      {2999.99, Route::Module, false, "moviePelorinExtensionZQK"},
      {3000.0, Route::ClassExtension, false, "movie"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    rt::Runtime& r = Load(HostVersion(c.host), kProbePlugin);
    const auto& regs = r.registrations();
    ASSERT_EQ(regs.size(), 2u);
    EXPECT_EQ(regs[0].route, Route::Class);
    EXPECT_EQ(regs[0].name, "FrameProbe");
    EXPECT_EQ(regs[0].olderLayout, c.older);
    EXPECT_EQ(regs[1].route, c.route);
    EXPECT_EQ(regs[1].name, c.name);
    EXPECT_EQ(regs[1].olderLayout, c.older);

    // Whichever route, user code reaches the same members.
    rt::Value movie = r.newMovie(nullptr);
    EXPECT_EQ(r.call(movie, "TrackCountZQK").asInteger(), 3);
    r.set(movie, "PitchZQK", rt::Value::real(-2.5));
    EXPECT_EQ(r.get(movie, "PitchZQK").asDouble(), -2.5);
    r.set(movie, "RateChangesPreservePitchZQK", rt::Value::boolean(true));
    EXPECT_TRUE(r.get(movie, "RateChangesPreservePitchZQK").asBoolean());
    EXPECT_TRUE(r.call(movie, "GetTrackIndexZQK", {rt::Value::integer(1)}).isNil());
    r.call(movie, "DeleteTimeCodeTracksZQK");
    EXPECT_TRUE(r.diagnostics().empty()) << r.diagnostics().front();
  }
}

TEST_F(RegistrationTest, ModuleSplitsPropertyLikeMembersSetterFirst) {
  rt::Runtime& r = Load(HostVersion(2013.0), kProbePlugin);
  const rt::Registration* reg = Find(r, "moviePelorinExtensionZQK");
  ASSERT_NE(reg, nullptr);
  const auto* module = static_cast<const REALmoduleDefinition*>(reg->record);
  EXPECT_EQ(module->version, 11u);
  EXPECT_STREQ(module->name, "moviePelorinExtensionZQK");
  const char* expected[] = {
      "RateChangesPreservePitchZQK(extends ref as movie, assigns value as Boolean)",
      "RateChangesPreservePitchZQK(extends ref as movie) as Boolean",
      "TrackCountZQK(extends ref as movie) as integer",
      "GetTrackIndexZQK(extends ref as movie, index as integer) as FrameProbe",
      "DeleteTimeCodeTracksZQK(extends ref as movie)",
      "PitchZQK(extends ref as movie, assigns value as double)",
      "PitchZQK(extends ref as movie) as double",
  };
  ASSERT_EQ(module->methodCount, std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_STREQ(module->methods[i].declaration, expected[i]);
    EXPECT_NE(module->methods[i].function, nullptr);
    EXPECT_EQ(module->methods[i].setterFunction, nullptr);
    EXPECT_EQ(module->methods[i].flags, 0x10u);
  }
  // The setter of a pair is the record's setter word, the getter its function.
  EXPECT_NE(module->methods[0].function, module->methods[1].function);
  for (uintptr_t w = 0; w < std::size(module->reserved); ++w) EXPECT_EQ(module->reserved[w], 0u);
}

TEST_F(RegistrationTest, ExtendingDeclarationsOfEveryShape) {
  rt::Runtime& r = Load({}, kProbePlugin);
  auto extend = [&](const char* declaration) {
    return r.utf8(r.callShared("FrameProbe", "ExtendDeclaration", {r.string(declaration), r.string("movie")}));
  };
  EXPECT_EQ(extend("TrackCountZQK as integer"), "TrackCountZQK(extends ref as movie) as integer");
  EXPECT_EQ(extend("GetTrackIndexZQK(index as integer) as QTTrackZQK"),
            "GetTrackIndexZQK(extends ref as movie, index as integer) as QTTrackZQK");
  EXPECT_EQ(extend("DeleteTimeCodeTracksZQK"), "DeleteTimeCodeTracksZQK(extends ref as movie)");
  EXPECT_EQ(extend(""), "(extends ref as movie)");
  // Overlong declarations are cut to the 999 characters a declaration may have.
  const std::string longName(1200, 'x');
  EXPECT_EQ(extend(longName.c_str()).size(), 999u);
  EXPECT_TRUE(r.callShared("FrameProbe", "FixPropertiesOfNothing", {rt::Value::integer(3)}).asBoolean());
}

TEST_F(RegistrationTest, OlderHostsGetNarrowedRecordsThatStillWork) {
  // The same plugin loaded twice: once for a current host, once for an older one.
  // The older layout must carry every member of the current one.
  rt::Runtime current(HostVersion(2019.0));
  current.loadPlugin(kProbePlugin);
  const auto* currentProbe = static_cast<const REALclassDefinition*>(Find(current, "FrameProbe")->record);

  rt::Runtime& r = Load(HostVersion(2011.4), kProbePlugin);
  const rt::Registration* reg = Find(r, "FrameProbe");
  ASSERT_NE(reg, nullptr);
  ASSERT_TRUE(reg->olderLayout);
  ExpectClassNarrowed(*static_cast<const REALclassDefinitionV9*>(reg->record), *currentProbe);

  // 24 bytes of instance data are reserved as 32.
  EXPECT_EQ(static_cast<const REALclassDefinitionV9*>(reg->record)->dataSize, 32u);

  rt::Value probe = r.newObject("FrameProbe");
  r.set(probe, "Count", rt::Value::integer(41));
  EXPECT_EQ(r.get(probe, "Count").asInteger(), 41);
  r.set(probe, "Label", r.string("kept"));
  EXPECT_EQ(r.utf8(r.get(probe, "Label")), "kept");
  EXPECT_EQ(r.call(probe, "Twice", {rt::Value::integer(21)}).asInteger(), 42);
  EXPECT_EQ(r.constant("FrameProbe", "kProbeAnswer").asInteger(), 42);
  EXPECT_EQ(r.callShared("FrameProbe", "StringToOSType", {r.string("moov")}).asInteger(), 0x6D6F6F76);
}

TEST_F(RegistrationTest, ProductClassesInOrderWithRoundedInstanceData) {
  rt::Runtime& r = Load(HostVersion(2019.0));
  const auto& regs = r.registrations();
  ASSERT_FALSE(regs.empty());
  std::vector<std::string> seen;
  for (const auto& reg : regs) {
    if (reg.route != Route::Class) continue;
    const auto* record = static_cast<const REALclassDefinition*>(reg.record);
    EXPECT_EQ(record->version, 13u) << reg.name;
    EXPECT_EQ(record->dataSize % 16, 0u) << reg.name;
    // A subclass comes after its superclass.
    if (record->superName) {
      EXPECT_NE(std::find(seen.begin(), seen.end(), record->superName), seen.end()) << reg.name;
    }
    seen.push_back(reg.name);
  }
  // The `movie` members, once there are any, come last.
  for (size_t i = 0; i < regs.size(); ++i) {
    if (regs[i].route != Route::Class) {
      EXPECT_EQ(i, regs.size() - 1) << regs[i].name;
    }
  }
  EXPECT_TRUE(r.diagnostics().empty()) << r.diagnostics().front();
}

TEST_F(RegistrationTest, ProductRecordsNarrowedForOlderHosts) {
  rt::Runtime current(HostVersion(2019.0));
  current.loadPlugin(PELORIN_PLUGIN_PATH);
  rt::Runtime& r = Load(HostVersion(2011.4));
  size_t checked = 0;
  for (const auto& reg : r.registrations()) {
    if (reg.route != Route::Class) continue;
    SCOPED_TRACE(reg.name);
    ASSERT_TRUE(reg.olderLayout);
    const rt::Registration* same = Find(current, reg.name);
    ASSERT_NE(same, nullptr);
    ExpectClassNarrowed(*static_cast<const REALclassDefinitionV9*>(reg.record),
                        *static_cast<const REALclassDefinition*>(same->record));
    ++checked;
  }
  EXPECT_GT(checked, 0u);
}

TEST_F(RegistrationTest, MovieSupportStartsOnlyInCompiledApplicationsAndOnce) {
  {
    rt::Runtime& r = Load({}, kProbePlugin);
    EXPECT_EQ(r.entryCalls("REALenterMovies"), 1);
    const int64_t result = r.callShared("FrameProbe", "MovieSupportResult").asInteger();
    EXPECT_NE(result, 999999);
    r.callShared("FrameProbe", "EnterPluginAgain");
    EXPECT_EQ(r.entryCalls("REALenterMovies"), 1);
    EXPECT_EQ(r.callShared("FrameProbe", "MovieSupportResult").asInteger(), result);
  }
  {
    rt::Config ide;
    ide.compiledApplication = false;
    rt::Runtime& r = Load(ide, kProbePlugin);
    EXPECT_EQ(r.entryCalls("REALenterMovies"), 0);
    EXPECT_EQ(r.callShared("FrameProbe", "MovieSupportResult").asInteger(), 999999);
  }
  {
    rt::Config noInRuntime;
    noInRuntime.refusedEntries = {"REALinRuntime"};
    rt::Runtime& r = Load(noInRuntime, kProbePlugin);
    EXPECT_EQ(r.entryCalls("REALenterMovies"), 0);
  }
  {
    // Asked to start but unable to: recorded as attempted.
    rt::Config noEnterMovies;
    noEnterMovies.refusedEntries = {"REALenterMovies"};
    rt::Runtime& r = Load(noEnterMovies, kProbePlugin);
    EXPECT_EQ(r.callShared("FrameProbe", "MovieSupportResult").asInteger(), 0);
  }
}

TEST_F(RegistrationTest, MissingRegistrationEntriesStopNothingElse) {
  rt::Config config = HostVersion(3000.0);
  config.refusedEntries = {"PluginRegisterClass"};
  rt::Runtime& r = Load(config);
  ASSERT_EQ(r.registrations().size(), 1u);
  EXPECT_EQ(r.registrations()[0].name, "movie");
  // Every class asked the host again.
  EXPECT_GE(r.resolverQueries("PluginRegisterClass"), 2);
}

}  // namespace
