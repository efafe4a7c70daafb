// The companion plugin: registers QTAudioChannelLayoutZQK and
// QTAudioChannelDescriptionZQK, the channel layout classes Pelorin finds by name
// and fills in through their instance data.
//
// A layout holds up to 64 description objects, one lock each, released when the
// layout goes. Its description count is a plain field: it may say more than the
// slots hold (layouts read from a file may describe more channels) and user code
// may set it to anything.
#include <cstddef>
#include <iterator>
#include <string>

#include "channel_layout_data.h"

namespace {

REALResolver gResolver = nullptr;

template <typename Proc>
Proc entry(const char* name) {
  return gResolver ? reinterpret_cast<Proc>(gResolver(name)) : nullptr;
}

REALclassDefinition gLayoutClass{};
REALclassDefinition gDescriptionClass{};

// The instance data, where the host says it starts.
template <typename Data>
Data* dataOf(REALobject object, const REALclassDefinition& cls) {
  return reinterpret_cast<Data*>(reinterpret_cast<char*>(object) + cls.forSystemUse);
}
ChannelLayoutData* layoutOf(REALobject o) { return dataOf<ChannelLayoutData>(o, gLayoutClass); }

void lockObject(REALobject o) {
  if (auto lock = entry<REALLockObjectProc>("REALLockObject"); lock && o) lock(o);
}
void unlockObject(REALobject o) {
  if (auto unlock = entry<REALUnlockObjectProc>("REALUnlockObject"); unlock && o) unlock(o);
}

void raiseOutOfBounds(RBInteger index) {
  auto newInstance = entry<PluginNewInstanceProc>("PluginNewInstance");
  auto raise = entry<RuntimeRaiseExceptionProc>("RuntimeRaiseException");
  REALobject e = newInstance ? newInstance("OutOfBoundsException") : nullptr;
  if (!e || !raise) return unlockObject(e);
  std::string message = "No channel description slot " + std::to_string(index) + "; the slots are 0 to " +
                        std::to_string(kChannelDescriptionSlots - 1) + ".";
  auto build = entry<REALBuildStringWithEncodingProc>("REALBuildStringWithEncoding");
  auto setString = entry<REALSetPropValueStringProc>("REALSetPropValueString");
  auto unlockString = entry<REALUnlockStringProc>("REALUnlockString");
  if (REALstring text = build ? build(message.data(), static_cast<RBInteger>(message.size()), kREALEncodingASCII)
                              : nullptr) {
    if (setString) setString(e, "Message", text);
    if (unlockString) unlockString(text);
  }
  raise(e);
  unlockObject(e);
}

bool validSlot(RBInteger index) {
  if (index >= 0 && index < kChannelDescriptionSlots) return true;
  raiseOutOfBounds(index);
  return false;
}

void storeDescription(ChannelLayoutData* layout, RBInteger index, REALobject description) {
  REALobject old = layout->descriptions[index];
  if (description == old) return;
  lockObject(description);
  layout->descriptions[index] = description;
  unlockObject(old);
}

// ---- QTAudioChannelLayoutZQK ----

void LayoutDestructor(REALobject self) {
  ChannelLayoutData* layout = layoutOf(self);
  for (REALobject& d : layout->descriptions) {
    REALobject old = d;
    d = nullptr;
    unlockObject(old);
  }
}

REALobject LayoutDescription(REALobject self, RBInteger index) {
  if (!validSlot(index)) return nullptr;
  REALobject d = layoutOf(self)->descriptions[index];
  lockObject(d);  // the caller's reference
  return d;
}

void LayoutSetDescription(REALobject self, RBInteger index, REALobject description) {
  if (validSlot(index)) storeDescription(layoutOf(self), index, description);
}

// Puts the description in the slot after the last counted one and counts it.
void LayoutAppendDescription(REALobject self, REALobject description) {
  ChannelLayoutData* layout = layoutOf(self);
  if (!validSlot(layout->descriptionCount)) return;
  storeDescription(layout, layout->descriptionCount, description);
  ++layout->descriptionCount;
}

REALproperty directProperty(const char* name, const char* type, size_t offset) {
  REALproperty p{};
  p.name = name;
  p.type = type;
  p.getter = REAL_DIRECT_PROPERTY;
  p.setter = REAL_DIRECT_PROPERTY;
  p.fieldOffset = static_cast<intptr_t>(offset);
  return p;
}

REALproperty gLayoutProperties[] = {
    directProperty("LayoutTag", "UInt32", offsetof(ChannelLayoutData, layoutTag)),
    directProperty("ChannelBitmap", "UInt32", offsetof(ChannelLayoutData, channelBitmap)),
    directProperty("NumberChannelDescriptions", "Int32", offsetof(ChannelLayoutData, descriptionCount)),
};

REALmethodDefinition gLayoutMethods[] = {
    {reinterpret_cast<REALproc>(LayoutDescription), nullptr,
     "Description(index as integer) as QTAudioChannelDescriptionZQK", 0, {0, 0}},
    {reinterpret_cast<REALproc>(LayoutSetDescription), nullptr,
     "SetDescription(index as integer, description as QTAudioChannelDescriptionZQK)", 0, {0, 0}},
    {reinterpret_cast<REALproc>(LayoutAppendDescription), nullptr,
     "AppendDescription(description as QTAudioChannelDescriptionZQK)", 0, {0, 0}},
};

// Layout tags: the layout's channels in a standard order, with their count in the
// low 16 bits.
REALconstant gLayoutConstants[] = {
    {"kLayoutTagUseChannelDescriptions = 0", {0, 0, 0, 0}},
    {"kLayoutTagUseChannelBitmap = 65536", {0, 0, 0, 0}},
    {"kLayoutTagMono = 6553601", {0, 0, 0, 0}},
    {"kLayoutTagStereo = 6619138", {0, 0, 0, 0}},
    {"kLayoutTagMPEG_5_1_A = 7929862", {0, 0, 0, 0}},  // L R C LFE Ls Rs
};

// ---- QTAudioChannelDescriptionZQK ----

REALproperty gDescriptionProperties[] = {
    directProperty("ChannelLabel", "UInt32", offsetof(ChannelDescriptionData, label)),
    directProperty("ChannelFlags", "UInt32", offsetof(ChannelDescriptionData, flags)),
    directProperty("X", "Double", offsetof(ChannelDescriptionData, coordinates) + 0 * sizeof(double)),
    directProperty("Y", "Double", offsetof(ChannelDescriptionData, coordinates) + 1 * sizeof(double)),
    directProperty("Z", "Double", offsetof(ChannelDescriptionData, coordinates) + 2 * sizeof(double)),
};

REALconstant gDescriptionConstants[] = {
    {"kLabelLeft = 1", {0, 0, 0, 0}},
    {"kLabelRight = 2", {0, 0, 0, 0}},
    {"kLabelCenter = 3", {0, 0, 0, 0}},
    {"kLabelLFEScreen = 4", {0, 0, 0, 0}},
    {"kLabelLeftSurround = 5", {0, 0, 0, 0}},
    {"kLabelRightSurround = 6", {0, 0, 0, 0}},
    {"kFlagRectangularCoordinates = 1", {0, 0, 0, 0}},
    {"kFlagSphericalCoordinates = 2", {0, 0, 0, 0}},
    {"kFlagMeters = 4", {0, 0, 0, 0}},
};

}  // namespace

// Both classes use the current record layout, which every host this runs in reads.
extern "C" __attribute__((visibility("default"))) void REALPluginMain(REALResolver resolver) {
  gResolver = resolver;
  auto registerClass = entry<PluginRegisterClassProc>("PluginRegisterClass");
  if (!registerClass) return;

  gDescriptionClass.version = 13;
  gDescriptionClass.name = "QTAudioChannelDescriptionZQK";
  gDescriptionClass.dataSize = sizeof(ChannelDescriptionData);
  gDescriptionClass.properties = gDescriptionProperties;
  gDescriptionClass.propertyCount = std::size(gDescriptionProperties);
  gDescriptionClass.constants = gDescriptionConstants;
  gDescriptionClass.constantCount = std::size(gDescriptionConstants);
  registerClass(&gDescriptionClass);

  gLayoutClass.version = 13;
  gLayoutClass.name = "QTAudioChannelLayoutZQK";
  gLayoutClass.dataSize = sizeof(ChannelLayoutData);
  gLayoutClass.destructor = LayoutDestructor;
  gLayoutClass.properties = gLayoutProperties;
  gLayoutClass.propertyCount = std::size(gLayoutProperties);
  gLayoutClass.methods = gLayoutMethods;
  gLayoutClass.methodCount = std::size(gLayoutMethods);
  gLayoutClass.constants = gLayoutConstants;
  gLayoutClass.constantCount = std::size(gLayoutConstants);
  registerClass(&gLayoutClass);
}
