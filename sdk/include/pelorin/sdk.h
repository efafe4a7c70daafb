// The host/plugin contract: everything the host runtime and the plugin agree on.
//
// Every record is an array of pointer-sized words. On a 32-bit host each word is
// 32 bits; on LP64 each is 64 bits. The structs below declare one word per field so
// that the word counts asserted at the end hold on both targets.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// The host's native Integer.
typedef intptr_t RBInteger;
// A host Boolean as it sits in instance data: a 32-bit field whose first byte counts.
typedef int32_t RBBoolean;
// A host Color: 0x00RRGGBB.
typedef uint32_t RBColor;

// Opaque host references. The runtime owns what they point at.
typedef struct REALobjectStruct* REALobject;
typedef struct REALstringStruct* REALstring;
typedef REALobject REALmemoryBlock;
typedef REALobject REALmovie;
typedef REALobject REALpicture;
typedef REALobject REALfolderItem;
typedef REALobject REALarray;
typedef REALobject REALobjectArray;
typedef struct REALclassRefStruct* REALclassRef;

// Any function the host calls or hands out; cast to the real signature at the call.
typedef void (*REALproc)(void);

// The resolver handed to REALPluginMain: entry name in, host function (or null) out.
typedef REALproc (*REALResolver)(const char* entryName);

// "All ones" in a property record's getter and setter words: the host reads and
// writes the field at the record's offset itself.
#define REAL_DIRECT_PROPERTY ((REALproc)(~(uintptr_t)0))

// Property record, 12 words.
struct REALproperty {
  const char* group;       // 0: unused, null
  const char* name;        // 1
  const char* type;        // 2: "Integer", "Boolean", "Double", "Color", "String", "Movie", class name
  uintptr_t flags;         // 3
  REALproc getter;         // 4: function or REAL_DIRECT_PROPERTY
  REALproc setter;         // 5: function or REAL_DIRECT_PROPERTY
  intptr_t fieldOffset;    // 6: byte offset within instance data for direct properties
  uintptr_t reserved[5];   // 7..11
};

// Method record, 6 words. Word 1 is non-null only on property-like methods.
struct REALmethodDefinition {
  REALproc function;       // 0
  REALproc setterFunction; // 1
  const char* declaration; // 2
  uintptr_t flags;         // 3
  uintptr_t reserved[2];   // 4, 5
};

// Constant record, 5 words: "name = value".
struct REALconstant {
  const char* declaration; // 0
  uintptr_t reserved[4];   // 1..4
};

// The table at words 11-12 of a class definition (4-word entries; 2 in the older layout).
struct REALevent {
  const char* declaration;
  uintptr_t reserved[3];
};

typedef void (*REALconstructor)(REALobject);
typedef void (*REALdestructor)(REALobject);

// Class definition record, 29 words (the current layout).
struct REALclassDefinition {
  uintptr_t version;                        // 0
  const char* name;                         // 1
  const char* superName;                    // 2
  uintptr_t dataSize;                       // 3
  intptr_t forSystemUse;                    // 4: instance-data offset, written by the host
  REALconstructor constructor;              // 5
  REALdestructor destructor;                // 6
  REALproperty* properties;                 // 7
  uintptr_t propertyCount;                  // 8
  REALmethodDefinition* methods;            // 9
  uintptr_t methodCount;                    // 10
  REALevent* events;                        // 11
  uintptr_t eventCount;                     // 12
  uintptr_t reserved13[3];                  // 13..15
  void* interfaces;                         // 16
  uintptr_t interfaceCount;                 // 17
  REALconstant* constants;                  // 18
  uintptr_t constantCount;                  // 19
  uintptr_t flags;                          // 20
  REALproperty* sharedProperties;           // 21
  uintptr_t sharedPropertyCount;            // 22
  REALmethodDefinition* sharedMethods;      // 23
  uintptr_t sharedMethodCount;              // 24
  void* delegates;                          // 25
  uintptr_t delegateCount;                  // 26
  void* enums;                              // 27
  uintptr_t enumCount;                      // 28
};

// The older records read by hosts below control version 10. Each is a prefix of
// the current record of the same kind.
struct REALpropertyV9 {
  const char* group;
  const char* name;
  const char* type;
  uintptr_t flags;
  REALproc getter;
  REALproc setter;
  intptr_t fieldOffset;
  uintptr_t reserved[3];
};
struct REALmethodDefinitionV9 {
  REALproc function;
  REALproc setterFunction;
  const char* declaration;
  uintptr_t flags;
};
struct REALconstantV9 {
  const char* declaration;
  uintptr_t reserved[2];
};
struct REALeventV9 {
  const char* declaration;
  uintptr_t reserved;
};

// Older class definition record, 25 words.
struct REALclassDefinitionV9 {
  uintptr_t version;                        // 0
  const char* name;                         // 1
  const char* superName;                    // 2
  uintptr_t dataSize;                       // 3
  intptr_t forSystemUse;                    // 4
  REALconstructor constructor;              // 5
  REALdestructor destructor;                // 6
  REALpropertyV9* properties;               // 7
  uintptr_t propertyCount;                  // 8
  REALmethodDefinitionV9* methods;          // 9
  uintptr_t methodCount;                    // 10
  REALeventV9* events;                      // 11
  uintptr_t eventCount;                     // 12
  uintptr_t reserved13[3];                  // 13..15
  uintptr_t reserved16[2];                  // 16, 17: always 0
  REALconstantV9* constants;                // 18
  uintptr_t constantCount;                  // 19
  uintptr_t flags;                          // 20
  REALpropertyV9* sharedProperties;         // 21
  uintptr_t sharedPropertyCount;            // 22
  REALmethodDefinitionV9* sharedMethods;    // 23
  uintptr_t sharedMethodCount;              // 24
};

// Module record, 24 words.
struct REALmoduleDefinition {
  uintptr_t version;                        // 0
  const char* name;                         // 1
  REALmethodDefinition* methods;            // 2
  uintptr_t methodCount;                    // 3
  uintptr_t reserved[20];                   // 4..23
};

// The string record as older hosts lay it out. A REALstring points at one; the
// second word points one byte before the text and the fourth word is its length.
struct REALstringRecordV9 {
  uintptr_t refCount;
  const char* bytesMinusOne;
  uintptr_t reserved;
  uintptr_t length;
};

// Filled by "PluginGetStringData", given back with "PluginDisposeStringData".
struct REALstringData {
  const void* data;
  RBInteger length;       // in bytes
  uint32_t encoding;
  void* hostPrivate;
};

// Filled by the host's picture-lock calls. The first four fields are fixed.
struct REALpictureDescription {
  RBInteger pictureType;  // 8: Core Graphics bitmap context; 10: console pixel store
  void* pictureData;
  RBInteger width;
  RBInteger height;
  uintptr_t reserved[4];
};

// Picture description types.
enum { kREALPictureCGBitmapContext = 8, kREALPictureConsolePixels = 10 };

// The console pixel store behind a type-10 description.
struct REALconsolePixels {
  uintptr_t zero;          // always 0
  uint8_t** rows;          // row-pointer table, one pointer per row
  void* companion;         // the store's own bookkeeping
};

// Pixel layouts "REALBuildPictureFromBuffer" reads: 32-bit words in the machine's
// byte order.
enum {
  kREALPixelXRGB = 1,  // 0xXXRRGGBB, the top byte ignored: an opaque picture
  kREALPixelARGB = 2,  // 0xAARRGGBB, straight alpha: a picture with an alpha channel
};

// CoreFoundation text encodings the contract passes around.
enum : uint32_t {
  kREALEncodingMacRoman = 0x0000,
  kREALEncodingUTF16 = 0x0100,
  kREALEncodingWindowsLatin1 = 0x0500,
  kREALEncodingASCII = 0x0600,
  kREALEncodingUnknown = 0xFFFF,
  kREALEncodingUTF8 = 0x08000100,
  kREALEncodingUTF32 = 0x0C000100,
};

// C signatures of the host entry points, by the name the resolver knows them under.
typedef double (*REALGetRBVersionProc)(void);
typedef void (*RegisterPluginVersionProc)(int32_t controlVersion);
typedef bool (*REALinRuntimeProc)(void);
typedef RBInteger (*REALenterMoviesProc)(void);
typedef void (*PluginRegisterClassProc)(REALclassDefinition* definition);  // also the older layout
typedef void (*PluginRegisterClassExtensionProc)(REALclassDefinition* definition);
typedef void (*PluginRegisterModuleProc)(REALmoduleDefinition* module);
typedef REALobject (*PluginNewInstanceProc)(const char* className);
typedef REALclassRef (*pluginObjectTypeProc)(const char* className);
typedef void* (*getMovieMovieProc)(REALmovie movie);  // the QuickTime Movie, or null
typedef void (*REALLockObjectProc)(REALobject object);
typedef void (*REALUnlockObjectProc)(REALobject object);
typedef void (*REALLockStringProc)(REALstring string);
typedef void (*REALUnlockStringProc)(REALstring string);
typedef REALstring (*REALBuildStringProc)(const char* bytes, RBInteger length);
typedef REALstring (*REALBuildStringWithEncodingProc)(const char* bytes, RBInteger length, uint32_t encoding);
typedef uint32_t (*REALGetStringEncodingProc)(REALstring string);
typedef void (*REALSetStringEncodingProc)(REALstring string, uint32_t encoding);
typedef REALstring (*REALConvertStringProc)(REALstring string, uint32_t encoding);
typedef const char* (*StringGetCStringProc)(REALstring string);
typedef REALproc (*REALLoadGlobalMethodProc)(const char* module, const char* declaration);
typedef RBInteger (*REALLenBProc)(REALstring string);  // "LenB( s as string ) as integer"
typedef bool (*PluginGetStringDataProc)(REALstring string, uint32_t encoding, REALstringData* out);
typedef void (*PluginDisposeStringDataProc)(REALstringData* data);
typedef REALmemoryBlock (*newMemoryBlockProc)(RBInteger size);
typedef void* (*memoryBlockGetPtrProc)(REALmemoryBlock block);
typedef RBInteger (*memoryBlockGetSizeProc)(REALmemoryBlock block);
typedef void (*RuntimeRaiseExceptionProc)(REALobject exception);
typedef bool (*REALSetPropValueStringProc)(REALobject object, const char* property, REALstring value);
typedef bool (*REALSetPropValueIntegerProc)(REALobject object, const char* property, RBInteger value);  // also "REALSetPropValueInt"
typedef bool (*REALGetPropValueBoolProc)(REALobject object, const char* property, bool* value);
typedef RBInteger (*RuntimeUBoundProc)(REALarray array);
typedef REALobject (*RuntimeDirectReadObjectArrayProc)(REALarray array, RBInteger index);  // locked
// Pictures. Depth 32 makes an opaque picture, depth 0 one with an alpha channel.
// Every successful lock of either kind pairs with one "unlockPictureDescription"
// (hosts before 2012.0 count a failed "REALLockPictureDescription" as a lock too);
// "lockPictureDescription" locks the picture's own (native) form and always succeeds
// on a live picture.
typedef REALpicture (*newPictureProc)(RBInteger width, RBInteger height, RBInteger depth);
typedef REALpicture (*REALBuildPictureFromBufferProc)(RBInteger width, RBInteger height, RBInteger pixelType,
                                                      void* buffer, RBInteger rowBytes);
typedef bool (*REALLockPictureDescriptionProc)(REALpicture picture, REALpictureDescription* out, RBInteger type);
typedef void (*lockPictureDescriptionProc)(REALpicture picture, REALpictureDescription* out);
typedef void (*unlockPictureDescriptionProc)(REALpicture picture);
typedef void (*REALPictureClearCacheProc)(REALpicture picture);
struct FSSpec;
struct FSRef;
typedef REALfolderItem (*FolderItemFromFSSpecProc)(const struct FSSpec* fsSpec);
typedef bool (*REALFSRefFromFolderItemProc)(REALfolderItem item, struct FSRef* ref, void* reserved);

// The plugin's single export.
typedef void (*REALPluginMainProc)(REALResolver resolver);

}  // extern "C"

#define REAL_WORDS(type) (sizeof(type) / sizeof(void*))
static_assert(sizeof(REALproc) == sizeof(void*), "function pointers must be one word");
static_assert(sizeof(REALclassDefinition) == 29 * sizeof(void*));
static_assert(sizeof(REALclassDefinitionV9) == 25 * sizeof(void*));
static_assert(sizeof(REALproperty) == 12 * sizeof(void*));
static_assert(sizeof(REALpropertyV9) == 10 * sizeof(void*));
static_assert(sizeof(REALmethodDefinition) == 6 * sizeof(void*));
static_assert(sizeof(REALmethodDefinitionV9) == 4 * sizeof(void*));
static_assert(sizeof(REALconstant) == 5 * sizeof(void*));
static_assert(sizeof(REALconstantV9) == 3 * sizeof(void*));
static_assert(sizeof(REALevent) == 4 * sizeof(void*));
static_assert(sizeof(REALeventV9) == 2 * sizeof(void*));
static_assert(sizeof(REALmoduleDefinition) == 24 * sizeof(void*));
static_assert(sizeof(REALstringRecordV9) == 4 * sizeof(void*));
