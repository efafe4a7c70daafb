// QTMetaDataItemZQK. Every member works on the item's own container reference,
// never on its container object's Handle, so Close on the container changes
// nothing here. Results land in the item's Lasterror unchanged, -1 when no call
// could be made.
#include "metadata/metadata_item.h"

#include <cstddef>
#include <cstring>

#include "host/host.h"
#include "metadata/metadata_arguments.h"
#include "plugin/instance.h"
#include "plugin/member_records.h"
#include "plugin/members.h"
#include "qt/qt.h"

namespace {

// Every field starts at zero: an item made with new belongs to no container.
void QTMetaDataItemConstructor(REALobject) {}

// Also registered as Close, so a second run must find nothing left to give back.
void QTMetaDataItemDestructor(REALobject instance) {
  MetaDataItemInstance* data = MetaDataItemFields(instance);
  if (!data) return;
  if (QTMetaDataRef ref = data->metaData) {
    data->metaData = nullptr;
    QTMetaDataRelease(ref);
  }
  // Unlocking may end the container object, so the field is cleared first.
  if (REALobject owner = data->owner) {
    data->owner = nullptr;
    REALUnlockObject(owner);
  }
}

// The item's fields with Lasterror at -1, or null when there is no container to
// ask (or no object).
MetaDataItemInstance* FieldsWithContainer(REALobject instance) {
  MetaDataItemInstance* data = MetaDataItemFields(instance);
  if (!data) return nullptr;
  data->lastError = kNoCall;
  return data->metaData ? data : nullptr;
}

// ---- the value ----

void rbQTMetaDataSetItemString(REALobject instance, REALstring value, RBInteger dataType) {
  MetaDataItemInstance* data = FieldsWithContainer(instance);
  if (!data) return;
  const StringContents bytes(value);
  data->lastError =
      QTMetaDataSetItem(data->metaData, data->item, BytesOf(bytes), SizeOf(bytes), static_cast<UInt32>(dataType));
}

void rbQTMetaDataSetItemMemory(REALobject instance, REALmemoryBlock value, RBInteger offset, RBInteger size,
                               RBInteger dataType) {
  MetaDataItemInstance* data = MetaDataItemFields(instance);
  if (!data) return;
  const std::optional<const UInt8*> bytes = SetterBytes(data->lastError, data->metaData, value, offset, size);
  if (!bytes) return;
  data->lastError = QTMetaDataSetItem(data->metaData, data->item, *bytes, static_cast<ByteCount>(size),
                                      static_cast<UInt32>(dataType));
}

// The value's size asked first, then the value read into room of that size.
template <typename Build>
auto ReadValue(REALobject instance, Build build) -> decltype(build(nullptr, 0)) {
  MetaDataItemInstance* data = FieldsWithContainer(instance);
  if (!data) return nullptr;
  ByteCount size = 0;
  QTMetaDataGetItemValue(data->metaData, data->item, nullptr, 0, &size);
  const ValueBuffer buffer(size);
  const OSStatus err = QTMetaDataGetItemValue(data->metaData, data->item, buffer.data(), size, nullptr);
  data->lastError = err;
  return err == noErr ? build(buffer.data(), size) : nullptr;
}

REALstring rbQTMetaDataGetItemString(REALobject instance) { return ReadValue(instance, BytesAsString); }

REALmemoryBlock rbQTMetaDataGetItemMemory(REALobject instance) { return ReadValue(instance, BytesAsMemory); }

// ---- item properties (class 'mdit') ----

OSStatus SetItemProperty(const MetaDataItemInstance& data, REALstring what, const void* bytes, ByteCount size) {
  return QTMetaDataSetItemProperty(data.metaData, data.item, kPropertyClass_MetaDataItem, CodeOf(what), size, bytes);
}

void rbQTMetaDataSetItemPropertyCode(REALobject instance, REALstring what, REALstring code) {
  MetaDataItemInstance* data = FieldsWithContainer(instance);
  if (!data) return;
  const KeyCode bytes(code);
  data->lastError = SetItemProperty(*data, what, bytes.data(), bytes.size());
}

void rbQTMetaDataSetItemPropertyString(REALobject instance, REALstring what, REALstring value) {
  MetaDataItemInstance* data = FieldsWithContainer(instance);
  if (!data) return;
  const StringContents bytes(value);
  data->lastError = SetItemProperty(*data, what, BytesOf(bytes), SizeOf(bytes));
}

void rbQTMetaDataSetItemPropertyMemory(REALobject instance, REALstring what, REALmemoryBlock value, RBInteger offset,
                                       RBInteger size) {
  MetaDataItemInstance* data = MetaDataItemFields(instance);
  if (!data) return;
  const std::optional<const UInt8*> bytes = SetterBytes(data->lastError, data->metaData, value, offset, size);
  if (!bytes) return;
  data->lastError = SetItemProperty(*data, what, *bytes, static_cast<ByteCount>(size));
}

// Reads the property `what` into room of the size QuickTime reports and hands the
// bytes to `build`; nil unless QuickTime reports success.
template <typename Build>
auto ReadProperty(REALobject instance, REALstring what, Build build) -> decltype(build(nullptr, 0)) {
  MetaDataItemInstance* data = FieldsWithContainer(instance);
  if (!data) return nullptr;
  const QTPropertyID id = CodeOf(what);
  QTPropertyValueType type = 0;
  ByteCount size = 0;
  UInt32 flags = 0;
  QTMetaDataGetItemPropertyInfo(data->metaData, data->item, kPropertyClass_MetaDataItem, id, &type, &size, &flags);
  const ValueBuffer buffer(size);
  ByteCount used = 0;
  const OSStatus err = QTMetaDataGetItemProperty(data->metaData, data->item, kPropertyClass_MetaDataItem, id, size,
                                                 buffer.data(), &used);
  data->lastError = err;
  return err == noErr ? build(buffer.data(), used) : nullptr;
}

REALstring rbQTMetaDataGetItemPropertyString(REALobject instance, REALstring what) {
  return ReadProperty(instance, what, BytesAsString);
}

REALmemoryBlock rbQTMetaDataGetItemPropertyMemory(REALobject instance, REALstring what) {
  return ReadProperty(instance, what, BytesAsMemory);
}

// A four-byte property is a code in the processor's order; it comes back as its
// text, most significant byte first. Any other size gives nil.
REALstring rbQTMetaDataGetItemPropertyCode(REALobject instance, REALstring what) {
  return ReadProperty(instance, what, [](const UInt8* bytes, ByteCount size) -> REALstring {
    if (size != sizeof(OSType)) return nullptr;
    OSType code = 0;
    std::memcpy(&code, bytes, sizeof code);
    return OSTypeToString(code);
  });
}

REALproperty kMetaDataItemProperties[] = {
    DirectProperty("Lasterror", "Integer", offsetof(MetaDataItemInstance, lastError)),
};

REALmethodDefinition kMetaDataItemMethods[] = {
    MethodRecord("Close", &QTMetaDataItemDestructor),
    MethodRecord("SetString(data as string, datatype as integer)", &rbQTMetaDataSetItemString),
    MethodRecord("SetMemory(data as memoryblock, offset as integer, size as integer, datatype as integer)",
                 &rbQTMetaDataSetItemMemory),
    MethodRecord("SetPropertyCode(what as string, code as string)", &rbQTMetaDataSetItemPropertyCode),
    MethodRecord("SetPropertyString(what as string, data as string)", &rbQTMetaDataSetItemPropertyString),
    MethodRecord("SetPropertyMemory(what as string, data as memoryblock, offset as integer, size as integer)",
                 &rbQTMetaDataSetItemPropertyMemory),
    MethodRecord("GetPropertyString(what as string) as string", &rbQTMetaDataGetItemPropertyString),
    MethodRecord("GetPropertyMemory(what as string) as memoryblock", &rbQTMetaDataGetItemPropertyMemory),
    MethodRecord("GetPropertyCode(what as string) as string", &rbQTMetaDataGetItemPropertyCode),
    MethodRecord("GetString as string", &rbQTMetaDataGetItemString),
    MethodRecord("GetMemory as memoryblock", &rbQTMetaDataGetItemMemory),
};

}  // namespace

MetaDataItemInstance* MetaDataItemFields(REALobject instance) {
  return InstanceData<MetaDataItemInstance>(QTMetaDataItemZQKClass, instance);
}

REALobject NewMetaDataItemObject(REALobject container, QTMetaDataRef ref, QTMetaDataItem item) {
  REALobject object = REALnewInstance("QTMetaDataItemZQK");
  MetaDataItemInstance* data = MetaDataItemFields(object);
  if (!data) return nullptr;
  data->item = item;
  data->owner = container;
  data->metaData = ref;
  REALLockObject(container);
  QTMetaDataRetain(ref);
  return object;
}

REALclassDefinition QTMetaDataItemZQKClass = ClassRecord({
    .name = "QTMetaDataItemZQK",
    .dataSize = MetaDataItemInstance::kDeclaredSize,
    .constructor = QTMetaDataItemConstructor,
    .destructor = QTMetaDataItemDestructor,
    .properties = kMetaDataItemProperties,
    .methods = kMetaDataItemMethods,
});
