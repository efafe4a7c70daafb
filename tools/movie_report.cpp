#include "movie_report.h"

#include "progress.h"
#include "text.h"
#include "times.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace tool {

using rt::Value;

namespace {

int64_t integer(MovieFile& f, const Value& self, const char* member) {
  return f.call(self, member).asInteger();
}

std::string text(MovieFile& f, const Value& self, const char* member) {
  return textOf(f.runtime(), f.call(self, member));
}

double seconds(int64_t time, int64_t scale) { return scale > 0 ? double(time) / double(scale) : 0.0; }

DescriptionInfo describe(MovieFile& f, const Value& d) {
  rt::Runtime& rt = f.runtime();
  DescriptionInfo info;
  info.format = textOf(rt, rt.get(d, "CodecType"));
  const std::string cls = rt.className(d);
  if (cls == "QTVideoSampleDescriptionZQK") {
    info.name = textOf(rt, rt.get(d, "CodecName"));
    info.width = rt.get(d, "Width").asInteger();
    info.height = rt.get(d, "Height").asInteger();
    info.depth = rt.get(d, "Depth").asInteger();
  } else if (cls == "QTSoundSampleDescriptionZQK") {
    info.channels = rt.get(d, "ChannelCount").asInteger();
    info.bitsPerSample = rt.get(d, "SampleSize").asInteger();
    info.sampleRate = rt.get(d, "SampleRate").asDouble();
  } else if (cls == "QTTextSampleDescriptionZQK") {
    info.name = textOf(rt, rt.get(d, "DefaultFontName"));
  }
  return info;
}

uint32_t be32(const std::string& b, size_t at) {
  return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) |
         (uint32_t(uint8_t(b[at + 2])) << 8) | uint8_t(b[at + 3]);
}

// Text a person can read: valid UTF-8 without control characters.
bool printable(const std::string& s) {
  if (!isUtf8(s)) return false;
  for (unsigned char c : s)
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
  return true;
}

// The text records of a '©xxx' entry: 16-bit length, 16-bit language, the text.
// Mac language codes (below 0x400) mean Mac Roman; packed ISO 639 codes mean UTF-8.
std::vector<std::string> textRecords(const std::string& data) {
  std::vector<std::string> texts;
  size_t at = 0;
  while (at + 4 <= data.size()) {
    size_t len = (size_t(uint8_t(data[at])) << 8) | uint8_t(data[at + 1]);
    uint16_t language = uint16_t((uint8_t(data[at + 2]) << 8) | uint8_t(data[at + 3]));
    if (at + 4 + len > data.size()) return {};
    std::string bytes = data.substr(at + 4, len);
    texts.push_back(language < 0x400 ? fromMacRoman(bytes) : validUtf8(bytes));
    at += 4 + len;
  }
  return at == data.size() ? texts : std::vector<std::string>{};
}

std::string typeText(const std::string& fourBytes) { return fromMacRoman(fourBytes); }

// A metadata value as text, read as its well-known data type says.
std::string valueText(const std::string& v, uint32_t dataType) {
  auto integer = [&](bool isSigned) {
    if (v.empty() || v.size() > 8) return "(" + std::to_string(v.size()) + " bytes)";
    uint64_t u = 0;
    for (unsigned char c : v) u = (u << 8) | c;
    if (isSigned && v.size() < 8 && (uint8_t(v[0]) & 0x80)) u |= ~uint64_t(0) << (8 * v.size());
    return isSigned ? std::to_string(int64_t(u)) : std::to_string(u);
  };
  switch (dataType) {
    case 1: return validUtf8(v);
    case 2: return fromUtf16BE(v);
    case 3: return fromMacRoman(v);
    case 13: return "(JPEG image, " + std::to_string(v.size()) + " bytes)";
    case 14: return "(PNG image, " + std::to_string(v.size()) + " bytes)";
    case 27: return "(BMP image, " + std::to_string(v.size()) + " bytes)";
    case 21: return integer(true);
    case 22: return integer(false);
    default: return printable(v) ? v : "(" + std::to_string(v.size()) + " bytes)";
  }
}

std::string clockOf(int64_t time, int64_t scale) { return formatClock(toMilliseconds(time, scale)); }

}  // namespace

Value chapterTrackOf(MovieFile& f) { return f.call(f.movie(), "ChapterTrackZQK"); }

void readMovie(MovieFile& f, MovieReport& report) {
  rt::Runtime& rt = f.runtime();
  report.file = f.path();
  report.timeScale = rt.get(f.movie(), "TimeScale").asInteger();
  report.duration = std::llround(rt.get(f.movie(), "Duration").asDouble() * double(report.timeScale));
}

void readTracks(MovieFile& f, MovieReport& report) {
  rt::Runtime& rt = f.runtime();
  const int64_t count = integer(f, f.movie(), "TrackCountZQK");
  for (int64_t i = 1; i <= count; ++i) {
    Value track = f.call(f.movie(), "GetTrackIndexZQK", {Value::integer(i)});
    if (track.isNil()) continue;
    TrackInfo t;
    t.id = integer(f, track, "TrackID");
    t.type = text(f, track, "MediaType");
    t.enabled = rt.get(track, "TrackEnabled").asBoolean();
    t.duration = integer(f, track, "Duration");
    t.width = integer(f, track, "Width");
    t.height = integer(f, track, "Height");
    t.samples = integer(f, track, "MediaSampleCount");
    t.chapters = f.call(track, "IsChapterTrack").asBoolean();
    const int64_t descriptions = integer(f, track, "MediaSampleDescriptionCount");
    for (int64_t k = 1; k <= descriptions; ++k) {
      Value d = f.call(track, "MediaSampleDescription", {Value::integer(k)});
      if (!d.isNil()) t.descriptions.push_back(describe(f, d));
    }
    report.tracks.push_back(std::move(t));
  }
}

void readChapters(MovieFile& f, MovieReport& report) {
  Value track = chapterTrackOf(f);
  if (track.isNil()) return;
  Progress progress("reading chapters");
  // Chapter by chapter from the first: each step is a search of the track's
  // sample table, so the walk stays linear in the number of chapters.
  for (int64_t t = integer(f, track, "GetFirstChapterTime"); t >= 0;) {
    report.chapters.push_back({t, textOf(f.runtime(), f.call(track, "ChapterText", {Value::integer(t)}))});
    progress.update(int64_t(report.chapters.size()));
    const int64_t next = f.call(track, "GetNextChapterTime", {Value::integer(t)}).asInteger();
    if (next <= t) break;
    t = next;
  }
}

void readTimeCode(MovieFile& f, MovieReport& report) {
  rt::Runtime& rt = f.runtime();
  if (!f.call(f.movie(), "HasTimeCodeTrackZQK").asBoolean()) return;
  const int64_t count = integer(f, f.movie(), "TrackCountZQK");
  for (int64_t i = 1; i <= count; ++i) {
    Value track = f.call(f.movie(), "GetTrackIndexZQK", {Value::integer(i)});
    if (track.isNil() || text(f, track, "MediaType") != "tmcd") continue;
    TimeCodeInfo tc;
    tc.trackId = integer(f, track, "TrackID");
    // What a file keeps of "show the time code" is the track's enabled state.
    tc.shown = rt.get(track, "TrackEnabled").asBoolean();
    Value first = f.call(track, "TimeCodeAtTime", {Value::integer(0)});
    if (!first.isNil()) {
      tc.start = textOf(rt, f.call(track, "TimeCodeToString", {first}));
      tc.timeScale = rt.get(first, "TimeScale").asInteger();
      tc.frameDuration = rt.get(first, "FrameDuration").asInteger();
      tc.framesPerSecond = rt.get(first, "NumberOfFrames").asInteger();
      tc.dropFrame = rt.get(first, "DropFrames").asBoolean();
      tc.source = textOf(rt, rt.get(first, "SourceName"));
    }
    report.timeCode = std::move(tc);
    return;
  }
}

void readUserData(MovieFile& f, MovieReport& report) {
  rt::Runtime& rt = f.runtime();
  Value list = f.call(f.movie(), "UserDataZQK");
  if (list.isNil()) return;
  Value flat = rt.get(list, "BinaryData");
  const std::string bytes = flat.isNil() ? std::string() : rt.bytes(flat);
  // The list as a run of atoms: size, type, data.
  for (size_t at = 0; at + 8 <= bytes.size();) {
    const uint32_t size = be32(bytes, at);
    if (size < 8 || size > bytes.size() - at) break;
    UserDataInfo entry;
    entry.type = typeText(bytes.substr(at + 4, 4));
    const std::string data = bytes.substr(at + 8, size - 8);
    entry.size = int64_t(data.size());
    if (uint8_t(bytes[at + 4]) == 0xA9)
      entry.texts = textRecords(data);
    else if (!data.empty() && printable(data))
      entry.texts.push_back(data);
    report.userData.push_back(std::move(entry));
    at += size;
  }
}

void readMetadata(MovieFile& f, MovieReport& report) {
  rt::Runtime& rt = f.runtime();
  Value container = f.call(f.movie(), "MetaDataZQK");
  if (container.isNil()) return;
  auto property = [&](const Value& item, const char* member, const char* id) {
    Value v = f.call(item, member, {rt.string(id)});
    return v.isNil() ? std::string() : rt.bytes(v);
  };
  for (Value item = f.call(container, "FirstItem"); !item.isNil(); item = f.call(container, "NextItem")) {
    MetadataInfo m;
    m.storage = typeText(property(item, "GetPropertyCode", "sfmt"));
    const std::string keyFormat = property(item, "GetPropertyCode", "keyf");
    // Reverse-DNS keys are text; the other key formats hold four-character codes.
    const bool textKey = keyFormat == "mdta" || keyFormat == "itlk";
    m.key = textKey ? validUtf8(property(item, "GetPropertyString", "key ")) : typeText(property(item, "GetPropertyCode", "key "));
    uint32_t dataType = 0;
    const std::string typeBytes = property(item, "GetPropertyMemory", "dtyp");
    if (typeBytes.size() == sizeof dataType) std::memcpy(&dataType, typeBytes.data(), sizeof dataType);
    m.dataType = dataType;
    Value value = f.call(item, "GetString");
    m.value = valueText(value.isNil() ? std::string() : rt.bytes(value), dataType);
    report.metadata.push_back(std::move(m));
  }
}

// ---- text ----

void printTracks(std::ostream& out, const MovieReport& r) {
  char line[256];
  std::snprintf(line, sizeof line, "%s\n  duration %s (%lld in time scale %lld), %zu track%s\n", r.file.c_str(),
                clockOf(r.duration, r.timeScale).c_str(), static_cast<long long>(r.duration),
                static_cast<long long>(r.timeScale), r.tracks.size(), r.tracks.size() == 1 ? "" : "s");
  out << line;
  for (const TrackInfo& t : r.tracks) {
    std::snprintf(line, sizeof line, "  track %lld: %s, %s, %s, %lld x %lld, %lld sample%s%s\n",
                  static_cast<long long>(t.id), t.type.c_str(), t.enabled ? "enabled" : "disabled",
                  clockOf(t.duration, r.timeScale).c_str(), static_cast<long long>(t.width),
                  static_cast<long long>(t.height), static_cast<long long>(t.samples), t.samples == 1 ? "" : "s",
                  t.chapters ? ", chapters" : "");
    out << line;
    for (const DescriptionInfo& d : t.descriptions) {
      out << "    " << d.format;
      if (!d.name.empty()) out << " \"" << d.name << '"';
      if (d.width || d.height) out << ", " << d.width << " x " << d.height;
      if (d.depth) out << ", depth " << d.depth;
      if (d.channels) {
        std::snprintf(line, sizeof line, ", %lld channel%s, %lld bits, %g Hz", static_cast<long long>(d.channels),
                      d.channels == 1 ? "" : "s", static_cast<long long>(d.bitsPerSample), d.sampleRate);
        out << line;
      }
      out << '\n';
    }
  }
}

void printChapterList(std::ostream& out, const MovieReport& r, const char* indent) {
  for (const ChapterInfo& c : r.chapters) {
    // One chapter a line, as lists are read back: line breaks in a title become spaces.
    std::string title = c.title;
    for (char& ch : title)
      if (ch == '\n' || ch == '\r') ch = ' ';
    out << indent << clockOf(c.start, r.timeScale) << ' ' << title << '\n';
  }
}

void printTimeCode(std::ostream& out, const MovieReport& r) {
  if (!r.timeCode) {
    out << "no time code\n";
    return;
  }
  const TimeCodeInfo& tc = *r.timeCode;
  char rate[32];
  std::snprintf(rate, sizeof rate, "%g", tc.frameDuration ? double(tc.timeScale) / double(tc.frameDuration) : 0.0);
  out << tc.start << " (" << rate << " fps" << (tc.dropFrame ? " drop frame" : "") << ", track " << tc.trackId
      << ", " << (tc.shown ? "shown" : "hidden");
  if (!tc.source.empty()) out << ", source \"" << tc.source << '"';
  out << ")\n";
}

void printUserData(std::ostream& out, const MovieReport& r, const char* indent) {
  for (const UserDataInfo& u : r.userData) {
    out << indent << u.type;
    if (u.texts.empty()) out << "  (" << u.size << " bytes)";
    for (const std::string& t : u.texts) out << "  " << t;
    out << '\n';
  }
}

void printMetadata(std::ostream& out, const MovieReport& r, const char* indent) {
  for (const MetadataInfo& m : r.metadata) out << indent << m.storage << "  " << m.key << "  " << m.value << '\n';
}

// ---- JSON ----

void jsonMovie(JsonWriter& json, const MovieReport& r) {
  json.member("file", r.file).member("timeScale", r.timeScale).member("duration", r.duration);
  json.member("durationSeconds", seconds(r.duration, r.timeScale));
}

void jsonTracks(JsonWriter& json, const MovieReport& r) {
  json.key("tracks").beginArray();
  for (const TrackInfo& t : r.tracks) {
    json.beginObject()
        .member("id", t.id)
        .member("type", t.type)
        .member("enabled", t.enabled)
        .member("duration", t.duration)
        .member("durationSeconds", seconds(t.duration, r.timeScale))
        .member("width", t.width)
        .member("height", t.height)
        .member("samples", t.samples)
        .member("chapterTrack", t.chapters);
    json.key("sampleDescriptions").beginArray();
    for (const DescriptionInfo& d : t.descriptions) {
      json.beginObject().member("format", d.format);
      if (!d.name.empty()) json.member("name", d.name);
      if (d.width || d.height) json.member("width", d.width).member("height", d.height);
      if (d.depth) json.member("depth", d.depth);
      if (d.channels)
        json.member("channels", d.channels).member("bitsPerSample", d.bitsPerSample).member("sampleRate", d.sampleRate);
      json.endObject();
    }
    json.endArray().endObject();
  }
  json.endArray();
}

void jsonChapters(JsonWriter& json, const MovieReport& r) {
  json.key("chapters").beginArray();
  for (const ChapterInfo& c : r.chapters)
    json.beginObject()
        .member("start", c.start)
        .member("startSeconds", seconds(c.start, r.timeScale))
        .member("title", c.title)
        .endObject();
  json.endArray();
}

void jsonTimeCode(JsonWriter& json, const MovieReport& r) {
  json.key("timeCode");
  if (!r.timeCode) {
    json.null();
    return;
  }
  const TimeCodeInfo& tc = *r.timeCode;
  json.beginObject()
      .member("start", tc.start)
      .member("track", tc.trackId)
      .member("timeScale", tc.timeScale)
      .member("frameDuration", tc.frameDuration)
      .member("framesPerSecond", tc.framesPerSecond)
      .member("dropFrame", tc.dropFrame)
      .member("shown", tc.shown)
      .member("source", tc.source)
      .endObject();
}

void jsonUserData(JsonWriter& json, const MovieReport& r) {
  json.key("userData").beginArray();
  for (const UserDataInfo& u : r.userData) {
    json.beginObject().member("type", u.type).member("size", u.size).key("texts").beginArray();
    for (const std::string& t : u.texts) json.value(t);
    json.endArray().endObject();
  }
  json.endArray();
}

void jsonMetadata(JsonWriter& json, const MovieReport& r) {
  json.key("metadata").beginArray();
  for (const MetadataInfo& m : r.metadata)
    json.beginObject()
        .member("storage", m.storage)
        .member("key", m.key)
        .member("value", m.value)
        .member("dataType", m.dataType)
        .endObject();
  json.endArray();
}

}  // namespace tool
