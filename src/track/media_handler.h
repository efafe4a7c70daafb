// Track members that reach through the track to its media and media handler:
// media edits and facts, data references as folder items, raw samples, and the
// controls of the sound and video media handlers. Listed in track_table.cpp.
//
// Media and handler are looked up for every call and never kept: the track's
// media can be replaced or disposed of between two calls.
#pragma once

#include <pelorin/sdk.h>

// ---- media edits and facts ----
void rbBeginMediaEdits(REALobject instance);
void rbEndMediaEdits(REALobject instance);
void rbDisposeTrackMedia(REALobject instance);
REALstring GetMediaType(REALobject instance);
RBInteger rbGetMediaSampleCount(REALobject instance);
RBInteger rbGetMediaSampleDescriptionCount(REALobject instance);

// ---- data references ----
RBInteger rbGetMediaDataRefCount(REALobject instance);
REALfolderItem rbGetMediaDataRef(REALobject instance, RBInteger index);
REALstring rbGetMediaDataRefAlias(REALobject instance, RBInteger index);
RBInteger rbSetMediaDataRef(REALobject instance, RBInteger index, REALfolderItem file);

// ---- samples ----
bool rbGetMediaSample(REALobject instance, REALmemoryBlock* data, RBInteger* time, RBInteger* durationPerSample,
                      REALmemoryBlock* description, RBInteger* sampleDescriptionIndex, RBInteger maxNumberOfSample,
                      RBInteger* numberOfSamples, RBInteger* flags);

// ---- sound ----
RBInteger SetSoundEqualizerBands(REALobject instance, RBInteger count, REALmemoryBlock values);
RBInteger SetDefaultSoundEqualizerBands(REALobject instance);
REALmemoryBlock GetSoundEqualizerBandLevels(REALobject instance, RBInteger count);
RBInteger GetMediaHandlerBalance(REALobject instance);
void SetMediaHandlerBalance(REALobject instance, RBInteger value);
RBInteger GetSoundTrackOutputComponent(REALobject instance);
void SetSoundTrackOutputComponent(REALobject instance, RBInteger value);
RBInteger rbMediaGetEffectiveSoundBalance(REALobject instance);
RBInteger rbMediaGetEffectiveVolume(REALobject instance);
bool rbMediaGetSoundLevelMeteringEnabled(REALobject instance);
void rbMediaSetSoundLevelMeteringEnabled(REALobject instance, bool value);
void rbMediaGetSoundLevelMeterInfo(REALobject instance, RBInteger* numChannels, RBInteger* leftMeter,
                                   RBInteger* rightMeter);
RBInteger rbMediaGetSoundBass(REALobject instance);
void rbMediaSetSoundBass(REALobject instance, RBInteger value);
RBInteger rbMediaGetSoundTreble(REALobject instance);
void rbMediaSetSoundTreble(REALobject instance, RBInteger value);

// ---- graphics ----
void rbMediaSetGraphicsMode(REALobject instance, RBInteger mode, RBColor color);
void rbMediaGetGraphicsMode(REALobject instance, RBInteger* mode, RBColor* color);

// ---- sample descriptions (sample_description_fetch.cpp) ----
REALobject rbGetMediaVideoSampleDescription(REALobject instance, RBInteger index);
REALobject rbGetMediaSoundSampleDescription(REALobject instance, RBInteger index);
REALobject rbGetMediaSpriteSampleDescription(REALobject instance, RBInteger index);
REALobject rbGetMediaTextSampleDescription(REALobject instance, RBInteger index);
REALobject rbGetMediaMusicSampleDescription(REALobject instance, RBInteger index);
REALobject rbGetMediaThreeDeeSampleDescription(REALobject instance, RBInteger index);
REALobject rbGetMediaFlashSampleDescription(REALobject instance, RBInteger index);
REALobject rbGetMediaSampleDescription(REALobject instance, RBInteger index);
REALmemoryBlock rbGetMediaSampleDescriptionRaw(REALobject instance, RBInteger index);
