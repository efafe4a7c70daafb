// A new sound handler plays through the default output, exactly as one that was
// handed back to it with a null component.
#include "engine_support.h"

using namespace enginetest;

namespace {

TEST(SoundHandlerOutput, NewHandlerAnswersTheDefaultOutput) {
  MovieHolder movie;
  Track track = NewMovieTrack(movie, 0, 0, 0x100);
  MediaHandler fresh = GetMediaHandler(NewTrackMedia(track, SoundMediaType, 44100, nullptr, 0));
  Component first = nullptr;
  ASSERT_EQ(MediaGetSoundOutputComponent(fresh, &first), noErr);
  ASSERT_EQ(MediaSetSoundOutputComponent(fresh, nullptr), noErr);
  Component reset = nullptr;
  ASSERT_EQ(MediaGetSoundOutputComponent(fresh, &reset), noErr);
  EXPECT_EQ(first, reset);
}

}  // namespace
