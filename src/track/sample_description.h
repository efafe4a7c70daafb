// The sample-description classes: QTSampleDescriptionZQK and its seven typed
// subclasses, detached copies of one sample description of a media.
//
// All eight share the block declared by QTSampleDescriptionZQK; each subclass
// uses only some of its fields and leaves the others zero. This header carries
// only the contract types so that the 32-bit layout check can compile it.
#pragma once

#include <pelorin/sdk.h>

#include <cstddef>
#include <cstdint>

struct SampleDescriptionInstance {
  double sampleRate;              // sound
  double horizontalResolution;    // video
  double verticalResolution;      // video
  RBInteger version;              // sound
  REALstring codecType;           // all
  RBBoolean italic;               // text
  REALstring decompressorType;    // sprite, 3D, flash
  RBBoolean outline;              // text
  REALstring codecVendor;         // video, sound
  RBBoolean bold;                 // text
  REALstring defaultFontName;     // text
  RBBoolean underline;            // text
  REALstring codecName;           // video
  RBBoolean condense;             // text
  REALstring rendererType;        // 3D
  RBBoolean extend;               // text
  RBInteger channelCount;         // sound
  RBBoolean shadow;               // text
  RBInteger sampleSize;           // sound
  RBInteger displayFlags;         // text
  RBInteger textJustification;    // text
  RBColor backgroundColor;        // text
  RBInteger left;                 // text
  RBInteger top;                  // text
  RBInteger textHeight;           // text
  RBInteger textAscent;           // text
  RBInteger textFontID;           // text
  RBInteger textSize;             // text
  RBColor textColor;              // text
  RBInteger textFace;             // text; only ever what user code assigns
  RBInteger temporalQuality;      // video
  RBInteger spatialQuality;       // video
  RBInteger width;                // video, text
  RBInteger height;               // video, text
  RBInteger size;                 // video
  RBInteger frameCount;           // video
  RBInteger depth;                // video

  // A 32-bit host reserves 176 bytes for this block although its fields take
  // 160; declaring the same keeps objects the size such a host expects.
  // Elsewhere the fields decide.
  static const size_t kDeclaredSize;
};
inline constexpr size_t SampleDescriptionInstance::kDeclaredSize =
    sizeof(void*) == 4 ? 176 : sizeof(SampleDescriptionInstance);

// Registered in this order, after the other value classes and before QTTrackZQK.
extern REALclassDefinition QTSampleDescriptionZQKClass;
extern REALclassDefinition QTVideoSampleDescriptionZQKClass;
extern REALclassDefinition QTSoundSampleDescriptionZQKClass;
extern REALclassDefinition QTSpriteSampleDescriptionZQKClass;
extern REALclassDefinition QTMusicSampleDescriptionZQKClass;
extern REALclassDefinition QTThreeDeeSampleDescriptionZQKClass;
extern REALclassDefinition QTFlashSampleDescriptionZQKClass;
extern REALclassDefinition QTTextSampleDescriptionZQKClass;

// Releases the six owned strings; harmless when run twice.
void QTSampleDescriptionDestructor(REALobject instance);
