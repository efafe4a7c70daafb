// The registered classes, in the order the host must see them: a superclass
// always comes before its subclasses.
#include "plugin/registration.h"

#include "metadata/metadata.h"
#include "metadata/metadata_item.h"
#include "metadata/user_data.h"
#include "movie/chapter_data.h"
#include "movie/movie_members.h"
#include "movie/timecode_parameters.h"
#include "track/sample_description.h"
#include "track/timecode.h"
#include "track/track.h"

static REALclassDefinition* const kClasses[] = {
    &QTUserDataZQKClass,
    &QTChapterDataZQKClass,
    &QTTimeCodeCreationParametersZQKClass,
    &QTSampleDescriptionZQKClass,
    &QTVideoSampleDescriptionZQKClass,
    &QTSoundSampleDescriptionZQKClass,
    &QTSpriteSampleDescriptionZQKClass,
    &QTMusicSampleDescriptionZQKClass,
    &QTThreeDeeSampleDescriptionZQKClass,
    &QTFlashSampleDescriptionZQKClass,
    &QTTextSampleDescriptionZQKClass,
    &QTTrackZQKClass,
    &QTChapterTrackZQKClass,
    &QTTimeCodeZQKClass,
    &QTMetaDataZQKClass,
    &QTMetaDataItemZQKClass,
    nullptr,  // end of table
};

const PluginClassTable& PluginClasses() {
  static const PluginClassTable table = {kClasses, sizeof kClasses / sizeof kClasses[0] - 1, &MovieExtensionClass};
  return table;
}
