// A test plugin that hands the picture writer to user code: the plugin frame
// and the product's picture editor, around a class whose members drive one
// PictureWriter. Nothing here is part of the product.
#include <cstdint>

#include "picture/picture_editor.h"
#include "plugin/instance.h"
#include "plugin/member_records.h"
#include "plugin/registration.h"

extern REALclassDefinition PictureWriterProbeClass;

namespace {

struct ProbeInstance {
  PictureWriter* writer;
};

PictureWriter* Writer(REALobject object) {
  ProbeInstance* fields = InstanceData<ProbeInstance>(PictureWriterProbeClass, object);
  return fields ? fields->writer : nullptr;
}

void ProbeConstructor(REALobject object) {
  InstanceData<ProbeInstance>(PictureWriterProbeClass, object)->writer = new PictureWriter;
}

void ProbeDestructor(REALobject object) {
  ProbeInstance* fields = InstanceData<ProbeInstance>(PictureWriterProbeClass, object);
  delete fields->writer;
  fields->writer = nullptr;
}

bool Open(REALobject o, RBInteger width, RBInteger height) {
  return Writer(o)->NewPictureWriter(static_cast<int32_t>(width), static_cast<int32_t>(height));
}
RBInteger PixelFormat(REALobject o) { return Writer(o)->PixelFormat(); }
RBInteger RowBytes(REALobject o) { return Writer(o)->RowBytes(); }
RBInteger Width(REALobject o) { return Writer(o)->Width(); }
RBInteger Height(REALobject o) { return Writer(o)->Height(); }
bool AlphaInUse(REALobject o) { return Writer(o)->AlphaInUse(); }
bool HoldsPicture(REALobject o) { return Writer(o)->HoldsPicture(); }
void Write(REALobject o, RBInteger value) { Writer(o)->WritePixel(static_cast<uint32_t>(value)); }
void NextRow(REALobject o) { Writer(o)->NextRow(); }
REALpicture Render(REALobject o) { return Writer(o)->RenderPictureWriter(); }
RBInteger CurrentRowAddress(REALobject o) { return reinterpret_cast<intptr_t>(Writer(o)->CurrentRow()); }

REALmethodDefinition kMethods[] = {
    MethodRecord("Open(width as integer, height as integer) as boolean", &Open),
    MethodRecord("PixelFormat as integer", &PixelFormat),
    MethodRecord("RowBytes as integer", &RowBytes),
    MethodRecord("Width as integer", &Width),
    MethodRecord("Height as integer", &Height),
    MethodRecord("AlphaInUse as boolean", &AlphaInUse),
    MethodRecord("HoldsPicture as boolean", &HoldsPicture),
    MethodRecord("Write(value as integer)", &Write),
    MethodRecord("NextRow", &NextRow),
    MethodRecord("Render as picture", &Render),
    MethodRecord("CurrentRowAddress as integer", &CurrentRowAddress),
};

REALmethodDefinition kNoMovieMethods[1] = {};

}  // namespace

REALclassDefinition PictureWriterProbeClass = ClassRecord({.name = "PictureWriterProbe",
                                                           .dataSize = sizeof(ProbeInstance),
                                                           .constructor = &ProbeConstructor,
                                                           .destructor = &ProbeDestructor,
                                                           .methods = kMethods});
// No `movie` members: the record registers nothing.
REALclassDefinition PictureWriterProbeMovieClass = ClassRecord({.name = "movie", .methods = {kNoMovieMethods, 0}});

static REALclassDefinition* const kClasses[] = {&PictureWriterProbeClass, nullptr};

const PluginClassTable& PluginClasses() {
  static const PluginClassTable table = {kClasses, 1, &PictureWriterProbeMovieClass};
  return table;
}
