// What the metadata tests share: an engine movie with a video track behind a host
// `movie`, on a host that still has QuickTime, and shorthands for the values user
// code passes.
#pragma once

#include "track_movies.h"

#include <QuickTime/MetaData.h>

#include <string>
#include <string_view>

class MetaDataTestBase : public VideoMovieTest {
 protected:
  static rt::Value I(int64_t v) { return rt::Value::integer(v); }
  rt::Value S(std::string_view bytes, uint32_t encoding = kREALEncodingUTF8) {
    return runtime().string(bytes, encoding);
  }
  // A four-character code whose first byte is 0xA9, as user code writes it.
  rt::Value TextType(std::string_view rest) { return S("\xA9" + std::string(rest), kREALEncodingMacRoman); }

  rt::Value Container() { return runtime().call(movie_, "MetaDataZQK"); }
  int64_t LastErrorOf(const rt::Value& object) { return runtime().get(object, "Lasterror").asInteger(); }
  std::string Bytes(const rt::Value& v) { return v.isNil() ? std::string("<nil>") : runtime().bytes(v); }

  // AddItem with a reverse-DNS key in QuickTime storage; UTF-8 unless told otherwise.
  rt::Value AddQuickTimeItem(const rt::Value& md, std::string_view key, std::string_view value,
                             int64_t dataType = kQTMetaDataTypeUTF8) {
    return runtime().call(md, "AddItem", {S("mdta"), S("mdta"), S(key), S(value), I(dataType)});
  }

  // Runs `call`, which must raise the host exception `className` with `message`.
  template <typename Call>
  static void ExpectRaises(Call call, std::string_view className, std::string_view message) {
    try {
      call();
      ADD_FAILURE() << "no " << className;
    } catch (const rt::HostException& e) {
      EXPECT_EQ(e.className(), className);
      EXPECT_EQ(e.message(), message);
    }
  }
};
