// The eight sample-description classes. Objects are detached copies that the
// track members fill; their properties read and write only the object's own
// fields, and nothing here ever reaches a media.
#include "track/sample_description.h"

#include "host/host.h"
#include "plugin/instance.h"
#include "plugin/member_records.h"

#include <span>

namespace {

using F = SampleDescriptionInstance;

// Every subclass reaches the block through the class that declares it.
F* Fields(REALobject instance) { return InstanceData<F>(QTSampleDescriptionZQKClass, instance); }

template <typename T>
T ReadField(REALobject instance, T F::*field) {
  const F* data = Fields(instance);
  return data ? data->*field : T{};
}
template <typename T>
void WriteField(REALobject instance, T F::*field, T value) {
  if (F* data = Fields(instance)) data->*field = value;
}

// A host Boolean in instance data counts by its first byte.
bool ReadBoolean(REALobject instance, RBBoolean F::*field) {
  const F* data = Fields(instance);
  return data && reinterpret_cast<const unsigned char*>(&(data->*field))[0] != 0;
}
void WriteBoolean(REALobject instance, RBBoolean F::*field, bool value) {
  if (F* data = Fields(instance)) data->*field = value ? 1 : 0;
}

// The caller receives a reference of its own.
REALstring ReadString(REALobject instance, REALstring F::*field) {
  const F* data = Fields(instance);
  if (!data || !(data->*field)) return nullptr;
  REALLockString(data->*field);
  return data->*field;
}
// The new string is locked before the old one is let go, so assigning a field its
// own value never drops the last reference in between.
void WriteString(REALobject instance, REALstring F::*field, REALstring value) {
  F* data = Fields(instance);
  if (!data) return;
  if (value) REALLockString(value);
  if (REALstring old = data->*field) REALUnlockString(old);
  data->*field = value;
}

#define VALUE_ACCESSORS(Name, Type, field)                                                        \
  Type Get##Name(REALobject instance, RBInteger) { return ReadField(instance, &F::field); }       \
  void Set##Name(REALobject instance, RBInteger, Type value) { WriteField(instance, &F::field, value); }
#define BOOLEAN_ACCESSORS(Name, field)                                                            \
  bool Get##Name(REALobject instance, RBInteger) { return ReadBoolean(instance, &F::field); }     \
  void Set##Name(REALobject instance, RBInteger, bool value) { WriteBoolean(instance, &F::field, value); }
#define STRING_ACCESSORS(Name, field)                                                             \
  REALstring Get##Name(REALobject instance, RBInteger) { return ReadString(instance, &F::field); } \
  void Set##Name(REALobject instance, RBInteger, REALstring value) { WriteString(instance, &F::field, value); }

STRING_ACCESSORS(CodecVendor, codecVendor)
STRING_ACCESSORS(CodecName, codecName)
STRING_ACCESSORS(DecompressorType, decompressorType)
STRING_ACCESSORS(RendererType, rendererType)
STRING_ACCESSORS(DefaultFontName, defaultFontName)

VALUE_ACCESSORS(TemporalQuality, RBInteger, temporalQuality)
VALUE_ACCESSORS(SpatialQuality, RBInteger, spatialQuality)
VALUE_ACCESSORS(Width, RBInteger, width)
VALUE_ACCESSORS(Height, RBInteger, height)
VALUE_ACCESSORS(Size, RBInteger, size)
VALUE_ACCESSORS(FrameCount, RBInteger, frameCount)
VALUE_ACCESSORS(DepthI, RBInteger, depth)
VALUE_ACCESSORS(HRes, double, horizontalResolution)
VALUE_ACCESSORS(VRes, double, verticalResolution)

VALUE_ACCESSORS(ChannelCount, RBInteger, channelCount)
VALUE_ACCESSORS(SampleSize, RBInteger, sampleSize)
VALUE_ACCESSORS(SampleRate, double, sampleRate)
VALUE_ACCESSORS(DescVersion, RBInteger, version)

VALUE_ACCESSORS(DisplayFlags, RBInteger, displayFlags)
VALUE_ACCESSORS(TextJustificationI, RBInteger, textJustification)
VALUE_ACCESSORS(BackgroundColor, RBColor, backgroundColor)
VALUE_ACCESSORS(Left, RBInteger, left)
VALUE_ACCESSORS(Top, RBInteger, top)
VALUE_ACCESSORS(TextHeight, RBInteger, textHeight)
VALUE_ACCESSORS(TextAscent, RBInteger, textAscent)
VALUE_ACCESSORS(TextFontID, RBInteger, textFontID)
VALUE_ACCESSORS(TextSize, RBInteger, textSize)
VALUE_ACCESSORS(TextColorI, RBColor, textColor)
VALUE_ACCESSORS(TextFaceI, RBInteger, textFace)
BOOLEAN_ACCESSORS(Bold, bold)
BOOLEAN_ACCESSORS(Italic, italic)
BOOLEAN_ACCESSORS(Underline, underline)
BOOLEAN_ACCESSORS(Outline, outline)
BOOLEAN_ACCESSORS(Shadow, shadow)
BOOLEAN_ACCESSORS(Condense, condense)
BOOLEAN_ACCESSORS(Extend, extend)

#undef VALUE_ACCESSORS
#undef BOOLEAN_ACCESSORS
#undef STRING_ACCESSORS

#define PROPERTY(name, type, Accessor) AccessorProperty(name, type, &Get##Accessor, &Set##Accessor)

REALproperty kSampleDescriptionProperties[] = {
    DirectProperty("CodecType", "String", offsetof(F, codecType)),
};

REALproperty kVideoProperties[] = {
    PROPERTY("CodecVendor", "String", CodecVendor),
    PROPERTY("TemporalQuality", "Integer", TemporalQuality),
    PROPERTY("SpatialQuality", "Integer", SpatialQuality),
    PROPERTY("Width", "Integer", Width),
    PROPERTY("Height", "Integer", Height),
    PROPERTY("Size", "Integer", Size),
    PROPERTY("FrameCount", "Integer", FrameCount),
    PROPERTY("CodecName", "String", CodecName),
    PROPERTY("Depth", "Integer", DepthI),
    PROPERTY("HorizontalResolution", "Double", HRes),
    PROPERTY("VerticalResolution", "Double", VRes),
};

REALproperty kSoundProperties[] = {
    PROPERTY("CodecVendor", "String", CodecVendor),
    PROPERTY("ChannelCount", "Integer", ChannelCount),
    PROPERTY("SampleSize", "Integer", SampleSize),
    PROPERTY("SampleRate", "Double", SampleRate),
    PROPERTY("Version", "Integer", DescVersion),
};

REALproperty kSpriteProperties[] = {
    PROPERTY("DecompressorType", "String", DecompressorType),
};

REALproperty kTextProperties[] = {
    PROPERTY("DefaultFontName", "String", DefaultFontName),
    PROPERTY("DisplayFlags", "Integer", DisplayFlags),
    PROPERTY("TextJustification", "Integer", TextJustificationI),
    PROPERTY("BackgroundColor", "Color", BackgroundColor),
    PROPERTY("Left", "Integer", Left),
    PROPERTY("Top", "Integer", Top),
    PROPERTY("Width", "Integer", Width),
    PROPERTY("Height", "Integer", Height),
    PROPERTY("TextHeight", "Integer", TextHeight),
    PROPERTY("TextAscent", "Integer", TextAscent),
    PROPERTY("TextFontID", "Integer", TextFontID),
    PROPERTY("TextSize", "Integer", TextSize),
    PROPERTY("TextColor", "Color", TextColorI),
    PROPERTY("TextFace", "Integer", TextFaceI),
    PROPERTY("Bold", "Boolean", Bold),
    PROPERTY("Italic", "Boolean", Italic),
    PROPERTY("Underline", "Boolean", Underline),
    PROPERTY("Outline", "Boolean", Outline),
    PROPERTY("Shadow", "Boolean", Shadow),
    PROPERTY("Condense", "Boolean", Condense),
    PROPERTY("Extend", "Boolean", Extend),
};

REALproperty kThreeDeeProperties[] = {
    PROPERTY("RendererType", "String", RendererType),
    PROPERTY("DecompressorType", "String", DecompressorType),
};

REALproperty kFlashProperties[] = {
    PROPERTY("DecompressorType", "String", DecompressorType),
};

#undef PROPERTY

constexpr char kBaseClassName[] = "QTSampleDescriptionZQK";

// A subclass: no block, constructor or destructor of its own.
constexpr REALclassDefinition Subclass(const char* name, std::span<REALproperty> properties) {
  return ClassRecord({.name = name, .superName = kBaseClassName, .properties = properties});
}

}  // namespace

// The string fields are the object's own references; the others need nothing.
void QTSampleDescriptionDestructor(REALobject instance) {
  F* data = Fields(instance);
  if (!data) return;
  for (REALstring F::*field : {&F::codecType, &F::decompressorType, &F::codecVendor, &F::defaultFontName,
                               &F::codecName, &F::rendererType}) {
    if (REALstring s = data->*field) {
      REALUnlockString(s);
      data->*field = nullptr;
    }
  }
}

REALclassDefinition QTSampleDescriptionZQKClass = ClassRecord({
    .name = kBaseClassName,
    .dataSize = SampleDescriptionInstance::kDeclaredSize,
    .destructor = QTSampleDescriptionDestructor,
    .properties = kSampleDescriptionProperties,
});
REALclassDefinition QTVideoSampleDescriptionZQKClass = Subclass("QTVideoSampleDescriptionZQK", kVideoProperties);
REALclassDefinition QTSoundSampleDescriptionZQKClass = Subclass("QTSoundSampleDescriptionZQK", kSoundProperties);
REALclassDefinition QTSpriteSampleDescriptionZQKClass = Subclass("QTSpriteSampleDescriptionZQK", kSpriteProperties);
REALclassDefinition QTMusicSampleDescriptionZQKClass = Subclass("QTMusicSampleDescriptionZQK", {});
REALclassDefinition QTThreeDeeSampleDescriptionZQKClass =
    Subclass("QTThreeDeeSampleDescriptionZQK", kThreeDeeProperties);
REALclassDefinition QTFlashSampleDescriptionZQKClass = Subclass("QTFlashSampleDescriptionZQK", kFlashProperties);
REALclassDefinition QTTextSampleDescriptionZQKClass = Subclass("QTTextSampleDescriptionZQK", kTextProperties);
