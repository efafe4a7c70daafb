// Audio channel layouts between their three forms: the native record the properties
// carry, the big-endian record of a 'chan' atom (what the model keeps) and the
// 'chan' atom among a sound description's extensions.
#pragma once

#include "model.h"

namespace qte {

// The file-form layout a sound media shows: the one set on it, else its first
// description's 'chan', else one made from that description's channel count
// (mono, stereo, or discrete channels in order). Empty when there is none.
Bytes layoutOfMedia(const Media& media);

// `desc` (a sound description) with a 'chan' atom holding `layout`: replacing the
// one it has, or added after its other extensions.
Bytes withChannelLayout(const Bytes& desc, const Bytes& layout);

// The summary of a movie's layouts, over its enabled sound tracks that have one:
// that layout when they all agree, otherwise a layout by channel descriptions with
// each channel label of any of them once, in order of first appearance. Channels
// that name no place (unknown, unused, by coordinates, or of a tag this engine
// cannot expand) are each kept as they are. Empty when no track has a layout.
Bytes summaryLayout(const Movie& movie);

// Native record of `size` bytes → file form; false when the size cannot hold the
// header and the descriptions it counts. Bytes past them are ignored.
bool layoutFromNative(const void* native, size_t size, Bytes& out);
// File form → native record (the same length).
Bytes layoutToNative(const Bytes& layout);

}  // namespace qte

namespace qte {

// The 'audi' layout properties over a layout in file form; empty layouts are
// answered by the caller. Values go out as the native record.
void layoutPropertyInfo(const Bytes& layout, UInt32 flags, QTPropertyValueType* type, ByteCount* size,
                        UInt32* outFlags);
OSErr copyLayoutProperty(const Bytes& layout, ByteCount size, QTPropertyValuePtr out, ByteCount* used);

}  // namespace qte
