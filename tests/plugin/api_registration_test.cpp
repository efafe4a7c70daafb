// The complete registered API against the published tables: sixteen classes in
// order with their superclasses, instance data, member counts, declarations and
// flags, then the 28 members added to `movie`, as a class extension or as the
// 31-method module of hosts from 2013.0 up to 3000.0.
#include "api_registration_tables.h"
#include "plugin_test.h"

#include <span>
#include <string>
#include <vector>

namespace {

using Route = rt::Registration::Route;

struct ClassRow {
  const char* name;
  const char* superName;
  unsigned dataSize;  // after rounding, as a 32-bit host reserves it
  bool constructor, destructor;
  unsigned properties, methods, constants, sharedMethods;
};

const ClassRow kClassRows[] = {
    {"QTUserDataZQK", nullptr, 16, true, true, 3, 12, 0, 0},
    {"QTChapterDataZQK", nullptr, 112, true, true, 27, 0, 21, 0},
    {"QTTimeCodeCreationParametersZQK", nullptr, 96, true, true, 21, 1, 0, 0},
    {"QTSampleDescriptionZQK", nullptr, 176, false, true, 1, 0, 0, 0},
    {"QTVideoSampleDescriptionZQK", "QTSampleDescriptionZQK", 0, false, false, 11, 0, 0, 0},
    {"QTSoundSampleDescriptionZQK", "QTSampleDescriptionZQK", 0, false, false, 5, 0, 0, 0},
    {"QTSpriteSampleDescriptionZQK", "QTSampleDescriptionZQK", 0, false, false, 1, 0, 0, 0},
    {"QTMusicSampleDescriptionZQK", "QTSampleDescriptionZQK", 0, false, false, 0, 0, 0, 0},
    {"QTThreeDeeSampleDescriptionZQK", "QTSampleDescriptionZQK", 0, false, false, 2, 0, 0, 0},
    {"QTFlashSampleDescriptionZQK", "QTSampleDescriptionZQK", 0, false, false, 1, 0, 0, 0},
    {"QTTextSampleDescriptionZQK", "QTSampleDescriptionZQK", 0, false, false, 21, 0, 0, 0},
    {"QTTrackZQK", nullptr, 16, true, true, 3, 73, 0, 0},
    {"QTChapterTrackZQK", "QTTrackZQK", 0, false, false, 0, 5, 0, 0},
    {"QTTimeCodeZQK", nullptr, 32, true, true, 15, 1, 0, 0},
    {"QTMetaDataZQK", nullptr, 16, true, true, 2, 15, 61, 33},
    {"QTMetaDataItemZQK", nullptr, 32, true, true, 1, 11, 0, 0},
};

// Declarations the tables give in full, by class; the rest are counted.
std::span<const MethodRow> MethodTable(const std::string& className) {
  if (className == "QTTrackZQK") return kTrackRows;
  if (className == "QTChapterTrackZQK") return kChapterTrackRows;
  if (className == "QTMetaDataZQK") return kMetaDataRows;
  if (className == "QTMetaDataItemZQK") return kMetaDataItemRows;
  if (className == "QTUserDataZQK") return kUserDataRows;
  return {};
}

class ApiRegistrationTest : public PluginTest {
 protected:
  rt::Runtime& Host(double version) {
    rt::Config config;
    config.hostVersion = version;
    return Load(config);
  }
};

TEST_F(ApiRegistrationTest, SixteenClassesAsTabled) {
  rt::Runtime& r = Host(2019.0);
  const auto& regs = r.registrations();
  ASSERT_EQ(regs.size(), std::size(kClassRows) + 1);
  for (size_t i = 0; i < std::size(kClassRows); ++i) {
    const ClassRow& row = kClassRows[i];
    SCOPED_TRACE(row.name);
    ASSERT_EQ(regs[i].route, Route::Class);
    ASSERT_EQ(regs[i].name, row.name);
    const auto* c = static_cast<const REALclassDefinition*>(regs[i].record);
    EXPECT_EQ(c->version, 13u);
    if (row.superName) {
      EXPECT_STREQ(c->superName, row.superName);
    } else {
      EXPECT_EQ(c->superName, nullptr);
    }
    // A 32-bit host reserves the tabled size; here every word is wider, so the
    // block is at least as large, still rounded.
    if (sizeof(void*) == 4) {
      EXPECT_EQ(c->dataSize, row.dataSize);
    } else {
      EXPECT_GE(c->dataSize, row.dataSize);
      EXPECT_EQ(c->dataSize % 16, 0u);
      EXPECT_EQ(c->dataSize == 0, row.dataSize == 0);
    }
    EXPECT_EQ(c->constructor != nullptr, row.constructor);
    EXPECT_EQ(c->destructor != nullptr, row.destructor);
    EXPECT_EQ(c->propertyCount, row.properties);
    EXPECT_EQ(c->methodCount, row.methods);
    EXPECT_EQ(c->constantCount, row.constants);
    EXPECT_EQ(c->sharedMethodCount, row.sharedMethods);
    EXPECT_EQ(c->sharedPropertyCount, 0u);
    EXPECT_EQ(c->eventCount, 0u);

    const std::span<const MethodRow> methods = MethodTable(row.name);
    if (!methods.empty()) {
      ASSERT_EQ(c->methodCount, methods.size());
      for (size_t m = 0; m < methods.size(); ++m) {
        EXPECT_STREQ(c->methods[m].declaration, methods[m].declaration) << "method " << m + 1;
        EXPECT_NE(c->methods[m].function, nullptr) << methods[m].declaration;
        EXPECT_EQ(c->methods[m].setterFunction != nullptr, methods[m].propertyLike) << methods[m].declaration;
        EXPECT_EQ(c->methods[m].flags, 0u);
      }
    }
    // The chapter record alone carries flags: 4 on the class, 6 on each property.
    const bool chapterData = std::string(row.name) == "QTChapterDataZQK";
    EXPECT_EQ(c->flags, chapterData ? 4u : 0u);
    for (uintptr_t p = 0; p < c->propertyCount; ++p) EXPECT_EQ(c->properties[p].flags, chapterData ? 6u : 0u);
  }

  // QTMetaDataZQK's constants and shared methods, exactly as written.
  const auto* metaData = static_cast<const REALclassDefinition*>(regs[14].record);
  ASSERT_EQ(metaData->constantCount, std::size(kMetaDataConstants));
  for (size_t i = 0; i < std::size(kMetaDataConstants); ++i)
    EXPECT_STREQ(metaData->constants[i].declaration, kMetaDataConstants[i]) << "constant " << i + 1;
  ASSERT_EQ(metaData->sharedMethodCount, std::size(kMetaDataSharedRows));
  for (size_t i = 0; i < std::size(kMetaDataSharedRows); ++i)
    EXPECT_STREQ(metaData->sharedMethods[i].declaration, kMetaDataSharedRows[i].declaration) << "shared " << i + 1;
  EXPECT_TRUE(r.diagnostics().empty()) << r.diagnostics().front();
}

TEST_F(ApiRegistrationTest, MovieMembersAsAClassExtension) {
  for (double version : {2012.99, 3000.0}) {
    SCOPED_TRACE(version);
    rt::Runtime& r = Host(version);
    const rt::Registration& last = r.registrations().back();
    ASSERT_EQ(last.route, Route::ClassExtension);
    const auto* movie = static_cast<const REALclassDefinition*>(last.record);
    EXPECT_STREQ(movie->name, "movie");
    EXPECT_EQ(movie->dataSize, 0u);
    EXPECT_EQ(movie->propertyCount, 0u);
    ASSERT_EQ(movie->methodCount, std::size(kMovieRows));
    int propertyLike = 0;
    for (size_t i = 0; i < std::size(kMovieRows); ++i) {
      EXPECT_STREQ(movie->methods[i].declaration, kMovieRows[i].declaration) << "row " << i + 1;
      EXPECT_NE(movie->methods[i].function, nullptr);
      EXPECT_EQ(movie->methods[i].setterFunction != nullptr, kMovieRows[i].propertyLike) << "row " << i + 1;
      propertyLike += movie->methods[i].setterFunction != nullptr;
    }
    EXPECT_EQ(propertyLike, 3);
  }
}

// 28 rows, three of them property-like, make 31 module methods: each pair's
// setter first, then its getter.
TEST_F(ApiRegistrationTest, MovieMembersAsTheExtensionModule) {
  for (double version : {2013.0, 2013.04, 2999.99}) {
    SCOPED_TRACE(version);
    rt::Runtime& r = Host(version);
    const rt::Registration& last = r.registrations().back();
    ASSERT_EQ(last.route, Route::Module);
    const auto* module = static_cast<const REALmoduleDefinition*>(last.record);
    EXPECT_STREQ(module->name, "moviePelorinExtensionZQK");
    // Representative rows as the module publishes them: the movie comes first, and
    // a property-like row becomes its setter followed by its getter.
    const std::pair<size_t, const char*> published[] = {
        {0, "AudioSummaryChannelLayoutZQK(extends ref as movie) as QTAudioChannelLayoutZQK"},
        {2, "ScaleMovieSegmentZQK(extends ref as movie, startTime as integer, oldDuration as integer, "
            "newDuration as integer) as integer"},
        {10, "RateChangesPreservePitchZQK(extends ref as movie, assigns value as Boolean)"},
        {11, "RateChangesPreservePitchZQK(extends ref as movie) as Boolean"},
        {12, "PitchZQK(extends ref as movie, assigns value as double)"},
        {13, "PitchZQK(extends ref as movie) as double"},
        {20, "DeleteTimeCodeTracksZQK(extends ref as movie)"},
        {24, "TimeCodeDisplayedZQK(extends ref as movie, assigns value as boolean)"},
        {25, "TimeCodeDisplayedZQK(extends ref as movie) as boolean"},
        {30, "GetMovieApertureModeZQK(extends ref as movie) as string"},
    };
    ASSERT_EQ(module->methodCount, 31u);
    for (const auto& [i, declaration] : published) EXPECT_STREQ(module->methods[i].declaration, declaration);
    for (size_t i = 0; i < module->methodCount; ++i) {
      EXPECT_NE(module->methods[i].function, nullptr);
      EXPECT_EQ(module->methods[i].setterFunction, nullptr);
      EXPECT_EQ(module->methods[i].flags, 0x10u);
    }
    EXPECT_TRUE(r.diagnostics().empty()) << r.diagnostics().front();
  }
}

}  // namespace
