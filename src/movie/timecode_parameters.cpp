// QTTimeCodeCreationParametersZQK: the settings AddTimeCodeToMovieZQK reads. The
// host reads and writes every field itself; the plugin only sets the defaults and
// releases the two strings.
#include "movie/timecode_parameters.h"

#include "host/host.h"
#include "host/values.h"
#include "plugin/instance.h"
#include "plugin/member_records.h"

#include <cstring>

namespace {

constexpr char kDefaultSourceName[] = "ZQK REALbasic Plugin";
constexpr char kDefaultFontName[] = "Monaco";

TimeCodeParametersInstance* Fields(REALobject instance) {
  return InstanceData<TimeCodeParametersInstance>(QTTimeCodeCreationParametersZQKClass, instance);
}

REALstring AsciiString(const char* text) {
  return REALBuildUnicodeString(text, std::strlen(text), kREALEncodingASCII);
}

// 29.97 frames per second (2997 / 100) numbered at 30 with drop-frame counting,
// in Monaco on white; zero-filled fields already hold the rest.
void QTTimeCodeCreationParametersConstructor(REALobject instance) {
  TimeCodeParametersInstance* data = Fields(instance);
  if (!data) return;
  data->height = 20;
  data->isNeg = false;
  data->frameDuration = 100;
  data->numberOfFrames = 30;
  data->dropFrames = true;
  data->useTimeCode = true;
  data->use24Hours = true;
  data->timeScale = 2997;
  data->displayBelowVideo = true;
  data->sourceName = AsciiString(kDefaultSourceName);
  data->fontName = AsciiString(kDefaultFontName);
  data->displayTimeCode = false;
  data->fontFace = -1;
  data->fontSize = -1;
  data->fontForeColor = 0x000000;
  data->fontBackColor = 0xFFFFFF;
}

using F = TimeCodeParametersInstance;

REALproperty kTimeCodeParametersProperties[] = {
    DirectProperty("Height", "Integer", offsetof(F, height)),
    DirectProperty("UseTimeCode", "Boolean", offsetof(F, useTimeCode)),
    DirectProperty("DropFrames", "Boolean", offsetof(F, dropFrames)),
    DirectProperty("IsNeg", "Boolean", offsetof(F, isNeg)),
    DirectProperty("Use24Hours", "Boolean", offsetof(F, use24Hours)),
    DirectProperty("FrameDuration", "Integer", offsetof(F, frameDuration)),
    DirectProperty("NumberOfFrames", "Integer", offsetof(F, numberOfFrames)),
    DirectProperty("Hours", "Integer", offsetof(F, hours)),
    DirectProperty("Minutes", "Integer", offsetof(F, minutes)),
    DirectProperty("Seconds", "Integer", offsetof(F, seconds)),
    DirectProperty("TimeScale", "Integer", offsetof(F, timeScale)),
    DirectProperty("Frames", "Integer", offsetof(F, frames)),
    DirectProperty("CounterStartValue", "Integer", offsetof(F, counterStartValue)),
    DirectProperty("DisplayBelowVideo", "Boolean", offsetof(F, displayBelowVideo)),
    DirectProperty("SourceName", "String", offsetof(F, sourceName)),
    DirectProperty("FontName", "String", offsetof(F, fontName)),
    DirectProperty("DisplayTimeCode", "Boolean", offsetof(F, displayTimeCode)),
    DirectProperty("FontFace", "Integer", offsetof(F, fontFace)),
    DirectProperty("FontSize", "Integer", offsetof(F, fontSize)),
    DirectProperty("FontForeColor", "Color", offsetof(F, fontForeColor)),
    DirectProperty("FontBackColor", "Color", offsetof(F, fontBackColor)),
};

REALmethodDefinition kTimeCodeParametersMethods[] = {
    MethodRecord("Close", &QTTimeCodeCreationParametersDestructor),
};

}  // namespace

// Releases both strings and forgets them, so that "Close" followed by the
// object's end releases each once.
void QTTimeCodeCreationParametersDestructor(REALobject instance) {
  TimeCodeParametersInstance* data = Fields(instance);
  if (!data) return;
  if (data->sourceName) {
    REALUnlockString(data->sourceName);
    data->sourceName = nullptr;
  }
  if (data->fontName) {
    REALUnlockString(data->fontName);
    data->fontName = nullptr;
  }
}

REALclassDefinition QTTimeCodeCreationParametersZQKClass = ClassRecord({
    .name = "QTTimeCodeCreationParametersZQK",
    .dataSize = TimeCodeParametersInstance::kDeclaredSize,
    .constructor = QTTimeCodeCreationParametersConstructor,
    .destructor = QTTimeCodeCreationParametersDestructor,
    .properties = kTimeCodeParametersProperties,
    .methods = kTimeCodeParametersMethods,
});
