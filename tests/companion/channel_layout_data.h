// The instance data of the audio channel layout classes, in the order every plugin
// that reaches them expects: the block starts 24 bytes past the object reference,
// the first (and only) class in each chain.
#pragma once

#include <pelorin/sdk.h>

#include <cstdint>

constexpr int kChannelDescriptionSlots = 64;

// QTAudioChannelLayoutZQK
struct ChannelLayoutData {
  uint32_t layoutTag;
  uint32_t channelBitmap;
  int32_t descriptionCount;  // may say more than the slots hold, or be negative
  REALobject descriptions[kChannelDescriptionSlots];  // each nil or holding one lock
};

// QTAudioChannelDescriptionZQK
struct ChannelDescriptionData {
  uint32_t label;
  uint32_t flags;
  double coordinates[3];
};

static_assert(sizeof(ChannelLayoutData) == (sizeof(void*) == 8 ? 16 : 12) + kChannelDescriptionSlots * sizeof(void*));
static_assert(sizeof(ChannelDescriptionData) == 32);
