// The text media handler's calls. Samples are built in QuickTime's text sample
// layout: a 16-bit length, the text, then modifier atoms. What no modifier atom can
// carry (display flags, justification, background colour) lives in the sample's
// 'text' description, so samples that differ there get descriptions of their own.
#include "api_using.h"
#include "text_media.h"

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

void put8(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); }
void put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
void put32(Bytes& b, uint32_t v) {
  put16(b, v >> 16);
  put16(b, v);
}
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
// An atom: size, type, payload.
void putAtom(Bytes& b, OSType type, const Bytes& payload) {
  put32(b, uint32_t(payload.size() + 8));
  put32(b, type);
  b.insert(b.end(), payload.begin(), payload.end());
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
  put32(d, 0);  // size, filled in last
  put32(d, TextMediaType);
  d.insert(d.end(), 6, 0);
  put16(d, 1);  // the media's first data reference
  d.insert(d.end(), key.begin(), key.end());
  putRect(d, box);
  putStyleRun(d, s);
  putPascal(d, s.fontName);
  if (s.fontName) {
    Bytes table;
    put16(table, 1);
    put16(table, uint16_t(s.font));
    putPascal(table, s.fontName);
    putAtom(d, kTextFontTable, table);
  }
  uint32_t size = uint32_t(d.size());
  for (int k = 0; k < 4; ++k) d[size_t(k)] = uint8_t(size >> (24 - 8 * k));
  return d;
}

// Index (from 1) of an existing 'text' description with these key fields, or 0.
uint32_t findDescription(const qte::SampleStore& s, const Bytes& key) {
  for (size_t i = 0; i < s.descriptions.size(); ++i) {
    const Bytes& d = s.descriptions[i];
    if (d.size() >= 16 + key.size() && d[4] == 't' && d[5] == 'e' && d[6] == 'x' && d[7] == 't' &&
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
    std::snprintf(buf, sizeof buf, "0x%X", unsigned((payload[0] << 24) | (payload[1] << 16) | (payload[2] << 8) | payload[3]));
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
    Bytes sample;
    put16(sample, size);
    if (size) sample.insert(sample.end(), text, text + size);
    Bytes payload;
    put16(payload, 1);
    putStyleRun(payload, s);
    putAtom(sample, kTextStyle, payload);
    if (hilite) {
      payload.clear();
      put32(payload, uint32_t(hiliteStart));
      put32(payload, uint32_t(hiliteEnd));
      putAtom(sample, kTextHilite, payload);
    }
    if (rgbHiliteColor) {
      payload.clear();
      putColor(payload, *rgbHiliteColor);
      putAtom(sample, kTextHiliteColor, payload);
    }
    if (textBox) {
      payload.clear();
      putRect(payload, *textBox);
      putAtom(sample, kTextTextBox, payload);
    }
    if (scrollDelay) {
      payload.clear();
      put32(payload, uint32_t(scrollDelay));
      putAtom(sample, kTextScrollDelay, payload);
    }
    for (const auto& [type, data] : h->pending) putAtom(sample, type, data);

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
