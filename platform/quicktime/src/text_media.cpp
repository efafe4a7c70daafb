// The text media handler's calls. Samples are built in QuickTime's text sample
// layout: a 16-bit length, the text, then modifier atoms. What no modifier atom can
// carry (display flags, justification, background colour) lives in the sample's
// 'text' description, so samples that differ there get descriptions of their own.
#include "api_using.h"
#include "text_media.h"
#include "file/atoms.h"

#include <FontTable.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qte {

std::unique_ptr<MediaHandlerObject> makeTextHandler(Media* media) { return std::make_unique<TextHandler>(media); }

}  // namespace qte

namespace {

using qte::TextHandler;

constexpr int16_t kDefaultFontSize = 12;
constexpr RGBColor kBlack{0, 0, 0};
constexpr RGBColor kWhite{0xFFFF, 0xFFFF, 0xFFFF};

using qte::file::put16;
using qte::file::put32;
using qte::file::put8;

void putColor(Bytes& b, const RGBColor& c) {
  put16(b, c.red);
  put16(b, c.green);
  put16(b, c.blue);
}
void putRect(Bytes& b, const Rect& r) {
  put16(b, uint16_t(r.top));
  put16(b, uint16_t(r.left));
  put16(b, uint16_t(r.bottom));
  put16(b, uint16_t(r.right));
}
void putPascal(Bytes& b, const char* s) {
  size_t n = std::min<size_t>(s ? std::strlen(s) : 0, 255);
  put8(b, uint32_t(n));
  b.insert(b.end(), s, s + n);
}
ComponentResult finish(ComponentResult r) {
  qte::setError(static_cast<OSErr>(r));
  return r;
}

ComponentResult lookup(MediaHandler mh, TextHandler*& out) {
  auto* h = live<qte::MediaHandlerObject>(mh);
  if (!h) return badComponentInstance;
  out = dynamic_cast<TextHandler*>(h);
  return out ? ComponentResult(noErr) : badComponentSelector;
}

// What a sample's text is drawn with; the description keeps the first sample's.
struct TextStyle {
  int16_t font;
  int16_t size;
  uint8_t face;
  RGBColor color;
  int16_t lineHeight;
  int16_t ascent;
  const char* fontName;  // null for a font the font table does not know
};

TextStyle styleOf(int16_t font, int16_t size, Style face, const RGBColor* color) {
  TextStyle s{font, size > 0 ? size : kDefaultFontSize, uint8_t(face), color ? *color : kBlack, 0, 0, nullptr};
  const CarbonFontFamily* family = CarbonFindFontByID(font);
  if (family) s.fontName = family->name;
  if (!family) family = CarbonFindFontByID(0);
  auto scaled = [&](int16_t perMille) { return int16_t(std::lround(perMille * double(s.size) / 1000.0)); };
  if (family) {
    s.ascent = scaled(family->ascent);
    s.lineHeight = int16_t(s.ascent + scaled(family->descent) + scaled(family->leading));
  }
  return s;
}

// ScrpSTElement: where the run starts, line height, ascent, font, face, size, colour.
void putStyleRun(Bytes& b, const TextStyle& s) {
  put32(b, 0);
  put16(b, uint16_t(s.lineHeight));
  put16(b, uint16_t(s.ascent));
  put16(b, uint16_t(s.font));
  put8(b, s.face);
  put8(b, 0);
  put16(b, uint16_t(s.size));
  putColor(b, s.color);
}

// The fields that pick a sample's description: display flags, justification and
// background colour, as the description stores them (offsets 16 to 29).
Bytes descriptionKey(int32_t displayFlags, int16_t justification, const RGBColor& back) {
  Bytes key;
  put32(key, uint32_t(displayFlags));
  put32(key, uint32_t(int32_t(justification)));
  putColor(key, back);
  return key;
}

Bytes textDescription(const Bytes& key, const Rect& box, const TextStyle& s) {
  Bytes d;
  {
    // The entry is laid out as an atom: its size, then its format.
    qte::file::AtomScope entry(d, TextMediaType);
    d.insert(d.end(), 6, 0);
    put16(d, 1);  // the media's first data reference
    d.insert(d.end(), key.begin(), key.end());
    putRect(d, box);
    putStyleRun(d, s);
    putPascal(d, s.fontName);
    if (s.fontName) {
      qte::file::AtomScope fontTable(d, kTextFontTable);
      put16(d, 1);
      put16(d, uint16_t(s.font));
      putPascal(d, s.fontName);
    }
  }
  return d;
}

// The highlight a sample asks for, and its colour (null: the default).
struct Highlight {
  bool on;
  short start;
  short end;
  const RGBColor* color;
};

// A text sample: the 16-bit length, the text, then its modifier atoms, the
// style first and the pending ones last.
Bytes textSample(const char* text, uint16_t size, const TextStyle& s, const Highlight& hilite, const Rect* textBox,
                 TimeValue scrollDelay, const std::vector<std::pair<OSType, Bytes>>& pending) {
  using qte::file::AtomScope;
  Bytes b;
  put16(b, size);
  if (size) b.insert(b.end(), text, text + size);
  {
    AtomScope style(b, kTextStyle);
    put16(b, 1);
    putStyleRun(b, s);
  }
  if (hilite.on) {
    AtomScope range(b, kTextHilite);
    put32(b, uint32_t(int32_t(hilite.start)));
    put32(b, uint32_t(int32_t(hilite.end)));
  }
  if (hilite.color) {
    AtomScope color(b, kTextHiliteColor);
    putColor(b, *hilite.color);
  }
  if (textBox) {
    AtomScope box(b, kTextTextBox);
    putRect(b, *textBox);
  }
  if (scrollDelay) {
    AtomScope delay(b, kTextScrollDelay);
    put32(b, uint32_t(scrollDelay));
  }
  for (const auto& [type, data] : pending) {
    AtomScope modifier(b, type);
    qte::file::putBytes(b, data);
  }
  return b;
}

// Index (from 1) of an existing 'text' description with these key fields, or 0.
uint32_t findDescription(const qte::SampleStore& s, const Bytes& key) {
  for (size_t i = 0; i < s.descriptions.size(); ++i) {
    const Bytes& d = s.descriptions[i];
    if (d.size() >= 16 + key.size() && qte::file::get32(d.data() + 4) == TextMediaType &&
        std::equal(key.begin(), key.end(), d.begin() + 16))
      return uint32_t(i + 1);
  }
  return 0;
}

// The text of a call, shown with bytes outside printable ASCII escaped.
std::string quoted(const char* text, UInt32 size) {
  constexpr UInt32 kShown = 64;
  std::string out = "\"";
  for (UInt32 i = 0; text && i < std::min(size, kShown); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += char(c);
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  if (size > kShown) out += "...";
  return out + "\"";
}

std::string describe(const Rect* r) {
  if (!r) return "NULL";
  return "{top=" + std::to_string(r->top) + ",left=" + std::to_string(r->left) +
         ",bottom=" + std::to_string(r->bottom) + ",right=" + std::to_string(r->right) + "}";
}

// The modifier payload for data set ahead of a sample, or an error for data the
// handler does not take.
OSErr pendingPayload(OSType type, const void* data, Bytes& out) {
  switch (type) {
    case kTextEncoding: {
      UInt32 encoding;
      std::memcpy(&encoding, data, sizeof encoding);
      put32(out, encoding);
      return noErr;
    }
    case kTextWrap: {
      UInt8 wrap = *static_cast<const UInt8*>(data);
      if (wrap > 1) return paramErr;
      put8(out, wrap);
      return noErr;
    }
    case kTextDropShadowOffset: {
      Point offset;
      std::memcpy(&offset, data, sizeof offset);
      put16(out, uint16_t(offset.h));
      put16(out, uint16_t(offset.v));
      return noErr;
    }
    case kTextDropShadowTransparency: {
      SInt16 transparency;
      std::memcpy(&transparency, data, sizeof transparency);
      if (transparency < 0 || transparency > 256) return paramErr;
      put16(out, uint16_t(transparency));
      return noErr;
    }
    default:
      return paramErr;
  }
}

std::string describePending(OSType type, const void* data) {
  if (!data) return "NULL";
  Bytes payload;
  if (pendingPayload(type, data, payload) != noErr) return "ptr";
  char buf[16];
  if (type == kTextEncoding) {
    std::snprintf(buf, sizeof buf, "0x%X", unsigned(qte::file::get32(payload.data())));
    return buf;
  }
  std::string out;
  for (uint8_t b : payload) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    out += buf;
  }
  return out;
}

}  // namespace

extern "C" {

ComponentResult TextMediaSetTextSampleData(MediaHandler mh, void* data, OSType dataType) {
  QTE_CALL_STATUS("TextMediaSetTextSampleData",
                   a_.object("mh", mh)("type", Tag{dataType}).raw("data", describePending(dataType, data))) {
    TextHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    if (!data) return finish(paramErr);
    Bytes payload;
    if (OSErr err = pendingPayload(dataType, data, payload)) return finish(err);
    auto it = std::find_if(h->pending.begin(), h->pending.end(), [&](const auto& p) { return p.first == dataType; });
    if (it != h->pending.end()) {
      it->second = std::move(payload);
    } else {
      h->pending.emplace_back(dataType, std::move(payload));
    }
    return finish(noErr);
  };
}

ComponentResult TextMediaAddTextSample(MediaHandler mh, Ptr text, UInt32 size, short fontNumber, short fontSize,
                                       Style textFace, RGBColor* textColor, RGBColor* backColor,
                                       short textJustification, Rect* textBox, SInt32 displayFlags,
                                       TimeValue scrollDelay, short hiliteStart, short hiliteEnd,
                                       RGBColor* rgbHiliteColor, TimeValue duration, TimeValue* sampleTime) {
  QTE_CALL_STATUS("TextMediaAddTextSample",
                   a_.object("mh", mh)
                       .raw("text", quoted(text, size))("size", size)("font", fontNumber)("fontSize", fontSize)(
                           "face", textFace)("textColor", textColor)("backColor", backColor)(
                           "justification", textJustification)
                       .raw("textBox", describe(textBox))("displayFlags", displayFlags)("scrollDelay", scrollDelay)(
                           "hiliteStart", hiliteStart)("hiliteEnd", hiliteEnd)("hiliteColor", rgbHiliteColor)(
                           "duration", duration)) {
    TextHandler* h = nullptr;
    if (ComponentResult r = lookup(mh, h)) return finish(r);
    qte::Media& media = *h->media;
    if (!media.editing) return finish(invalidEditState);
    if ((!text && size > 0) || size > 0xFFFF || fontSize < 0 || scrollDelay < 0) return finish(paramErr);
    // An empty or negative-start range is no highlight; a range that ends before it
    // starts is a mistake.
    bool hilite = hiliteStart >= 0 && hiliteEnd > hiliteStart;
    if (hiliteStart >= 0 && hiliteEnd >= 0 && hiliteEnd < hiliteStart) return finish(paramErr);
    if (duration <= 0) return finish(invalidDuration);
    const qte::SampleStore& current = media.samples();
    if (current.table.duration() + duration > INT32_MAX || current.table.count() >= UINT32_MAX - 1)
      return finish(kQTTimeValueTooBigErr);

    TextStyle s = styleOf(fontNumber, fontSize, textFace, textColor);
    Bytes sample = textSample(text, uint16_t(size), s, {hilite, hiliteStart, hiliteEnd, rgbHiliteColor},
                              textBox, scrollDelay, h->pending);

    Bytes key = descriptionKey(displayFlags, textJustification, backColor ? *backColor : kWhite);
    qte::SampleStore& store = media.mutableSamples();
    uint32_t descIndex = findDescription(store, key);
    if (!descIndex) {
      const qte::Track& track = *media.track;
      Rect box = textBox ? *textBox : Rect{0, 0, int16_t(track.height >> 16), int16_t(track.width >> 16)};
      store.descriptions.push_back(textDescription(key, box, s));
      descIndex = uint32_t(store.descriptions.size());
    }
    if (sampleTime) *sampleTime = toTimeValue(store.table.duration());
    uint64_t at = store.memory.size();
    store.memory.insert(store.memory.end(), sample.begin(), sample.end());
    store.table.append(1, uint32_t(duration), uint32_t(sample.size()), descIndex, true, true, at);
    media.modificationTime = qte::nowMacTime();
    h->pending.clear();
    return finish(noErr);
  };
}

}  // extern "C"
