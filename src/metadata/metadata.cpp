// QTMetaDataZQK. The object owns the one container reference it was made with
// and gives it back in its destructor, which is also Close. Metadata results land
// in Lasterror unchanged, -1 when no call could be made; nothing here raises but
// a nil memory block.
#include "metadata/metadata.h"

#include <QuickTime/MetaData.h>
#include <QuickTime/Movies.h>

#include <cstddef>
#include <span>

#include "host/host.h"
#include "metadata/metadata_arguments.h"
#include "metadata/metadata_item.h"
#include "plugin/instance.h"
#include "plugin/member_records.h"
#include "plugin/members.h"
#include "qt/qt.h"
#include "track/track.h"

namespace {

MetaDataInstance* Fields(REALobject instance) {
  return InstanceData<MetaDataInstance>(QTMetaDataZQKClass, instance);
}

// The object's fields with Lasterror at -1, or null when there is no container to
// ask (or no object).
MetaDataInstance* FieldsWithContainer(REALobject instance) {
  MetaDataInstance* data = Fields(instance);
  if (!data) return nullptr;
  data->lastError = kNoCall;
  return data->handle ? data : nullptr;
}

// Every field starts at zero: no container, the cursor before the first item.
void QTMetaDataConstructor(REALobject) {}

// Also registered as Close, so a second run must find nothing left to release.
void QTMetaDataDestructor(REALobject instance) {
  MetaDataInstance* data = Fields(instance);
  if (!data || !data->handle) return;
  QTMetaDataRef ref = data->handle;
  data->handle = nullptr;
  QTMetaDataRelease(ref);
}

// The object takes over `ref`, the reference QuickTime handed out; when no object
// can be made the reference goes back at once.
REALobject NewMetaDataObject(QTMetaDataRef ref) {
  if (!ref) return nullptr;
  REALobject object = REALnewInstance("QTMetaDataZQK");
  MetaDataInstance* data = Fields(object);
  if (!data) {
    QTMetaDataRelease(ref);
    return nullptr;
  }
  data->handle = ref;
  return object;
}

// ---- container properties (class 'meta') ----

void rbQTMetaDataSetPropertyString(REALobject instance, REALstring what, REALstring value) {
  MetaDataInstance* data = FieldsWithContainer(instance);
  if (!data) return;
  const StringContents bytes(value);
  data->lastError =
      QTMetaDataSetProperty(data->handle, kPropertyClass_MetaData, CodeOf(what), SizeOf(bytes), BytesOf(bytes));
}

void rbQTMetaDataSetPropertyMemory(REALobject instance, REALstring what, REALmemoryBlock value, RBInteger offset,
                                   RBInteger size) {
  MetaDataInstance* data = Fields(instance);
  if (!data) return;
  const std::optional<const UInt8*> bytes = SetterBytes(data->lastError, data->handle, value, offset, size);
  if (!bytes) return;
  data->lastError =
      QTMetaDataSetProperty(data->handle, kPropertyClass_MetaData, CodeOf(what), static_cast<ByteCount>(size), *bytes);
}

// Reads the property `what` into a buffer of the size QuickTime reports and hands
// the bytes to `build`; nil unless QuickTime reports success.
template <typename Build>
auto ReadProperty(REALobject instance, REALstring what, Build build) -> decltype(build(nullptr, 0)) {
  MetaDataInstance* data = FieldsWithContainer(instance);
  if (!data) return nullptr;
  const QTPropertyID id = CodeOf(what);
  QTPropertyValueType type = 0;
  ByteCount size = 0;
  UInt32 flags = 0;
  QTMetaDataGetPropertyInfo(data->handle, kPropertyClass_MetaData, id, &type, &size, &flags);
  const ValueBuffer buffer(size);
  ByteCount used = 0;
  const OSStatus err = QTMetaDataGetProperty(data->handle, kPropertyClass_MetaData, id, size, buffer.data(), &used);
  data->lastError = err;
  return err == noErr ? build(buffer.data(), used) : nullptr;
}

REALstring rbQTMetaDataGetPropertyString(REALobject instance, REALstring what) {
  return ReadProperty(instance, what, BytesAsString);
}

REALmemoryBlock rbQTMetaDataGetPropertyMemory(REALobject instance, REALstring what) {
  return ReadProperty(instance, what, BytesAsMemory);
}

// ---- walking, counting and removing items ----

// CountItems, FirstItem, NextItem and RemoveItem ask QuickTime even without a
// container, and keep its answer.
RBInteger rbQTMetaDataCountItems(REALobject instance) {
  MetaDataInstance* data = Fields(instance);
  if (!data) return 0;
  ItemCount count = 0;
  data->lastError = QTMetaDataGetItemCountWithKey(data->handle, kQTMetaDataStorageFormatWildcard,
                                                  kQTMetaDataKeyFormatWildcard, nullptr, 0, &count);
  return data->lastError == noErr ? static_cast<RBInteger>(count) : 0;
}

// Moves the cursor to the next item of any kind and hands that item out.
REALobject NextItemAfterCursor(REALobject instance, MetaDataInstance& data) {
  data.lastError = QTMetaDataGetNextItem(data.handle, kQTMetaDataStorageFormatWildcard, data.currentItem,
                                         kQTMetaDataKeyFormatWildcard, nullptr, 0, &data.currentItem);
  if (data.lastError != noErr || !data.handle) return nullptr;
  return NewMetaDataItemObject(instance, data.handle, data.currentItem);
}

REALobject rbQTMetaDataFirstItem(REALobject instance) {
  MetaDataInstance* data = Fields(instance);
  if (!data) return nullptr;
  data->currentItem = kQTMetaDataItemUninitialized;
  return NextItemAfterCursor(instance, *data);
}

REALobject rbQTMetaDataNextItem(REALobject instance) {
  MetaDataInstance* data = Fields(instance);
  if (!data) return nullptr;
  return NextItemAfterCursor(instance, *data);
}

// Only this container's reference is used, whichever container made `item`.
void rbQTMetaDataRemoveItem(REALobject instance, REALobject item) {
  MetaDataInstance* data = Fields(instance);
  if (!data) return;
  data->lastError = kNoCall;
  const MetaDataItemInstance* itemData = MetaDataItemFields(item);
  if (!itemData) return;
  const OSStatus err = QTMetaDataRemoveItem(data->handle, itemData->item);
  // The cursor cannot stay on an item that is gone: the walk starts again.
  if (itemData->item == data->currentItem) data->currentItem = kQTMetaDataItemUninitialized;
  data->lastError = err;
}

// The key methods differ on a nil key: the string forms and CountItemsWithKeyCode
// pass no key (any key of the format), RemoveItemsWithKeyCode four zero bytes.

void rbQTMetaDataRemoveItemsWithKey(REALobject instance, REALstring storageFormat, REALstring keyFormat,
                                    REALstring key) {
  MetaDataInstance* data = FieldsWithContainer(instance);
  if (!data) return;
  const StringContents bytes(key);
  data->lastError = QTMetaDataRemoveItemsWithKey(data->handle, CodeOf(storageFormat), CodeOf(keyFormat),
                                                 BytesOf(bytes), SizeOf(bytes));
}

// QuickTime's count is returned whatever its result says.
RBInteger rbQTMetaDataGetItemCountWithKey(REALobject instance, REALstring storageFormat, REALstring keyFormat,
                                          REALstring key) {
  MetaDataInstance* data = FieldsWithContainer(instance);
  if (!data) return 0;
  const StringContents bytes(key);
  ItemCount count = 0;
  data->lastError = QTMetaDataGetItemCountWithKey(data->handle, CodeOf(storageFormat), CodeOf(keyFormat),
                                                  BytesOf(bytes), SizeOf(bytes), &count);
  return static_cast<RBInteger>(count);
}

void rbQTMetaDataRemoveItemsWithKeyCode(REALobject instance, REALstring storageFormat, REALstring keyFormat,
                                        REALstring key) {
  MetaDataInstance* data = FieldsWithContainer(instance);
  if (!data) return;
  const KeyCode code(key);
  data->lastError =
      QTMetaDataRemoveItemsWithKey(data->handle, CodeOf(storageFormat), CodeOf(keyFormat), code.data(), code.size());
}

RBInteger rbQTMetaDataGetItemCountWithKeyCode(REALobject instance, REALstring storageFormat, REALstring keyFormat,
                                              REALstring key) {
  MetaDataInstance* data = FieldsWithContainer(instance);
  if (!data) return 0;
  const KeyCode code(key);
  ItemCount count = 0;
  data->lastError = QTMetaDataGetItemCountWithKey(data->handle, CodeOf(storageFormat), CodeOf(keyFormat),
                                                  key ? code.data() : nullptr, key ? code.size() : 0, &count);
  return static_cast<RBInteger>(count);
}

// ---- adding items ----

// Adds `value` under the given key and hands the new item out. No locale is set:
// the item has the one QuickTime gives new items.
REALobject AddItemWithKey(REALobject instance, MetaDataInstance& data, REALstring storageFormat, REALstring keyFormat,
                          const UInt8* key, ByteCount keySize, REALstring value, RBInteger dataType) {
  const OSType storage = CodeOf(storageFormat);
  const OSType format = CodeOf(keyFormat);
  const StringContents bytes(value);
  QTMetaDataItem item = kQTMetaDataItemUninitialized;
  data.lastError = QTMetaDataAddItem(data.handle, storage, format, key, keySize, BytesOf(bytes), SizeOf(bytes),
                                     static_cast<UInt32>(dataType), &item);
  if (data.lastError != noErr) return nullptr;
  return NewMetaDataItemObject(instance, data.handle, item);
}

// The key is the string's bytes exactly: no terminator, length prefix or conversion.
REALobject rbQTMetaDataAddItem(REALobject instance, REALstring storageFormat, REALstring keyFormat, REALstring key,
                               REALstring value, RBInteger dataType) {
  MetaDataInstance* data = FieldsWithContainer(instance);
  if (!data) return nullptr;
  const StringContents bytes(key);
  return AddItemWithKey(instance, *data, storageFormat, keyFormat, BytesOf(bytes), SizeOf(bytes), value, dataType);
}

REALobject rbQTMetaDataAddItemCode(REALobject instance, REALstring storageFormat, REALstring keyFormat,
                                   REALstring key, REALstring value, RBInteger dataType) {
  MetaDataInstance* data = FieldsWithContainer(instance);
  if (!data) return nullptr;
  const KeyCode code(key);
  return AddItemWithKey(instance, *data, storageFormat, keyFormat, code.data(), code.size(), value, dataType);
}

// ---- user-data text types, as the `type` arguments of QTUserDataZQK take them ----

// The text types begin with 0xA9, "©" in Mac OS Roman.
constexpr OSType TextType(const char (&rest)[4]) {
  return 0xA9000000u | static_cast<OSType>(static_cast<uint8_t>(rest[0])) << 16 |
         static_cast<OSType>(static_cast<uint8_t>(rest[1])) << 8 | static_cast<uint8_t>(rest[2]);
}

template <OSType kType>
REALstring UserDataTextType() {
  const char bytes[4] = {static_cast<char>(kType >> 24), static_cast<char>(kType >> 16),
                         static_cast<char>(kType >> 8), static_cast<char>(kType)};
  return REALBuildUnicodeString(bytes, 4, kREALEncodingMacRoman);
}

// ---- the member tables ----

REALproperty kMetaDataProperties[] = {
    DirectProperty("Handle", "Integer", offsetof(MetaDataInstance, handle)),
    DirectProperty("Lasterror", "Integer", offsetof(MetaDataInstance, lastError)),
};

REALmethodDefinition kMetaDataMethods[] = {
    MethodRecord("SetPropertyString(what as string, data as string)", &rbQTMetaDataSetPropertyString),
    MethodRecord("SetPropertyMemory(what as string, data as memoryblock, offset as integer, size as integer)",
                 &rbQTMetaDataSetPropertyMemory),
    MethodRecord("GetPropertyString(what as string) as string", &rbQTMetaDataGetPropertyString),
    MethodRecord("GetPropertyMemory(what as string) as memoryblock", &rbQTMetaDataGetPropertyMemory),
    MethodRecord("Close", &QTMetaDataDestructor),
    MethodRecord("CountItems as integer", &rbQTMetaDataCountItems),
    MethodRecord("FirstItem as QTMetaDataItemZQK", &rbQTMetaDataFirstItem),
    MethodRecord("NextItem as QTMetaDataItemZQK", &rbQTMetaDataNextItem),
    MethodRecord("RemoveItem(item as QTMetaDataItemZQK)", &rbQTMetaDataRemoveItem),
    MethodRecord("RemoveItemsWithKey(StorageFormat as string, KeyFormat as string, Key as string)",
                 &rbQTMetaDataRemoveItemsWithKey),
    MethodRecord("CountItemsWithKey(StorageFormat as string, KeyFormat as string, Key as string) as integer",
                 &rbQTMetaDataGetItemCountWithKey),
    MethodRecord("RemoveItemsWithKeyCode(StorageFormat as string, KeyCode as string, Key as string)",
                 &rbQTMetaDataRemoveItemsWithKeyCode),
    MethodRecord("CountItemsWithKeyCode(StorageFormat as string, KeyCode as string, Key as string) as integer",
                 &rbQTMetaDataGetItemCountWithKeyCode),
    MethodRecord("AddItem(StorageFormat as string, KeyFormat as string, Key as string, Value as String, "
                 "DataType as integer) as QTMetaDataItemZQK",
                 &rbQTMetaDataAddItem),
    MethodRecord("AddItemCode(StorageFormat as string, KeyFormat as string, KeyCode as string, Value as String, "
                 "DataType as integer) as QTMetaDataItemZQK",
                 &rbQTMetaDataAddItemCode),
};

// Declarations stand exactly as the host is to see them, blanks included.
REALconstant kMetaDataConstants[] = {
    ConstantRecord("kQTMetaDataTypeBinary = 0"),
    ConstantRecord("kQTMetaDataTypeUTF8 = 1"),
    ConstantRecord("kQTMetaDataTypeUTF16BE = 2"),
    ConstantRecord("kQTMetaDataTypeMacEncodedText = 3"),
    ConstantRecord("kQTMetaDataTypeJPEGImage = 13"),
    ConstantRecord("kQTMetaDataTypePNGImage = 14"),
    ConstantRecord("kQTMetaDataTypeSignedIntegerBE = 21"),
    ConstantRecord("kQTMetaDataTypeUnsignedIntegerBE = 22"),
    ConstantRecord("kQTMetaDataTypeFloat32BE = 23"),
    ConstantRecord("kQTMetaDataTypeFloat64BE = 24"),
    ConstantRecord("kQTMetaDataTypeBMPImage = 27"),
    ConstantRecord("kQTMetaDataTypeQuickTimeMetaData = 28"),
    ConstantRecord("kPropertyClass_MetaData = \"meta\""),
    ConstantRecord("kQTMetaDataPropertyID_StorageFormats = \"fmts\""),
    ConstantRecord("kQTMetaDataPropertyID_OwnerType = \"ownt\""),
    ConstantRecord("kQTMetaDataPropertyID_Owner = \"ownr\""),
    ConstantRecord("kPropertyClass_MetaDataItem = \"mdit\""),
    ConstantRecord("kQTMetaDataKeyFormatCommon = \"comn\""),
    ConstantRecord("kQTMetaDataCommonKeyAuthor = \"auth\""),
    ConstantRecord("kQTMetaDataCommonKeyComment = \"cmmt\""),
    ConstantRecord("kQTMetaDataCommonKeyCopyright = \"cprt\""),
    ConstantRecord("kQTMetaDataCommonKeyDirector = \"dtor\""),
    ConstantRecord("kQTMetaDataCommonKeyDisplayName = \"name\""),
    ConstantRecord("kQTMetaDataCommonKeyInformation = \"info\""),
    ConstantRecord("kQTMetaDataCommonKeyKeywords = \"keyw\""),
    ConstantRecord("kQTMetaDataCommonKeyProducer = \"prod\""),
    ConstantRecord("kQTMetaDataCommonKeyAlbum = \"albm\""),
    ConstantRecord("kQTMetaDataCommonKeyArtist = \"arts\""),
    ConstantRecord("kQTMetaDataCommonKeyArtwork = \"artw\""),
    ConstantRecord("kQTMetaDataCommonKeyChapterName = \"chap\""),
    ConstantRecord("kQTMetaDataCommonKeyComposer = \"comp\""),
    ConstantRecord("kQTMetaDataCommonKeyDescription = \"desc\""),
    ConstantRecord("kQTMetaDataCommonKeyGenre = \"genr\""),
    ConstantRecord("kQTMetaDataCommonKeyOriginalFormat = \"orif\""),
    ConstantRecord("kQTMetaDataCommonKeyOriginalSource = \"oris\""),
    ConstantRecord("kQTMetaDataCommonKeyPerformers = \"perf\""),
    ConstantRecord("kQTMetaDataCommonKeySoftware = \"soft\""),
    ConstantRecord("kQTMetaDataCommonKeyWriter = \"wrtr\""),
    ConstantRecord("kQTMetaDataStorageFormatQuickTime = \"mdta\""),
    ConstantRecord("kQTMetaDataKeyFormatQuickTime = \"mdta\""),
    ConstantRecord("kQTMetaDataStorageFormatiTunes = \"itms\""),
    ConstantRecord("kQTMetaDataKeyFormatiTunesShortForm = \"itsk\""),
    ConstantRecord("kQTMetaDataKeyFormatiTunesLongForm = \"itlk\""),
    ConstantRecord("kQTMetaDataStorageFormatUserData = \"udta\""),
    ConstantRecord("kQTMetaDataKeyFormatUserData = \"udta\""),
    ConstantRecord("kUserDataMovieControllerType  = \"ctyp\""),
    ConstantRecord("kUserDataName = \"name\""),
    ConstantRecord("kUserDataAnimatedGIFLoopCount = \"gifc\""),
    ConstantRecord("kQTAnimatedGIFLoopCountInfinite = 0"),
    ConstantRecord("kUserDataAnimatedGIFBufferingSize = \"gifb\""),
    ConstantRecord("kQTMetaDataInvalidMetaDataErr = -2173"),
    ConstantRecord("kQTMetaDataInvalidItemErr = -2174"),
    ConstantRecord("kQTMetaDataInvalidStorageFormatErr = -2175"),
    ConstantRecord("kQTMetaDataInvalidKeyFormatErr = -2176"),
    ConstantRecord("kQTMetaDataNoMoreItemsErr = -2177"),
    ConstantRecord("kQTMetaDataItemPropertyID_Value = \"valu\""),
    ConstantRecord("kQTMetaDataItemPropertyID_DataType = \"dtyp\""),
    ConstantRecord("kQTMetaDataItemPropertyID_StorageFormat = \"sfmt\""),
    ConstantRecord("kQTMetaDataItemPropertyID_Key = \"key \""),
    ConstantRecord("kQTMetaDataItemPropertyID_KeyFormat = \"keyf\""),
    ConstantRecord("kQTMetaDataItemPropertyID_Locale = \"loc \""),
};

REALmethodDefinition kMetaDataSharedMethods[] = {
    MethodRecord("kUserDataTextAlbum as string", &UserDataTextType<TextType("alb")>),
    MethodRecord("kUserDataTextArtist as string", &UserDataTextType<TextType("ART")>),
    MethodRecord("kUserDataTextAuthor as string", &UserDataTextType<TextType("aut")>),
    MethodRecord("kUserDataTextChapter as string", &UserDataTextType<TextType("chp")>),
    MethodRecord("kUserDataTextComment as string", &UserDataTextType<TextType("cmt")>),
    MethodRecord("kUserDataTextComposer as string", &UserDataTextType<TextType("com")>),
    MethodRecord("kUserDataTextCopyright as string", &UserDataTextType<TextType("cpy")>),
    MethodRecord("kUserDataTextCreationDate as string", &UserDataTextType<TextType("day")>),
    MethodRecord("kUserDataTextDescription as string", &UserDataTextType<TextType("des")>),
    MethodRecord("kUserDataTextDirector as string", &UserDataTextType<TextType("dir")>),
    MethodRecord("kUserDataTextDisclaimer as string", &UserDataTextType<TextType("dis")>),
    MethodRecord("kUserDataTextEncodedBy as string", &UserDataTextType<TextType("enc")>),
    MethodRecord("kUserDataTextFullName as string", &UserDataTextType<TextType("nam")>),
    MethodRecord("kUserDataTextGenre as string", &UserDataTextType<TextType("gen")>),
    MethodRecord("kUserDataTextHostComputer as string", &UserDataTextType<TextType("hst")>),
    MethodRecord("kUserDataTextInformation as string", &UserDataTextType<TextType("inf")>),
    MethodRecord("kUserDataTextKeywords as string", &UserDataTextType<TextType("key")>),
    MethodRecord("kUserDataTextMake as string", &UserDataTextType<TextType("mak")>),
    MethodRecord("kUserDataTextModel as string", &UserDataTextType<TextType("mod")>),
    MethodRecord("kUserDataTextOriginalArtist as string", &UserDataTextType<TextType("ope")>),
    MethodRecord("kUserDataTextOriginalFormat as string", &UserDataTextType<TextType("fmt")>),
    MethodRecord("kUserDataTextOriginalSource as string", &UserDataTextType<TextType("src")>),
    MethodRecord("kUserDataTextPerformers as string", &UserDataTextType<TextType("prf")>),
    MethodRecord("kUserDataTextProducer as string", &UserDataTextType<TextType("prd")>),
    MethodRecord("kUserDataTextPublisher as string", &UserDataTextType<TextType("pub")>),
    MethodRecord("kUserDataTextProduct as string", &UserDataTextType<TextType("PRD")>),
    MethodRecord("kUserDataTextSoftware as string", &UserDataTextType<TextType("swr")>),
    MethodRecord("kUserDataTextSpecialPlaybackRequirements as string", &UserDataTextType<TextType("req")>),
    MethodRecord("kUserDataTextTrack as string", &UserDataTextType<TextType("trk")>),
    MethodRecord("kUserDataTextWarning as string", &UserDataTextType<TextType("wrn")>),
    MethodRecord("kUserDataTextWriter as string", &UserDataTextType<TextType("wrt")>),
    MethodRecord("kUserDataTextURLLink as string", &UserDataTextType<TextType("url")>),
    MethodRecord("kUserDataTextEditDate1 as string", &UserDataTextType<TextType("ed1")>),
};

// The common record builder knows no shared methods; only this class has any.
constexpr REALclassDefinition WithSharedMethods(REALclassDefinition record, std::span<REALmethodDefinition> shared) {
  record.sharedMethods = shared.data();
  record.sharedMethodCount = shared.size();
  return record;
}

constexpr ClassShape kMetaDataShape = {
    .name = "QTMetaDataZQK",
    .dataSize = MetaDataInstance::kDeclaredSize,
    .constructor = QTMetaDataConstructor,
    .destructor = QTMetaDataDestructor,
    .properties = kMetaDataProperties,
    .methods = kMetaDataMethods,
    .constants = kMetaDataConstants,
};

}  // namespace

REALobject rbQTCopyMovieMetaData(REALmovie movie) {
  return MovieMember(movie, [](Movie qtMovie) -> REALobject {
    QTMetaDataRef ref = nullptr;
    if (QTCopyMovieMetaData(qtMovie, &ref) != noErr) return nullptr;
    return NewMetaDataObject(ref);
  });
}

// The track is passed even when the object holds none: QuickTime's answer is
// what the track's Lasterror records.
REALobject rbQTCopyTrackMetaData(REALobject track) {
  TrackCall call(track);
  QTMetaDataRef ref = nullptr;
  if (call.Record(QTCopyTrackMetaData(call.track(), &ref)) != noErr) return nullptr;
  return NewMetaDataObject(ref);
}

REALclassDefinition QTMetaDataZQKClass = WithSharedMethods(ClassRecord(kMetaDataShape), kMetaDataSharedMethods);
