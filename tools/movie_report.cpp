#include "movie_report.h"

#include "chapters.h"
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

// Text a person can read: valid UTF-8 without control characters.
bool printable(const std::string& s) {
  if (!isUtf8(s)) return false;
  for (unsigned char c : s)
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
  return true;
}

// The texts of a '©xxx' entry, one per language: records of a 16-bit length, a
// 16-bit language and the text. GetText answers for a language named up front,
// so listing every language means reading the records. Mac language codes
// (below 0x400) mean Mac Roman; packed ISO 639 codes mean UTF-8.
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
  const Value one = Value::integer(1);
  const rt::Member trackAt = f.member("movie", "GetTrackIndexZQK", {one});
  auto track = [&](const char* name, std::initializer_list<Value> like = {}) {
    return f.member("QTTrackZQK", name, like);
  };
  const rt::Member id = track("TrackID"), type = track("MediaType"), enabled = track("TrackEnabled"),
                   duration = track("Duration"), width = track("Width"), height = track("Height"),
                   samples = track("MediaSampleCount"), isChapters = track("IsChapterTrack"),
                   descriptions = track("MediaSampleDescriptionCount"),
                   description = track("MediaSampleDescription", {one});
  for (int64_t i = 1; i <= count; ++i) {
    Value t = f.call(trackAt, f.movie(), {Value::integer(i)});
    if (t.isNil()) continue;
    TrackInfo info;
    info.id = f.call(id, t).asInteger();
    info.type = textOf(rt, f.call(type, t));
    info.enabled = f.call(enabled, t).asBoolean();
    info.duration = f.call(duration, t).asInteger();
    info.width = f.call(width, t).asInteger();
    info.height = f.call(height, t).asInteger();
    info.samples = f.call(samples, t).asInteger();
    info.chapters = f.call(isChapters, t).asBoolean();
    const int64_t n = f.call(descriptions, t).asInteger();
    for (int64_t k = 1; k <= n; ++k) {
      Value d = f.call(description, t, {Value::integer(k)});
      if (!d.isNil()) info.descriptions.push_back(describe(f, d));
    }
    report.tracks.push_back(std::move(info));
  }
}

void readChapters(MovieFile& f, MovieReport& report) { report.chapters = chaptersOf(f, f.movie()); }

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
    // The time code shown at the movie's start, where the movie opens: after a
    // trim that is the first kept frame's, not the media's first.
    Value first = f.call(track, "CurrentTimeCode");
    if (first.isNil()) first = f.call(track, "TimeCodeAtTime", {Value::integer(0)});
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
  const Value anyType = rt.string("    ");
  const rt::Member nextType = f.member("QTUserDataZQK", "GetNextType", {anyType}),
                   countType = f.member("QTUserDataZQK", "CountType", {anyType}),
                   data = f.member("QTUserDataZQK", "GetData", {anyType, Value::integer(1)});
  // Type by type, in the order each first appears; the entries of a type in order.
  for (Value type = f.call(nextType, list, {Value()}); !type.isNil(); type = f.call(nextType, list, {type})) {
    const std::string code = rt.bytes(type);
    const int64_t count = f.call(countType, list, {type}).asInteger();
    for (int64_t i = 1; i <= count; ++i) {
      Value bytes = f.call(data, list, {type, Value::integer(i)});
      const std::string entryData = bytes.isNil() ? std::string() : rt.bytes(bytes);
      UserDataInfo entry;
      entry.type = typeText(code);
      entry.size = int64_t(entryData.size());
      if (!code.empty() && uint8_t(code[0]) == 0xA9)
        entry.texts = textRecords(entryData);
      else if (!entryData.empty() && printable(entryData))
        entry.texts.push_back(entryData);
      report.userData.push_back(std::move(entry));
    }
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
