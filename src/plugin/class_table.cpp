// The registered classes, in the order the host must see them: a superclass
// always comes before its subclasses.
#include "plugin/registration.h"

#include "movie/chapter_data.h"
#include "movie/timecode_parameters.h"
#include "track/sample_description.h"
#include "track/timecode.h"

// One line per class as it joins the plugin.
// extern REALclassDefinition QTUserDataZQKClass;

// The members added to the host's `movie` class.
// Its methods arrive with the movie members; the record is complete already.
REALclassDefinition MovieExtensionClass = {
    13, "movie", nullptr, 0, 0, nullptr, nullptr,
    nullptr, 0,        // properties
    nullptr, 0,        // methods
    nullptr, 0,        // events
    {0, 0, 0},
    nullptr, 0,        // interfaces
    nullptr, 0,        // constants
    0,                 // flags
    nullptr, 0,        // shared properties
    nullptr, 0,        // shared methods
    nullptr, 0, nullptr, 0,
};

static REALclassDefinition* const kClasses[] = {
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
    &QTTimeCodeZQKClass,
    nullptr,  // end of table
};

const PluginClassTable& PluginClasses() {
  static const PluginClassTable table = {kClasses, sizeof kClasses / sizeof kClasses[0] - 1, &MovieExtensionClass};
  return table;
}
