// Audio channel layouts: the record sound tracks describe their channels with, and
// the 'audi' properties that carry it. In memory the record is in the machine's byte
// order; a movie file stores it big-endian in the sound description's 'chan' atom.
#pragma once

#include <MacTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef UInt32 AudioChannelLayoutTag;
typedef UInt32 AudioChannelLabel;
typedef UInt32 AudioChannelBitmap;
typedef UInt32 AudioChannelFlags;

typedef struct AudioChannelDescription {
  AudioChannelLabel mChannelLabel;
  AudioChannelFlags mChannelFlags;
  Float32 mCoordinates[3];
} AudioChannelDescription;

// mNumberChannelDescriptions descriptions follow the header; the declared array
// holds one, so the size of a record is offsetof(mChannelDescriptions) + 20 × count.
typedef struct AudioChannelLayout {
  AudioChannelLayoutTag mChannelLayoutTag;
  AudioChannelBitmap mChannelBitmap;
  UInt32 mNumberChannelDescriptions;
  AudioChannelDescription mChannelDescriptions[1];
} AudioChannelLayout;

enum {
  kAudioChannelLayoutHeaderSize = 12,
  kAudioChannelDescriptionSize = 20,
};

// Track and movie properties of class kQTPropertyClass_Audio ('audi'). A sound track
// without a 'chan' shows mono or stereo by its channel count (more: discrete channels
// in order); one without descriptions or a layout set answers kQTPropertyAskLaterErr.
// The movie's summary covers its enabled sound tracks: their layout when they agree,
// else each channel label of any of them once, as channel descriptions.
enum {
  kQTAudioPropertyID_ChannelLayout = FOUR_CHAR_CODE('t', 'l', 'a', 'y'),         // sound track, read and write
  kQTAudioPropertyID_SummaryChannelLayout = FOUR_CHAR_CODE('c', 'l', 'a', 'y'),  // movie, read only
  kQTPropertyValueType_AudioChannelLayout = FOUR_CHAR_CODE('c', 'l', 'a', 'y'),
};

// Layout tags: the layout in the high 16 bits, the channel count in the low 16.
enum {
  kAudioChannelLayoutTag_UseChannelDescriptions = (0u << 16) | 0,
  kAudioChannelLayoutTag_UseChannelBitmap = (1u << 16) | 0,
  kAudioChannelLayoutTag_Mono = (100u << 16) | 1,
  kAudioChannelLayoutTag_Stereo = (101u << 16) | 2,
  kAudioChannelLayoutTag_StereoHeadphones = (102u << 16) | 2,
  kAudioChannelLayoutTag_Quadraphonic = (108u << 16) | 4,
  kAudioChannelLayoutTag_MPEG_3_0_A = (113u << 16) | 3,  // L R C
  kAudioChannelLayoutTag_MPEG_3_0_B = (114u << 16) | 3,  // C L R
  kAudioChannelLayoutTag_MPEG_4_0_A = (115u << 16) | 4,  // L R C Cs
  kAudioChannelLayoutTag_MPEG_4_0_B = (116u << 16) | 4,  // C L R Cs
  kAudioChannelLayoutTag_MPEG_5_0_A = (117u << 16) | 5,  // L R C Ls Rs
  kAudioChannelLayoutTag_MPEG_5_0_B = (118u << 16) | 5,  // L R Ls Rs C
  kAudioChannelLayoutTag_MPEG_5_0_C = (119u << 16) | 5,  // L C R Ls Rs
  kAudioChannelLayoutTag_MPEG_5_0_D = (120u << 16) | 5,  // C L R Ls Rs
  kAudioChannelLayoutTag_MPEG_5_1_A = (121u << 16) | 6,  // L R C LFE Ls Rs
  kAudioChannelLayoutTag_MPEG_5_1_B = (122u << 16) | 6,  // L R Ls Rs C LFE
  kAudioChannelLayoutTag_MPEG_5_1_C = (123u << 16) | 6,  // L C R Ls Rs LFE
  kAudioChannelLayoutTag_MPEG_5_1_D = (124u << 16) | 6,  // C L R Ls Rs LFE
  kAudioChannelLayoutTag_MPEG_6_1_A = (125u << 16) | 7,  // L R C LFE Ls Rs Cs
  kAudioChannelLayoutTag_MPEG_7_1_A = (126u << 16) | 8,  // L R C LFE Ls Rs Lc Rc
  kAudioChannelLayoutTag_MPEG_7_1_B = (127u << 16) | 8,  // C Lc Rc L R Ls Rs LFE
  kAudioChannelLayoutTag_MPEG_7_1_C = (128u << 16) | 8,  // L R C LFE Ls Rs Rls Rrs
  kAudioChannelLayoutTag_ITU_2_1 = (131u << 16) | 3,     // L R Cs
  kAudioChannelLayoutTag_ITU_2_2 = (132u << 16) | 4,     // L R Ls Rs
  kAudioChannelLayoutTag_DiscreteInOrder = (147u << 16) | 0,  // | the channel count
  kAudioChannelLayoutTag_Unknown = 0xFFFF0000u,
};

// Channel bitmap bits (with kAudioChannelLayoutTag_UseChannelBitmap): bit i is label i + 1.
enum {
  kAudioChannelBit_Left = 1u << 0,
  kAudioChannelBit_Right = 1u << 1,
  kAudioChannelBit_Center = 1u << 2,
  kAudioChannelBit_LFEScreen = 1u << 3,
  kAudioChannelBit_LeftSurround = 1u << 4,
  kAudioChannelBit_RightSurround = 1u << 5,
  kAudioChannelBit_LeftCenter = 1u << 6,
  kAudioChannelBit_RightCenter = 1u << 7,
  kAudioChannelBit_CenterSurround = 1u << 8,
  kAudioChannelBit_LeftSurroundDirect = 1u << 9,
  kAudioChannelBit_RightSurroundDirect = 1u << 10,
  kAudioChannelBit_TopCenterSurround = 1u << 11,
  kAudioChannelBit_VerticalHeightLeft = 1u << 12,
  kAudioChannelBit_VerticalHeightCenter = 1u << 13,
  kAudioChannelBit_VerticalHeightRight = 1u << 14,
  kAudioChannelBit_TopBackLeft = 1u << 15,
  kAudioChannelBit_TopBackCenter = 1u << 16,
  kAudioChannelBit_TopBackRight = 1u << 17,
};

enum {
  kAudioChannelLabel_Unknown = 0xFFFFFFFFu,
  kAudioChannelLabel_Unused = 0,
  kAudioChannelLabel_UseCoordinates = 100,
  kAudioChannelLabel_Left = 1,
  kAudioChannelLabel_Right = 2,
  kAudioChannelLabel_Center = 3,
  kAudioChannelLabel_LFEScreen = 4,
  kAudioChannelLabel_LeftSurround = 5,
  kAudioChannelLabel_RightSurround = 6,
  kAudioChannelLabel_LeftCenter = 7,
  kAudioChannelLabel_RightCenter = 8,
  kAudioChannelLabel_CenterSurround = 9,
  kAudioChannelLabel_LeftSurroundDirect = 10,
  kAudioChannelLabel_RightSurroundDirect = 11,
  kAudioChannelLabel_TopCenterSurround = 12,
  kAudioChannelLabel_VerticalHeightLeft = 13,
  kAudioChannelLabel_VerticalHeightCenter = 14,
  kAudioChannelLabel_VerticalHeightRight = 15,
  kAudioChannelLabel_TopBackLeft = 16,
  kAudioChannelLabel_TopBackCenter = 17,
  kAudioChannelLabel_TopBackRight = 18,
  kAudioChannelLabel_RearSurroundLeft = 33,
  kAudioChannelLabel_RearSurroundRight = 34,
  kAudioChannelLabel_LeftWide = 35,
  kAudioChannelLabel_RightWide = 36,
  kAudioChannelLabel_LFE2 = 37,
  kAudioChannelLabel_LeftTotal = 38,
  kAudioChannelLabel_RightTotal = 39,
  kAudioChannelLabel_Mono = 42,
  kAudioChannelLabel_HeadphonesLeft = 301,
  kAudioChannelLabel_HeadphonesRight = 302,
  kAudioChannelLabel_Discrete = 400,
  kAudioChannelLabel_Discrete_0 = (1u << 16) | 0,  // | the channel number
};

enum {
  kAudioChannelFlags_AllOff = 0,
  kAudioChannelFlags_RectangularCoordinates = 1u << 0,
  kAudioChannelFlags_SphericalCoordinates = 1u << 1,
  kAudioChannelFlags_Meters = 1u << 2,
};

#ifdef __cplusplus
}
#endif
