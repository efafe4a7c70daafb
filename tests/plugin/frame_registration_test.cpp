// Start-up and registration as the host sees them: the layout chosen for each host
// version, the route the `movie` members take, the records converted for older
// hosts, and the host's movie support.
#include <dlfcn.h>

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

// Two loaded copies of the same plugin hold the same word where the values are
// equal or point at the same place in their own image (code, strings, tables).
bool SameWord(uintptr_t a, uintptr_t b) {
  if (a == b) return true;
  Dl_info ia{}, ib{};
  if (!dladdr(reinterpret_cast<void*>(a), &ia) || !dladdr(reinterpret_cast<void*>(b), &ib)) return false;
  return a - reinterpret_cast<uintptr_t>(ia.dli_fbase) == b - reinterpret_cast<uintptr_t>(ib.dli_fbase);
}

const uintptr_t* Words(const void* record) { return static_cast<const uintptr_t*>(record); }

// Each older record must be the leading words of its current one.
void ExpectPrefixes(const void* older, size_t olderWords, const void* current, size_t currentWords, uintptr_t count) {
  ASSERT_EQ(older == nullptr, current == nullptr || count == 0);
  for (uintptr_t i = 0; i < count; ++i) {
    for (size_t w = 0; w < olderWords; ++w) {
      EXPECT_TRUE(SameWord(Words(older)[i * olderWords + w], Words(current)[i * currentWords + w]))
          << "record " << i << " word " << w;
    }
  }
}

void ExpectClassNarrowed(const REALclassDefinitionV9& older, const REALclassDefinition& current) {
  EXPECT_EQ(older.version, 9u);
  // Words holding arrays are checked record by record below; 16 and 17 are gone.
  for (size_t w : {1, 2, 3, 4, 5, 6, 8, 10, 12, 13, 14, 15, 19, 20, 22, 24}) {
    EXPECT_TRUE(SameWord(Words(&older)[w], Words(&current)[w])) << "word " << w;
  }
  EXPECT_EQ(older.reserved16[0] | older.reserved16[1], 0u);
  ExpectPrefixes(older.properties, 10, current.properties, 12, current.propertyCount);
  ExpectPrefixes(older.methods, 4, current.methods, 6, current.methodCount);
  ExpectPrefixes(older.events, 2, current.events, 4, current.eventCount);
  ExpectPrefixes(older.constants, 3, current.constants, 5, current.constantCount);
  ExpectPrefixes(older.sharedProperties, 10, current.sharedProperties, 12, current.sharedPropertyCount);
  ExpectPrefixes(older.sharedMethods, 4, current.sharedMethods, 6, current.sharedMethodCount);
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
