// QTChapterDataZQK: a plain value holder that AddTextTrackZQK reads. Every field
// but the font name is a direct property; the font name is the Font Manager's
// view of FontNumber.
#include "movie/chapter_data.h"

#include "host/framework.h"
#include "host/host.h"
#include "host/values.h"
#include "plugin/instance.h"
#include "plugin/member_records.h"


namespace {

// The host passes both flag words on unchanged.
constexpr uintptr_t kChapterClassFlags = 4;
constexpr uintptr_t kChapterPropertyFlags = 6;

// TextEdit's teCenter and QuickTime's dfClipToTextBox.
constexpr RBInteger kDefaultJustification = 1;
constexpr RBInteger kDefaultDisplayFlags = 4;

ChapterDataInstance* Fields(REALobject instance) {
  return InstanceData<ChapterDataInstance>(QTChapterDataZQKClass, instance);
}

// The host hands the block out zero-filled; only the non-zero defaults are set.
void QTChapterDataConstructor(REALobject instance) {
  ChapterDataInstance* data = Fields(instance);
  if (!data) return;
  data->textJustification = kDefaultJustification;
  data->displayFlags = kDefaultDisplayFlags;
  data->scrollDelay = 0;
}

void QTChapterDataDestructor(REALobject instance) {
  ChapterDataInstance* data = Fields(instance);
  if (!data || !data->text) return;
  REALUnlockString(data->text);
  data->text = nullptr;
}

// The name of font family FontNumber, in Mac Roman; empty when the Font Manager
// cannot be reached or does not know the family.
REALstring rbGetFontName(REALobject instance, RBInteger) {
  ChapterDataInstance* data = Fields(instance);
  auto getFontName = _GetFontName.get();
  if (!data || !getFontName) return nullptr;
  Str255 name = {0};
  getFontName(static_cast<int16_t>(data->fontNumber), name);
  return REALBuildUnicodeString(name + 1, name[0], kREALEncodingMacRoman);
}

// FontNumber becomes the family of that name: 0 for a name the Font Manager does
// not know, or when it cannot be reached.
void rbSetFontName(REALobject instance, RBInteger, REALstring value) {
  ChapterDataInstance* data = Fields(instance);
  if (!data) return;
  Str255 name;
  PutSystemString(name, value);
  int16_t number = 0;
  if (auto getFNum = _GetFNum.get()) getFNum(name, &number);
  data->fontNumber = number;
}

using F = ChapterDataInstance;

REALproperty Field(const char* name, const char* type, size_t offset) {
  return DirectProperty(name, type, offset, kChapterPropertyFlags);
}

REALproperty kChapterDataProperties[] = {
    Field("Text", "String", offsetof(F, text)),
    Field("FrameDuration", "Integer", offsetof(F, frameDuration)),
    Field("FontNumber", "Integer", offsetof(F, fontNumber)),
    AccessorProperty("FontName", "String", &rbGetFontName, &rbSetFontName, kChapterPropertyFlags),
    Field("FontSize", "Integer", offsetof(F, fontSize)),
    Field("bold", "Boolean", offsetof(F, bold)),
    Field("italic", "Boolean", offsetof(F, italic)),
    Field("underline", "Boolean", offsetof(F, underline)),
    Field("outline", "Boolean", offsetof(F, outline)),
    Field("shadow", "Boolean", offsetof(F, shadow)),
    Field("condense", "Boolean", offsetof(F, condense)),
    Field("extend", "Boolean", offsetof(F, extend)),
    Field("HasBackColor", "Boolean", offsetof(F, hasBackColor)),
    Field("HasTextColor", "Boolean", offsetof(F, hasTextColor)),
    Field("HasHighLightColor", "Boolean", offsetof(F, hasHighLightColor)),
    Field("HighLightColor", "Color", offsetof(F, highLightColor)),
    Field("BackColor", "Color", offsetof(F, backColor)),
    Field("TextColor", "Color", offsetof(F, textColor)),
    Field("TextJustification", "Integer", offsetof(F, textJustification)),
    Field("DisplayFlags", "Integer", offsetof(F, displayFlags)),
    Field("ScrollDelay", "Integer", offsetof(F, scrollDelay)),
    Field("HighLightStart", "Integer", offsetof(F, highLightStart)),
    Field("HighLightEnd", "Integer", offsetof(F, highLightEnd)),
    Field("Left", "Integer", offsetof(F, left)),
    Field("Top", "Integer", offsetof(F, top)),
    Field("Width", "Integer", offsetof(F, width)),
    Field("Height", "Integer", offsetof(F, height)),
};

// The values TextJustification and DisplayFlags take, under QuickTime's names.
REALconstant kChapterDataConstants[] = {
    ConstantRecord("teFlushDefault = 0"),
    ConstantRecord("teCenter = 1"),
    ConstantRecord("teFlushRight = -1"),
    ConstantRecord("teFlushLeft = -2"),
    ConstantRecord("dfDontDisplay = 1"),
    ConstantRecord("dfDontAutoScale = 2"),
    ConstantRecord("dfClipToTextBox = 4"),
    ConstantRecord("dfUseMovieBGColor = 8"),
    ConstantRecord("dfShrinkTextBoxToFit = 16"),
    ConstantRecord("dfScrollIn = 32"),
    ConstantRecord("dfScrollOut = 64"),
    ConstantRecord("dfHorizScroll = 128"),
    ConstantRecord("dfReverseScroll = 256"),
    ConstantRecord("dfContinuousScroll = 512"),
    ConstantRecord("dfFlowHoriz = 1024"),
    ConstantRecord("dfContinuousKaraoke = 2048"),
    ConstantRecord("dfDropShadow = 4096"),
    ConstantRecord("dfAntiAlias = 8192"),
    ConstantRecord("dfKeyedText = 16384"),
    ConstantRecord("dfInverseHilite = 32768"),
    ConstantRecord("dfTextColorHilite = 65536"),
};

}  // namespace

REALclassDefinition QTChapterDataZQKClass = ClassRecord({
    .name = "QTChapterDataZQK",
    .dataSize = ChapterDataInstance::kDeclaredSize,
    .constructor = QTChapterDataConstructor,
    .destructor = QTChapterDataDestructor,
    .properties = kChapterDataProperties,
    .constants = kChapterDataConstants,
    .flags = kChapterClassFlags,
});
