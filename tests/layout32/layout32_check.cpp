// Compiled with -m32 only (never linked or run): proves that the contract's
// records and every class's instance data have the sizes a 32-bit host reads.
#include <pelorin/sdk.h>

#include "metadata/metadata_instance.h"
#include "metadata/metadata_item_instance.h"
#include "metadata/user_data_instance.h"
#include "movie/chapter_data.h"
#include "movie/timecode_parameters.h"
#include "track/sample_description.h"
#include "track/timecode.h"
#include "track/track_instance.h"

#include <cstddef>

static_assert(sizeof(void*) == 4, "this check is meant for a 32-bit target (-m32)");
static_assert(sizeof(RBInteger) == 4 && sizeof(RBBoolean) == 4 && sizeof(RBColor) == 4);

// Records: arrays of 32-bit words.
static_assert(sizeof(REALclassDefinition) == 116);     // 29 words
static_assert(sizeof(REALclassDefinitionV9) == 100);   // 25 words
static_assert(sizeof(REALproperty) == 48);             // 12 words
static_assert(sizeof(REALpropertyV9) == 40);           // 10 words
static_assert(sizeof(REALmethodDefinition) == 24);     // 6 words
static_assert(sizeof(REALmethodDefinitionV9) == 16);   // 4 words
static_assert(sizeof(REALconstant) == 20);             // 5 words
static_assert(sizeof(REALconstantV9) == 12);           // 3 words
static_assert(sizeof(REALmoduleDefinition) == 96);     // 24 words
static_assert(offsetof(REALclassDefinition, forSystemUse) == 16);
static_assert(offsetof(REALclassDefinition, constants) == 72);
static_assert(offsetof(REALclassDefinition, sharedMethods) == 92);
static_assert(offsetof(REALproperty, fieldOffset) == 24);

// Instance data: the fields fill exactly the size the class table declares...
static_assert(sizeof(UserDataInstance) == 16 && UserDataInstance::kDeclaredSize == 16);
static_assert(sizeof(ChapterDataInstance) == 104 && ChapterDataInstance::kDeclaredSize == 104);
static_assert(sizeof(TimeCodeParametersInstance) == 84 && TimeCodeParametersInstance::kDeclaredSize == 84);
static_assert(sizeof(TrackInstance) == 12 && TrackInstance::kDeclaredSize == 12);
static_assert(sizeof(TimeCodeInstance) == 28 && TimeCodeInstance::kDeclaredSize == 28);
static_assert(sizeof(MetaDataInstance) == 16 && MetaDataInstance::kDeclaredSize == 16);
static_assert(sizeof(MetaDataItemInstance) == 24 && MetaDataItemInstance::kDeclaredSize == 24);

// ...except the sample descriptions, whose 160 bytes of fields sit in the 176
// bytes the class declares.
static_assert(sizeof(SampleDescriptionInstance) == 160);
static_assert(SampleDescriptionInstance::kDeclaredSize == 176);
static_assert(sizeof(SampleDescriptionInstance) <= SampleDescriptionInstance::kDeclaredSize);

// Fields whose position depends on packing or alignment rather than word order.
static_assert(offsetof(TimeCodeInstance, definition) == 4);
static_assert(offsetof(TimeCodeInstance, timeCode) == 18);
static_assert(offsetof(TimeCodeInstance, sourceName) == 24);
static_assert(offsetof(MetaDataInstance, currentItem) == 8);
static_assert(offsetof(MetaDataItemInstance, item) == 8);
static_assert(offsetof(MetaDataItemInstance, metaData) == 16);
static_assert(offsetof(SampleDescriptionInstance, version) == 24);
static_assert(offsetof(SampleDescriptionInstance, depth) == 156);
static_assert(offsetof(ChapterDataInstance, height) == 100);
static_assert(offsetof(TimeCodeParametersInstance, fontBackColor) == 80);
