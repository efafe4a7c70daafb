// The demo's metadata section: a title, an author and a key of our own set on the
// sample movie through QTMetaDataZQK, a full-name text through QTUserDataZQK, and then
// everything the movie holds, walked item by item and type by type.
#include "demo.h"

#include <QuickTime/MetaData.h>
#include <QuickTime/Movies.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace tool {
namespace {

using rt::Value;

const char* dataTypeName(uint32_t type) {
  switch (type) {
    case kQTMetaDataTypeBinary: return "binary";
    case kQTMetaDataTypeUTF8: return "UTF-8";
    case kQTMetaDataTypeUTF16BE: return "UTF-16BE";
    case kQTMetaDataTypeMacEncodedText: return "Mac text";
    case kQTMetaDataTypeSignedIntegerBE: return "signed integer";
    case kQTMetaDataTypeUnsignedIntegerBE: return "unsigned integer";
    default: return "other";
  }
}

// UTF-8 text padded with blanks to `width` characters.
std::string padded(std::string text, size_t width) {
  size_t characters = 0;
  for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
  if (characters < width) text.append(width - characters, ' ');
  return text;
}

class MetaDataShow {
 public:
  explicit MetaDataShow(rt::Runtime& runtime) : rt_(runtime) {}

  // Text as a terminal shows it: the item's bytes read in the encoding its data
  // type names; anything else as hex.
  std::string text(const Value& bytes, uint32_t dataType) {
    if (bytes.isNil()) return "(empty)";
    if (dataType == kQTMetaDataTypeUTF8) return '"' + rt_.bytes(bytes) + '"';
    if (dataType == kQTMetaDataTypeMacEncodedText)
      return '"' + rt_.utf8(rt_.string(rt_.bytes(bytes), kREALEncodingMacRoman)) + '"';
    std::string hex;
    char digits[4];
    for (unsigned char c : rt_.bytes(bytes)) {
      std::snprintf(digits, sizeof digits, "%02X ", c);
      hex += digits;
    }
    return hex;
  }

  // Storage format, key, data type and value of one item. Reverse-DNS keys are
  // text; four-character keys are codes.
  void item(const Value& item) {
    const std::string storage = rt_.utf8(rt_.call(item, "GetPropertyCode", {rt_.string("sfmt")}));
    const std::string keyFormat = rt_.utf8(rt_.call(item, "GetPropertyCode", {rt_.string("keyf")}));
    const bool textKey = keyFormat == "mdta" || keyFormat == "itlk";
    const std::string key =
        rt_.utf8(rt_.call(item, textKey ? "GetPropertyString" : "GetPropertyCode", {rt_.string("key ")}));
    uint32_t dataType = 0;
    const std::string typeBytes = rt_.bytes(rt_.call(item, "GetPropertyMemory", {rt_.string("dtyp")}));
    if (typeBytes.size() == sizeof dataType) std::memcpy(&dataType, typeBytes.data(), sizeof dataType);
    std::printf("  %s  %s %-9s %s\n", storage.c_str(), padded(key, 34).c_str(), dataTypeName(dataType),
                text(rt_.call(item, "GetString"), dataType).c_str());
  }

 private:
  rt::Runtime& rt_;
};

// Title, author, a key of our own and a full name, set and then listed.
void describeMetaData(rt::Runtime& runtime, const Value& movie) {
  auto s = [&](const std::string& bytes) { return runtime.string(bytes); };
  const Value utf8 = runtime.constant("QTMetaDataZQK", "kQTMetaDataTypeUTF8");
  Value md = runtime.call(movie, "MetaDataZQK");
  runtime.call(md, "AddItem", {s("mdta"), s("mdta"), s("com.apple.quicktime.displayname"), s("Harbour at Dawn"), utf8});
  // The common key 'auth' stores QuickTime's own key for the author.
  runtime.call(md, "AddItemCode", {s("mdta"), s("comn"), s("auth"), s("Zo\u00eb Aubert"), utf8});
  runtime.call(md, "AddItem", {s("mdta"), s("mdta"), s("com.example.pelorin.take"), s("3"), utf8});

  Value ud = runtime.call(movie, "UserDataZQK");
  Value fullName = runtime.callShared("QTMetaDataZQK", "kUserDataTextFullName");
  runtime.call(ud, "AddText", {fullName, Value::integer(1), Value::integer(0), s("Harbour")});

  std::cout << "Metadata (MetaDataZQK, then UserDataZQK.AddText " << runtime.utf8(fullName) << ")\n"
            << "  " << runtime.call(md, "CountItems").asInteger()
            << " items; the user-data text shows as an item of 'udta' storage\n";
  MetaDataShow show(runtime);
  for (Value item = runtime.call(md, "FirstItem"); !item.isNil(); item = runtime.call(md, "NextItem")) show.item(item);
  std::cout << "  found by the common key 'name': "
            << runtime.call(md, "CountItemsWithKeyCode", {Value(), s("comn"), s("name")}).asInteger() << " items\n";

  std::cout << "User data (UserDataZQK)\n";
  for (Value type = runtime.call(ud, "GetNextType", {Value()}); !type.isNil();
       type = runtime.call(ud, "GetNextType", {type})) {
    Value first = runtime.call(ud, "GetText", {type, Value::integer(1), Value::integer(0)});
    std::cout << "  " << runtime.utf8(type) << "  entries: " << runtime.call(ud, "CountType", {type}).asInteger()
              << ", first text: " << (first.isNil() ? "(none)" : '"' + runtime.utf8(first) + '"') << '\n';
  }
  runtime.call(md, "Close");
}

}  // namespace

// On the demo's sample movie, on a host that still has QuickTime.
void showMetaData() {
  rt::Config config;
  config.hostVersion = 2013.04;
  rt::Runtime runtime(config);
  runtime.loadPlugin(rt::Runtime::defaultPluginPath());
  Movie qtMovie = newAudioVisualMovie();
  describeMetaData(runtime, runtime.newMovie(qtMovie));
  DisposeMovie(qtMovie);
}

}  // namespace tool
