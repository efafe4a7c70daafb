// QuickTime metadata: one container per movie or track, holding the items of three
// storage formats ('mdta' keys and item list, 'itms' iTunes-style items, 'udta' the
// owner's user data) behind one reference-counted QTMetaDataRef.
//
// Keys of the four-character key formats ('udta', 'itsk', 'comn') are 4-byte OSType
// values as they lie in memory; 'mdta' and 'itlk' keys are the key's bytes.
// Item properties and container properties are in native byte order.
//
// Adding with the common key format 'comn' stores the item under the storage
// format's own key for that meaning (for 'mdta' the reverse-DNS key, for 'udta' the
// text type, for 'itms' the short iTunes key); the item then reports that key and
// key format. A storage format without a key for that meaning answers
// kQTMetaDataInvalidKeyFormatErr.
#pragma once

#include <MacTypes.h>
#include <QuickTime/Movies.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct OpaqueQTMetaDataRef* QTMetaDataRef;
typedef UInt64 QTMetaDataItem;
typedef OSType QTMetaDataStorageFormat;
typedef OSType QTMetaDataKeyFormat;
typedef UInt32 ItemCount;

enum {
  kQTMetaDataItemUninitialized = 0,  // before the first item

  kQTMetaDataStorageFormatWildcard = 0,
  kQTMetaDataStorageFormatQuickTime = FOUR_CHAR_CODE('m', 'd', 't', 'a'),
  kQTMetaDataStorageFormatiTunes = FOUR_CHAR_CODE('i', 't', 'm', 's'),
  kQTMetaDataStorageFormatUserData = FOUR_CHAR_CODE('u', 'd', 't', 'a'),

  kQTMetaDataKeyFormatWildcard = 0,
  kQTMetaDataKeyFormatQuickTime = FOUR_CHAR_CODE('m', 'd', 't', 'a'),
  kQTMetaDataKeyFormatiTunesShortForm = FOUR_CHAR_CODE('i', 't', 's', 'k'),
  kQTMetaDataKeyFormatiTunesLongForm = FOUR_CHAR_CODE('i', 't', 'l', 'k'),
  kQTMetaDataKeyFormatUserData = FOUR_CHAR_CODE('u', 'd', 't', 'a'),
  kQTMetaDataKeyFormatCommon = FOUR_CHAR_CODE('c', 'o', 'm', 'n'),

  kQTMetaDataCommonKeyAuthor = FOUR_CHAR_CODE('a', 'u', 't', 'h'),
  kQTMetaDataCommonKeyComment = FOUR_CHAR_CODE('c', 'm', 'm', 't'),
  kQTMetaDataCommonKeyCopyright = FOUR_CHAR_CODE('c', 'p', 'r', 't'),
  kQTMetaDataCommonKeyDirector = FOUR_CHAR_CODE('d', 't', 'o', 'r'),
  kQTMetaDataCommonKeyDisplayName = FOUR_CHAR_CODE('n', 'a', 'm', 'e'),
  kQTMetaDataCommonKeyInformation = FOUR_CHAR_CODE('i', 'n', 'f', 'o'),
  kQTMetaDataCommonKeyKeywords = FOUR_CHAR_CODE('k', 'e', 'y', 'w'),
  kQTMetaDataCommonKeyProducer = FOUR_CHAR_CODE('p', 'r', 'o', 'd'),
  kQTMetaDataCommonKeyAlbum = FOUR_CHAR_CODE('a', 'l', 'b', 'm'),
  kQTMetaDataCommonKeyArtist = FOUR_CHAR_CODE('a', 'r', 't', 's'),
  kQTMetaDataCommonKeyArtwork = FOUR_CHAR_CODE('a', 'r', 't', 'w'),
  kQTMetaDataCommonKeyChapterName = FOUR_CHAR_CODE('c', 'h', 'a', 'p'),
  kQTMetaDataCommonKeyComposer = FOUR_CHAR_CODE('c', 'o', 'm', 'p'),
  kQTMetaDataCommonKeyDescription = FOUR_CHAR_CODE('d', 'e', 's', 'c'),
  kQTMetaDataCommonKeyGenre = FOUR_CHAR_CODE('g', 'e', 'n', 'r'),
  kQTMetaDataCommonKeyOriginalFormat = FOUR_CHAR_CODE('o', 'r', 'i', 'f'),
  kQTMetaDataCommonKeyOriginalSource = FOUR_CHAR_CODE('o', 'r', 'i', 's'),
  kQTMetaDataCommonKeyPerformers = FOUR_CHAR_CODE('p', 'e', 'r', 'f'),
  kQTMetaDataCommonKeySoftware = FOUR_CHAR_CODE('s', 'o', 'f', 't'),
  kQTMetaDataCommonKeyWriter = FOUR_CHAR_CODE('w', 'r', 't', 'r'),

  // Data types: the type code of a 'data' atom.
  kQTMetaDataTypeBinary = 0,
  kQTMetaDataTypeUTF8 = 1,
  kQTMetaDataTypeUTF16BE = 2,
  kQTMetaDataTypeMacEncodedText = 3,
  kQTMetaDataTypeJPEGImage = 13,
  kQTMetaDataTypePNGImage = 14,
  kQTMetaDataTypeSignedIntegerBE = 21,
  kQTMetaDataTypeUnsignedIntegerBE = 22,
  kQTMetaDataTypeFloat32BE = 23,
  kQTMetaDataTypeFloat64BE = 24,
  kQTMetaDataTypeBMPImage = 27,
  kQTMetaDataTypeQuickTimeMetaData = 28,

  // Container properties (class 'meta'), all read-only.
  kPropertyClass_MetaData = FOUR_CHAR_CODE('m', 'e', 't', 'a'),
  kQTMetaDataPropertyID_StorageFormats = FOUR_CHAR_CODE('f', 'm', 't', 's'),  // OSType[]
  kQTMetaDataPropertyID_OwnerType = FOUR_CHAR_CODE('o', 'w', 'n', 't'),       // OSType
  kQTMetaDataPropertyID_Owner = FOUR_CHAR_CODE('o', 'w', 'n', 'r'),           // Movie or Track

  // Owner types.
  kQTMetaDataOwnerTypeMovie = FOUR_CHAR_CODE('m', 'o', 'o', 'v'),
  kQTMetaDataOwnerTypeTrack = FOUR_CHAR_CODE('t', 'r', 'a', 'k'),

  // Item properties (class 'mdit').
  kPropertyClass_MetaDataItem = FOUR_CHAR_CODE('m', 'd', 'i', 't'),
  kQTMetaDataItemPropertyID_Value = FOUR_CHAR_CODE('v', 'a', 'l', 'u'),          // bytes
  kQTMetaDataItemPropertyID_DataType = FOUR_CHAR_CODE('d', 't', 'y', 'p'),       // UInt32
  kQTMetaDataItemPropertyID_StorageFormat = FOUR_CHAR_CODE('s', 'f', 'm', 't'),  // OSType, read-only
  kQTMetaDataItemPropertyID_Key = FOUR_CHAR_CODE('k', 'e', 'y', ' '),            // key bytes
  kQTMetaDataItemPropertyID_KeyFormat = FOUR_CHAR_CODE('k', 'e', 'y', 'f'),      // OSType, read-only
  // UInt32: a data atom's locale indicator (country << 16 | language); for user-data
  // text the text record's language code.
  kQTMetaDataItemPropertyID_Locale = FOUR_CHAR_CODE('l', 'o', 'c', ' '),
};

OSStatus QTCopyMovieMetaData(Movie inMovie, QTMetaDataRef* outMetaData);
OSStatus QTCopyTrackMetaData(Track inTrack, QTMetaDataRef* outMetaData);
QTMetaDataRef QTMetaDataRetain(QTMetaDataRef inMetaData);
void QTMetaDataRelease(QTMetaDataRef inMetaData);

OSStatus QTMetaDataGetPropertyInfo(QTMetaDataRef inMetaData, QTPropertyClass inPropClass, QTPropertyID inPropID,
                                   QTPropertyValueType* outPropType, ByteCount* outPropValueSize,
                                   UInt32* outPropFlags);
OSStatus QTMetaDataGetProperty(QTMetaDataRef inMetaData, QTPropertyClass inPropClass, QTPropertyID inPropID,
                               ByteCount inPropValueSize, QTPropertyValuePtr outPropValueAddress,
                               ByteCount* outPropValueSizeUsed);
OSStatus QTMetaDataSetProperty(QTMetaDataRef inMetaData, QTPropertyClass inPropClass, QTPropertyID inPropID,
                               ByteCount inPropValueSize, ConstQTPropertyValuePtr inPropValueAddress);

// Items of `inMetaDataFormat` (0: all) after `inCurrentItem` (0: from the start)
// whose key matches (key format 0: any key; a null key: any key of that format).
OSStatus QTMetaDataGetNextItem(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                               QTMetaDataItem inCurrentItem, QTMetaDataKeyFormat inKeyFormat, const UInt8* inKeyPtr,
                               ByteCount inKeySize, QTMetaDataItem* outNextItem);
OSStatus QTMetaDataGetItemCountWithKey(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                                       QTMetaDataKeyFormat inKeyFormat, const UInt8* inKeyPtr, ByteCount inKeySize,
                                       ItemCount* outCount);
OSStatus QTMetaDataAddItem(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                           QTMetaDataKeyFormat inKeyFormat, const UInt8* inKeyPtr, ByteCount inKeySize,
                           const UInt8* inValuePtr, ByteCount inValueSize, UInt32 inDataType,
                           QTMetaDataItem* outItem);
OSStatus QTMetaDataSetItem(QTMetaDataRef inMetaData, QTMetaDataItem inItem, const UInt8* inValuePtr,
                           ByteCount inValueSize, UInt32 inDataType);
OSStatus QTMetaDataRemoveItem(QTMetaDataRef inMetaData, QTMetaDataItem inItem);
OSStatus QTMetaDataRemoveItemsWithKey(QTMetaDataRef inMetaData, QTMetaDataStorageFormat inMetaDataFormat,
                                      QTMetaDataKeyFormat inKeyFormat, const UInt8* inKeyPtr, ByteCount inKeySize);
// A null `outValuePtr` asks for the size only. A buffer smaller than the value
// answers kQTPropertyBadValueSizeErr and is left alone.
OSStatus QTMetaDataGetItemValue(QTMetaDataRef inMetaData, QTMetaDataItem inItem, UInt8* outValuePtr,
                                ByteCount inValueSize, ByteCount* outActualSize);

OSStatus QTMetaDataGetItemPropertyInfo(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                       QTPropertyID inPropID, QTPropertyValueType* outPropType,
                                       ByteCount* outPropValueSize, UInt32* outPropFlags);
OSStatus QTMetaDataGetItemProperty(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                   QTPropertyID inPropID, ByteCount inPropValueSize,
                                   QTPropertyValuePtr outPropValueAddress, ByteCount* outPropValueSizeUsed);
OSStatus QTMetaDataSetItemProperty(QTMetaDataRef inMetaData, QTMetaDataItem inItem, QTPropertyClass inPropClass,
                                   QTPropertyID inPropID, ByteCount inPropValueSize,
                                   ConstQTPropertyValuePtr inPropValueAddress);

#ifdef __cplusplus
}
#endif
