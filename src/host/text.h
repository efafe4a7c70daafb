// Text of a host string in the forms QuickTime and Carbon calls take.
//
// Lives on the stack for one call. Each form is made through the host on first
// request and kept until the object goes, which releases everything it holds.
#pragma once

#include <pelorin/sdk.h>

#include <cstdint>

class rbText {
 public:
  // One converted form. `length` counts units (bytes, or UTF-16 code units) and is
  // -1 until the form was requested; `data` always points at readable, terminated
  // text, an empty buffer when the form failed.
  template <typename Unit>
  struct Form {
    REALstring held = nullptr;       // converted string this form keeps alive
    int32_t length = 0;
    const Unit* data = nullptr;
    Unit* owned = nullptr;           // heap copy, when the host's text was not terminated
    REALstringData record{};         // from "PluginGetStringData"
    bool giveBack = false;           // record must go back to the host
  };

  explicit rbText(REALstring string);
  ~rbText();
  rbText(const rbText&) = delete;
  rbText& operator=(const rbText&) = delete;

  // Make the forms. Callers call these only while the form's length is negative.
  void ConvertMacRoman();
  void ConvertUTF16();

  // Convenience: the form, made on first use.
  const Form<char>& MacRoman() {
    if (macRoman.length < 0) ConvertMacRoman();
    return macRoman;
  }
  const Form<uint16_t>& UTF16() {
    if (utf16.length < 0) ConvertUTF16();
    return utf16;
  }

  bool failed() const { return error; }

  Form<char> macRoman;      // Mac Roman bytes
  Form<uint16_t> utf16;     // native byte order, no byte-order mark

 private:
  REALstring held_ = nullptr;   // the string itself, or its Mac Roman copy
  bool direct_ = false;         // held string's own bytes are valid Mac Roman
  bool error = false;
};
