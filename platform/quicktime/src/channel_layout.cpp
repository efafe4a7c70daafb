// Channel layouts in the forms the track and movie properties, the model and the
// sound description's 'chan' atom use.
#include "channel_layout.h"

#include "file/atoms.h"

#include <QuickTime/AudioLayout.h>

#include <algorithm>
#include <cstring>

namespace qte {

namespace {

using file::get16;
using file::get32;
using file::put32;

constexpr size_t kNoExtensions = SIZE_MAX;

struct Channel {
  uint32_t label;
  uint8_t rest[16];  // flags and coordinates, big-endian, as the record holds them
};

// Where a sound description's extension atoms start: after the version 0 fields,
// or the version 1 or 2 fields that follow them.
size_t extensionsAt(const Bytes& desc) {
  if (desc.size() < 36) return kNoExtensions;
  uint16_t version = get16(desc.data() + 16);
  size_t at = version == 1 ? 52 : version == 2 ? 72 : 36;
  return at <= desc.size() ? at : kNoExtensions;
}

// The well-formed extension atoms from `at` on.
std::vector<file::Atom> extensions(const Bytes& desc, size_t at) {
  return file::wellFormedAtoms(desc.data() + at, desc.size() - at, at);
}

// The record of a 'chan' atom's payload (after version and flags), trimmed to the
// descriptions it counts; empty when it cannot hold them.
Bytes recordOf(const uint8_t* p, size_t n) {
  if (n < 4 + kAudioChannelLayoutHeaderSize) return {};
  const uint8_t* r = p + 4;
  uint64_t need = kAudioChannelLayoutHeaderSize + uint64_t(get32(r + 8)) * kAudioChannelDescriptionSize;
  if (need > n - 4) return {};
  return Bytes(r, r + need);
}

Bytes chanRecord(const Bytes& desc) {
  size_t at = extensionsAt(desc);
  if (at == kNoExtensions) return {};
  Bytes out;
  for (const file::Atom& a : extensions(desc, at))
    if (a.type == "chan"_4cc && out.empty()) out = recordOf(a.payload(), a.payloadSize());
  return out;
}

Bytes makeLayout(uint32_t tag, uint32_t bitmap, const std::vector<Channel>& channels) {
  Bytes b;
  put32(b, tag);
  put32(b, bitmap);
  put32(b, uint32_t(channels.size()));
  for (const Channel& c : channels) {
    put32(b, c.label);
    b.insert(b.end(), c.rest, c.rest + sizeof c.rest);
  }
  return b;
}

Channel labelled(uint32_t label) {
  Channel c{label, {}};
  return c;
}

// Channel labels of the layout tags that name their channels in order.
std::vector<uint32_t> labelsOfTag(uint32_t tag) {
  enum : uint32_t { L = 1, R = 2, C = 3, LFE = 4, Ls = 5, Rs = 6, Lc = 7, Rc = 8, Cs = 9, Rls = 33, Rrs = 34 };
  switch (tag) {
    case kAudioChannelLayoutTag_Mono: return {kAudioChannelLabel_Mono};
    case kAudioChannelLayoutTag_Stereo: return {L, R};
    case kAudioChannelLayoutTag_StereoHeadphones:
      return {kAudioChannelLabel_HeadphonesLeft, kAudioChannelLabel_HeadphonesRight};
    case kAudioChannelLayoutTag_Quadraphonic: return {L, R, Ls, Rs};
    case kAudioChannelLayoutTag_MPEG_3_0_A: return {L, R, C};
    case kAudioChannelLayoutTag_MPEG_3_0_B: return {C, L, R};
    case kAudioChannelLayoutTag_MPEG_4_0_A: return {L, R, C, Cs};
    case kAudioChannelLayoutTag_MPEG_4_0_B: return {C, L, R, Cs};
    case kAudioChannelLayoutTag_MPEG_5_0_A: return {L, R, C, Ls, Rs};
    case kAudioChannelLayoutTag_MPEG_5_0_B: return {L, R, Ls, Rs, C};
    case kAudioChannelLayoutTag_MPEG_5_0_C: return {L, C, R, Ls, Rs};
    case kAudioChannelLayoutTag_MPEG_5_0_D: return {C, L, R, Ls, Rs};
    case kAudioChannelLayoutTag_MPEG_5_1_A: return {L, R, C, LFE, Ls, Rs};
    case kAudioChannelLayoutTag_MPEG_5_1_B: return {L, R, Ls, Rs, C, LFE};
    case kAudioChannelLayoutTag_MPEG_5_1_C: return {L, C, R, Ls, Rs, LFE};
    case kAudioChannelLayoutTag_MPEG_5_1_D: return {C, L, R, Ls, Rs, LFE};
    case kAudioChannelLayoutTag_MPEG_6_1_A: return {L, R, C, LFE, Ls, Rs, Cs};
    case kAudioChannelLayoutTag_MPEG_7_1_A: return {L, R, C, LFE, Ls, Rs, Lc, Rc};
    case kAudioChannelLayoutTag_MPEG_7_1_B: return {C, Lc, Rc, L, R, Ls, Rs, LFE};
    case kAudioChannelLayoutTag_MPEG_7_1_C: return {L, R, C, LFE, Ls, Rs, Rls, Rrs};
    case kAudioChannelLayoutTag_ITU_2_1: return {L, R, Cs};
    case kAudioChannelLayoutTag_ITU_2_2: return {L, R, Ls, Rs};
    default: break;
  }
  std::vector<uint32_t> labels;
  if ((tag & 0xFFFF0000u) == kAudioChannelLayoutTag_DiscreteInOrder) {
    for (uint32_t i = 0; i < (tag & 0xFFFF); ++i) labels.push_back(kAudioChannelLabel_Discrete_0 | i);
  } else if (tag != kAudioChannelLayoutTag_Unknown) {
    labels.assign(tag & 0xFFFF, kAudioChannelLabel_Unknown);
  }
  return labels;
}

// A layout's channels one by one, whichever way it describes them.
std::vector<Channel> channelsOf(const Bytes& layout) {
  uint32_t tag = get32(layout.data()), bitmap = get32(layout.data() + 4);
  std::vector<Channel> out;
  if (tag == kAudioChannelLayoutTag_UseChannelDescriptions) {
    for (size_t at = kAudioChannelLayoutHeaderSize; at < layout.size(); at += kAudioChannelDescriptionSize) {
      Channel c{get32(layout.data() + at), {}};
      std::memcpy(c.rest, layout.data() + at + 4, sizeof c.rest);
      out.push_back(c);
    }
  } else if (tag == kAudioChannelLayoutTag_UseChannelBitmap) {
    for (uint32_t bit = 0; bit < 32; ++bit)
      if (bitmap & (1u << bit)) out.push_back(labelled(bit <= 17 ? bit + 1 : kAudioChannelLabel_Unknown));
  } else {
    for (uint32_t label : labelsOfTag(tag)) out.push_back(labelled(label));
  }
  return out;
}

bool namesPlace(uint32_t label) {
  return label != kAudioChannelLabel_Unknown && label != kAudioChannelLabel_Unused &&
         label != kAudioChannelLabel_UseCoordinates;
}

}  // namespace

Bytes layoutOfMedia(const Media& media) {
  if (!media.channelLayout.empty()) return media.channelLayout;
  const auto& descs = media.samples().descriptions;
  if (descs.empty()) return {};
  const Bytes& desc = descs.front();
  Bytes chan = chanRecord(desc);
  if (!chan.empty() || desc.size() < 36) return chan;
  uint32_t channels = get16(desc.data() + 16) == 2 && desc.size() >= 52 ? get32(desc.data() + 48)
                                                                         : get16(desc.data() + 24);
  if (channels == 0 || channels > 0xFFFF) return {};
  uint32_t tag = channels == 1   ? uint32_t(kAudioChannelLayoutTag_Mono)
                 : channels == 2 ? uint32_t(kAudioChannelLayoutTag_Stereo)
                                 : kAudioChannelLayoutTag_DiscreteInOrder | channels;
  return makeLayout(tag, 0, {});
}

Bytes withChannelLayout(const Bytes& desc, const Bytes& layout) {
  size_t at = extensionsAt(desc);
  if (at == kNoExtensions) return desc;
  auto putChan = [&layout](Bytes& b) {
    file::AtomScope chan(b, "chan"_4cc);
    file::putFullHeader(b, 0, 0);
    file::putBytes(b, layout);
  };
  Bytes out;
  {
    // The entry is laid out as an atom: its size, then its format.
    file::AtomScope entry(out, get32(desc.data() + 4));
    out.insert(out.end(), desc.begin() + 8, desc.begin() + std::ptrdiff_t(at));
    bool placed = false;
    size_t end = at;
    for (const file::Atom& a : extensions(desc, at)) {
      if (a.type != "chan"_4cc) out.insert(out.end(), a.start, a.start + a.size);
      else if (!placed) putChan(out);
      placed = placed || a.type == "chan"_4cc;
      end = a.offset + a.size;
    }
    if (!placed) putChan(out);
    out.insert(out.end(), desc.begin() + std::ptrdiff_t(end), desc.end());
  }
  return out;
}

Bytes summaryLayout(const Movie& movie) {
  std::vector<Bytes> layouts;
  for (const auto& t : movie.tracks) {
    if (!t->enabled || !t->media || t->media->type != SoundMediaType) continue;
    Bytes l = layoutOfMedia(*t->media);
    if (!l.empty()) layouts.push_back(std::move(l));
  }
  if (layouts.empty()) return {};
  if (std::all_of(layouts.begin(), layouts.end(), [&](const Bytes& l) { return l == layouts.front(); }))
    return layouts.front();
  std::vector<Channel> channels;
  for (const Bytes& l : layouts) {
    for (const Channel& c : channelsOf(l)) {
      bool seen = namesPlace(c.label) &&
                  std::any_of(channels.begin(), channels.end(), [&](const Channel& s) { return s.label == c.label; });
      if (!seen) channels.push_back(c);
    }
  }
  return makeLayout(kAudioChannelLayoutTag_UseChannelDescriptions, 0, channels);
}

bool layoutFromNative(const void* native, size_t size, Bytes& out) {
  if (size < kAudioChannelLayoutHeaderSize) return false;
  const auto* p = static_cast<const uint8_t*>(native);
  auto word = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, p + at, 4);
    return v;
  };
  uint32_t n = word(8);
  if ((size - kAudioChannelLayoutHeaderSize) / kAudioChannelDescriptionSize < n) return false;
  out.clear();
  size_t words = 3 + size_t(n) * 5;
  for (size_t i = 0; i < words; ++i) put32(out, word(4 * i));  // the floats too: their bits
  return true;
}

Bytes layoutToNative(const Bytes& layout) {
  Bytes out(layout.size());
  for (size_t at = 0; at + 4 <= layout.size(); at += 4) {
    uint32_t v = get32(layout.data() + at);
    std::memcpy(out.data() + at, &v, 4);
  }
  return out;
}

}  // namespace qte

namespace qte {

void layoutPropertyInfo(const Bytes& layout, UInt32 flags, QTPropertyValueType* type, ByteCount* size,
                        UInt32* outFlags) {
  if (type) *type = kQTPropertyValueType_AudioChannelLayout;
  if (size) *size = ByteCount(layout.size());
  if (outFlags) *outFlags = flags;
}

OSErr copyLayoutProperty(const Bytes& layout, ByteCount size, QTPropertyValuePtr out, ByteCount* used) {
  if (!out) return paramErr;
  if (size < layout.size()) return kQTPropertyBadValueSizeErr;
  Bytes native = layoutToNative(layout);
  std::memcpy(out, native.data(), native.size());
  if (used) *used = ByteCount(native.size());
  return noErr;
}

}  // namespace qte
