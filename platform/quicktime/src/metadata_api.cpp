// Metadata calls: containers of movies and tracks, their properties and items.
#include "api_using.h"
#include "metadata_store.h"

#include <cstdio>
#include <cstring>

using qte::ItemPlace;
using qte::KeyFilter;
using qte::MetaStore;

namespace {

OSStatus finish(OSStatus status) {
  qte::setError(static_cast<OSErr>(status));
  return status;
}

// Containers appear in the log by their own serial number.
std::string refText(QTMetaDataRef ref) {
  if (!ref) return "NULL";
  MetaStore* store = MetaStore::find(ref);
  return store ? std::to_string(store->serial()) : std::string("stale");
}

// Keys appear as hex bytes in memory order, so their byte order shows; long
// values only by their size.
std::string bytesText(const UInt8* p, ByteCount n) {
  if (!p) return "NULL";
  if (n > 64) return "<" + std::to_string(n) + " bytes>";
  std::string s;
  char buf[3];
  for (ByteCount i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", p[i]);
    s += buf;
  }
  return s.empty() ? std::string("<empty>") : s;
}

bool knownStorage(OSType f) {
  return f == kQTMetaDataStorageFormatWildcard || f == kQTMetaDataStorageFormatQuickTime ||
         f == kQTMetaDataStorageFormatiTunes || f == kQTMetaDataStorageFormatUserData;
}

bool knownKeyFormat(OSType f) {
  return f == kQTMetaDataKeyFormatWildcard || f == kQTMetaDataKeyFormatQuickTime ||
         f == kQTMetaDataKeyFormatUserData || f == kQTMetaDataKeyFormatiTunesShortForm ||
         f == kQTMetaDataKeyFormatiTunesLongForm || f == kQTMetaDataKeyFormatCommon;
}

// Shared checks of the lookup calls.
OSStatus checkFilter(OSType storage, OSType keyFormat, const UInt8* key, ByteCount keySize) {
  if (!knownStorage(storage)) return kQTMetaDataInvalidStorageFormatErr;
  if (!knownKeyFormat(keyFormat)) return kQTMetaDataInvalidKeyFormatErr;
  if (!key && keySize) return paramErr;
  return noErr;
}

struct PropertyInfo {
  QTPropertyValueType type;
  ByteCount size;
  UInt32 flags;
};

constexpr UInt32 kGet = kQTPropertyFlagCanGet;
constexpr UInt32 kGetSet = kQTPropertyFlagCanGet | kQTPropertyFlagCanSet;

std::optional<PropertyInfo> containerProperty(MetaStore& md, QTPropertyClass cls, QTPropertyID id) {
  if (cls != kPropertyClass_MetaData) return std::nullopt;
  if (id == kQTMetaDataPropertyID_StorageFormats)
    return PropertyInfo{"type"_4cc, ByteCount(md.storageFormats().size() * sizeof(OSType)), kGet};
  if (id == kQTMetaDataPropertyID_OwnerType) return PropertyInfo{"type"_4cc, sizeof(OSType), kGet};
  if (id == kQTMetaDataPropertyID_Owner) return PropertyInfo{"ptr "_4cc, sizeof(void*), kGet};
  return std::nullopt;
}

std::optional<PropertyInfo> itemProperty(MetaStore& md, ItemPlace p, QTPropertyClass cls, QTPropertyID id) {
  if (cls != kPropertyClass_MetaDataItem) return std::nullopt;
  switch (id) {
    case kQTMetaDataItemPropertyID_Value:
      return PropertyInfo{"raw "_4cc, ByteCount(md.valueOf(p).size()), kGetSet};
    case kQTMetaDataItemPropertyID_DataType:
      return PropertyInfo{"ui32"_4cc, sizeof(UInt32), kGetSet};
    case kQTMetaDataItemPropertyID_StorageFormat:
      return PropertyInfo{"type"_4cc, sizeof(OSType), kGet};
    case kQTMetaDataItemPropertyID_Key:
      return PropertyInfo{"raw "_4cc, ByteCount(md.keyOf(p).size()), kGetSet};
    case kQTMetaDataItemPropertyID_KeyFormat:
      return PropertyInfo{"type"_4cc, sizeof(OSType), kGet};
    case kQTMetaDataItemPropertyID_Locale:
      return PropertyInfo{"ui32"_4cc, sizeof(UInt32), kGetSet};
    default:
      return std::nullopt;
  }
}

Bytes u32Bytes(UInt32 v) {
  Bytes b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}

// The bytes of an item property, in the API's native order.
Bytes itemPropertyBytes(MetaStore& md, ItemPlace p, QTPropertyID id) {
  switch (id) {
    case kQTMetaDataItemPropertyID_Value: return md.valueOf(p);
    case kQTMetaDataItemPropertyID_DataType: return u32Bytes(md.dataTypeOf(p));
    case kQTMetaDataItemPropertyID_StorageFormat: return u32Bytes(p.storage);
    case kQTMetaDataItemPropertyID_Key: return md.keyOf(p);
    case kQTMetaDataItemPropertyID_KeyFormat: return u32Bytes(md.keyFormatOf(p));
    default: return u32Bytes(md.localeOf(p));
  }
}

// Copies a property's bytes out; a buffer too small takes nothing.
OSStatus copyOut(const Bytes& value, ByteCount size, void* out, ByteCount* used) {
  if (size < value.size()) return kQTPropertyBadValueSizeErr;
  if (!value.empty()) {
    if (!out) return paramErr;
    std::memcpy(out, value.data(), value.size());
  }
  if (used) *used = ByteCount(value.size());
  return noErr;
}

// The container and item a call names, or the error that says which is wrong.
OSStatus findItem(QTMetaDataRef ref, QTMetaDataItem item, MetaStore*& md, ItemPlace& p) {
  md = MetaStore::find(ref);
  if (!md) return kQTMetaDataInvalidMetaDataErr;
  auto found = md->place(item);
  if (!found) return kQTMetaDataInvalidItemErr;
  p = *found;
  return noErr;
}

}  // namespace

extern "C" {

// --- Containers ---------------------------------------------------------------------

OSStatus QTCopyMovieMetaData(Movie inMovie, QTMetaDataRef* outMetaData) {
  QTE_CALL_STATUS("QTCopyMovieMetaData", a_.object("movie", inMovie)) {
    if (!outMetaData) return finish(paramErr);
    *outMetaData = nullptr;
    auto* movie = need<qte::Movie>(inMovie);
    auto& store = qte::metaStoreOf(movie->metaData, kQTMetaDataOwnerTypeMovie, movie);
    store->retain();
    *outMetaData = store->ref();
    return finish(noErr);
  };
}

OSStatus QTCopyTrackMetaData(Track inTrack, QTMetaDataRef* outMetaData) {
  QTE_CALL_STATUS("QTCopyTrackMetaData", a_.object("track", inTrack)) {
    if (!outMetaData) return finish(paramErr);
    *outMetaData = nullptr;
    auto* track = need<qte::Track>(inTrack);
    auto& store = qte::metaStoreOf(track->metaData, kQTMetaDataOwnerTypeTrack, track);
    store->retain();
    *outMetaData = store->ref();
    return finish(noErr);
  };
}

QTMetaDataRef QTMetaDataRetain(QTMetaDataRef inMetaData) {
  QTE_CALL("QTMetaDataRetain", QTMetaDataRef(nullptr), a_.raw("md", refText(inMetaData))) {
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) return finish(kQTMetaDataInvalidMetaDataErr), nullptr;
    md->retain();
    finish(noErr);
    return inMetaData;
  };
}

void QTMetaDataRelease(QTMetaDataRef inMetaData) {
  QTE_CALL_VOID("QTMetaDataRelease", a_.raw("md", refText(inMetaData))) {
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) {
      finish(kQTMetaDataInvalidMetaDataErr);
      return;
    }
    md->release();
    finish(noErr);
  };
}

OSStatus QTMetaDataGetPropertyInfo(QTMetaDataRef inMetaData, QTPropertyClass inPropClass, QTPropertyID inPropID,
                                   QTPropertyValueType* outPropType, ByteCount* outPropValueSize,
                                   UInt32* outPropFlags) {
  QTE_CALL_STATUS("QTMetaDataGetPropertyInfo",
            a_.raw("md", refText(inMetaData))("class", Tag{inPropClass})("id", Tag{inPropID})) {
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) return finish(kQTMetaDataInvalidMetaDataErr);
    auto info = containerProperty(*md, inPropClass, inPropID);
    if (!info) return finish(kQTPropertyNotSupportedErr);
    if (outPropType) *outPropType = info->type;
    if (outPropValueSize) *outPropValueSize = info->size;
    if (outPropFlags) *outPropFlags = info->flags;
    return finish(noErr);
  };
}

OSStatus QTMetaDataGetProperty(QTMetaDataRef inMetaData, QTPropertyClass inPropClass, QTPropertyID inPropID,
                               ByteCount inPropValueSize, QTPropertyValuePtr outPropValueAddress,
                               ByteCount* outPropValueSizeUsed) {
  QTE_CALL_STATUS("QTMetaDataGetProperty",
            a_.raw("md", refText(inMetaData))("class", Tag{inPropClass})("id", Tag{inPropID})(
                "size", inPropValueSize)) {
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) return finish(kQTMetaDataInvalidMetaDataErr);
    if (!containerProperty(*md, inPropClass, inPropID)) return finish(kQTPropertyNotSupportedErr);
    Bytes value;
    if (inPropID == kQTMetaDataPropertyID_StorageFormats) {
      for (OSType f : md->storageFormats()) {
        Bytes b = u32Bytes(f);
        value.insert(value.end(), b.begin(), b.end());
      }
    } else if (inPropID == kQTMetaDataPropertyID_OwnerType) {
      value = u32Bytes(md->ownerType());
    } else {
      void* owner = md->owner();  // null once the movie or track has gone
      value.resize(sizeof owner);
      std::memcpy(value.data(), &owner, sizeof owner);
    }
    return finish(copyOut(value, inPropValueSize, outPropValueAddress, outPropValueSizeUsed));
  };
}

OSStatus QTMetaDataSetProperty(QTMetaDataRef inMetaData, QTPropertyClass inPropClass, QTPropertyID inPropID,
                               ByteCount inPropValueSize, ConstQTPropertyValuePtr inPropValueAddress) {
  QTE_CALL_STATUS("QTMetaDataSetProperty",
            a_.raw("md", refText(inMetaData))("class", Tag{inPropClass})("id", Tag{inPropID})(
                "size", inPropValueSize)) {
    (void)inPropValueAddress;
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) return finish(kQTMetaDataInvalidMetaDataErr);
    // Every container property describes where the container lives: none can be set.
    if (!containerProperty(*md, inPropClass, inPropID)) return finish(kQTPropertyNotSupportedErr);
    return finish(kQTPropertyReadOnlyErr);
  };
}

// --- Items ------------------------------------------------------------------------------

OSStatus QTMetaDataGetNextItem(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                               QTMetaDataItem inCurrentItem, QTMetaDataKeyFormat inKeyFormat, const UInt8* inKeyPtr,
                               ByteCount inKeySize, QTMetaDataItem* outNextItem) {
  QTE_CALL_STATUS("QTMetaDataGetNextItem",
            a_.raw("md", refText(inMetaData))("storage", Tag{inMetaDataFormat})(
                "item", static_cast<long long>(inCurrentItem))("keyFormat", Tag{inKeyFormat})
                .raw("key", bytesText(inKeyPtr, inKeySize))("keySize", inKeySize)) {
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) return finish(kQTMetaDataInvalidMetaDataErr);
    if (OSStatus err = checkFilter(inMetaDataFormat, inKeyFormat, inKeyPtr, inKeySize)) return finish(err);
    if (!outNextItem) return finish(paramErr);
    return finish(md->next(KeyFilter{inMetaDataFormat, inKeyFormat, inKeyPtr, inKeySize}, inCurrentItem, outNextItem));
  };
}

OSStatus QTMetaDataGetItemCountWithKey(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                                       QTMetaDataKeyFormat inKeyFormat, const UInt8* inKeyPtr, ByteCount inKeySize,
                                       ItemCount* outCount) {
  QTE_CALL_STATUS("QTMetaDataGetItemCountWithKey",
            a_.raw("md", refText(inMetaData))("storage", Tag{inMetaDataFormat})("keyFormat", Tag{inKeyFormat})
                .raw("key", bytesText(inKeyPtr, inKeySize))("keySize", inKeySize)) {
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) return finish(kQTMetaDataInvalidMetaDataErr);
    if (OSStatus err = checkFilter(inMetaDataFormat, inKeyFormat, inKeyPtr, inKeySize)) return finish(err);
    if (!outCount) return finish(paramErr);
    return finish(md->count(KeyFilter{inMetaDataFormat, inKeyFormat, inKeyPtr, inKeySize}, outCount));
  };
}

OSStatus QTMetaDataAddItem(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                           QTMetaDataKeyFormat inKeyFormat, const UInt8* inKeyPtr, ByteCount inKeySize,
                           const UInt8* inValuePtr, ByteCount inValueSize, UInt32 inDataType,
                           QTMetaDataItem* outItem) {
  QTE_CALL_STATUS("QTMetaDataAddItem",
            a_.raw("md", refText(inMetaData))("storage", Tag{inMetaDataFormat})("keyFormat", Tag{inKeyFormat})
                .raw("key", bytesText(inKeyPtr, inKeySize))("keySize", inKeySize)("valueSize", inValueSize)(
                "dataType", inDataType)) {
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) return finish(kQTMetaDataInvalidMetaDataErr);
    // Adding needs one place and one key: wildcards name neither.
    if (inMetaDataFormat == kQTMetaDataStorageFormatWildcard || !knownStorage(inMetaDataFormat))
      return finish(kQTMetaDataInvalidStorageFormatErr);
    if (inKeyFormat == kQTMetaDataKeyFormatWildcard || !knownKeyFormat(inKeyFormat))
      return finish(kQTMetaDataInvalidKeyFormatErr);
    return finish(md->add(inMetaDataFormat, inKeyFormat, inKeyPtr, inKeySize, inValuePtr, inValueSize, inDataType,
                          outItem));
  };
}

OSStatus QTMetaDataSetItem(QTMetaDataRef inMetaData, QTMetaDataItem inItem, const UInt8* inValuePtr,
                           ByteCount inValueSize, UInt32 inDataType) {
  QTE_CALL_STATUS("QTMetaDataSetItem",
            a_.raw("md", refText(inMetaData))("item", static_cast<long long>(inItem))("valueSize", inValueSize)(
                "dataType", inDataType)) {
    MetaStore* md;
    ItemPlace p;
    if (OSStatus err = findItem(inMetaData, inItem, md, p)) return finish(err);
    return finish(md->setValue(p, inValuePtr, inValueSize, inDataType));
  };
}

OSStatus QTMetaDataRemoveItem(QTMetaDataRef inMetaData, QTMetaDataItem inItem) {
  QTE_CALL_STATUS("QTMetaDataRemoveItem",
            a_.raw("md", refText(inMetaData))("item", static_cast<long long>(inItem))) {
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) return finish(kQTMetaDataInvalidMetaDataErr);
    return finish(md->remove(inItem));
  };
}

OSStatus QTMetaDataRemoveItemsWithKey(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                                      QTMetaDataKeyFormat inKeyFormat, const UInt8* inKeyPtr, ByteCount inKeySize) {
  QTE_CALL_STATUS("QTMetaDataRemoveItemsWithKey",
            a_.raw("md", refText(inMetaData))("storage", Tag{inMetaDataFormat})("keyFormat", Tag{inKeyFormat})
                .raw("key", bytesText(inKeyPtr, inKeySize))("keySize", inKeySize)) {
    MetaStore* md = MetaStore::find(inMetaData);
    if (!md) return finish(kQTMetaDataInvalidMetaDataErr);
    if (OSStatus err = checkFilter(inMetaDataFormat, inKeyFormat, inKeyPtr, inKeySize)) return finish(err);
    return finish(md->removeMatching(KeyFilter{inMetaDataFormat, inKeyFormat, inKeyPtr, inKeySize}));
  };
}

OSStatus QTMetaDataGetItemValue(QTMetaDataRef inMetaData, QTMetaDataItem inItem, UInt8* outValuePtr,
                                ByteCount inValueSize, ByteCount* outActualSize) {
  QTE_CALL_STATUS("QTMetaDataGetItemValue",
            a_.raw("md", refText(inMetaData))("item", static_cast<long long>(inItem)).pointer("value", outValuePtr)(
                "size", inValueSize)) {
    MetaStore* md;
    ItemPlace p;
    if (OSStatus err = findItem(inMetaData, inItem, md, p)) return finish(err);
    Bytes value = md->valueOf(p);
    if (outActualSize) *outActualSize = ByteCount(value.size());
    if (!outValuePtr) {
      // A size query; with nowhere to put the size either, only an empty value is answered.
      return finish(outActualSize || value.empty() ? OSStatus(noErr) : OSStatus(paramErr));
    }
    return finish(copyOut(value, inValueSize, outValuePtr, outActualSize));
  };
}

OSStatus QTMetaDataGetItemPropertyInfo(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                       QTPropertyID inPropID, QTPropertyValueType* outPropType,
                                       ByteCount* outPropValueSize, UInt32* outPropFlags) {
  QTE_CALL_STATUS("QTMetaDataGetItemPropertyInfo",
            a_.raw("md", refText(inMetaData))("item", static_cast<long long>(inItem))("class", Tag{inPropClass})(
                "id", Tag{inPropID})) {
    MetaStore* md;
    ItemPlace p;
    if (OSStatus err = findItem(inMetaData, inItem, md, p)) return finish(err);
    auto info = itemProperty(*md, p, inPropClass, inPropID);
    if (!info) return finish(kQTPropertyNotSupportedErr);
    if (outPropType) *outPropType = info->type;
    if (outPropValueSize) *outPropValueSize = info->size;
    if (outPropFlags) *outPropFlags = info->flags;
    return finish(noErr);
  };
}

OSStatus QTMetaDataGetItemProperty(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                   QTPropertyID inPropID, ByteCount inPropValueSize,
                                   QTPropertyValuePtr outPropValueAddress, ByteCount* outPropValueSizeUsed) {
  QTE_CALL_STATUS("QTMetaDataGetItemProperty",
            a_.raw("md", refText(inMetaData))("item", static_cast<long long>(inItem))("class", Tag{inPropClass})(
                "id", Tag{inPropID})("size", inPropValueSize)) {
    MetaStore* md;
    ItemPlace p;
    if (OSStatus err = findItem(inMetaData, inItem, md, p)) return finish(err);
    if (!itemProperty(*md, p, inPropClass, inPropID)) return finish(kQTPropertyNotSupportedErr);
    return finish(copyOut(itemPropertyBytes(*md, p, inPropID), inPropValueSize, outPropValueAddress,
                          outPropValueSizeUsed));
  };
}

OSStatus QTMetaDataSetItemProperty(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                   QTPropertyID inPropID, ByteCount inPropValueSize,
                                   ConstQTPropertyValuePtr inPropValueAddress) {
  QTE_CALL_STATUS("QTMetaDataSetItemProperty",
            a_.raw("md", refText(inMetaData))("item", static_cast<long long>(inItem))("class", Tag{inPropClass})(
                "id", Tag{inPropID})("size", inPropValueSize)
                .raw("value", bytesText(static_cast<const UInt8*>(inPropValueAddress),
                                   inPropValueSize))) {
    MetaStore* md;
    ItemPlace p;
    if (OSStatus err = findItem(inMetaData, inItem, md, p)) return finish(err);
    auto info = itemProperty(*md, p, inPropClass, inPropID);
    if (!info) return finish(kQTPropertyNotSupportedErr);
    if (!(info->flags & kQTPropertyFlagCanSet)) return finish(kQTPropertyReadOnlyErr);
    auto* bytes = static_cast<const UInt8*>(inPropValueAddress);
    if (!bytes && inPropValueSize) return finish(paramErr);
    switch (inPropID) {
      case kQTMetaDataItemPropertyID_Value:
        return finish(md->setValue(p, bytes, inPropValueSize, md->dataTypeOf(p)));
      case kQTMetaDataItemPropertyID_Key:
        return finish(md->setKey(p, bytes, inPropValueSize));
      default: {
        if (inPropValueSize != sizeof(UInt32)) return finish(kQTPropertyBadValueSizeErr);
        UInt32 v;
        std::memcpy(&v, bytes, sizeof v);
        return finish(inPropID == kQTMetaDataItemPropertyID_DataType ? md->setDataType(p, v) : md->setLocale(p, v));
      }
    }
  };
}

}  // extern "C"
