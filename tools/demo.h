// Sections of `pelorin demo`, each on its own host and sample.
#pragma once

#include <QuickTime/Movies.h>
#include <pelorin/runtime.h>

#include <string>

namespace tool {

void showTracks();
// Saves the sample with chapters and time code, and answers its file.
std::string showSavedMovie();
// The saved sample cut and joined by the tool's own commands (demo_edits.cpp).
void showCutAndJoin(const std::string& sample);

// 10 s of 320 × 240 Photo-JPEG at 25 frames a second and 16-bit stereo sound at
// 44.1 kHz, in a movie of time scale 600, made through the engine (the caller
// disposes of it).
Movie newAudioVisualMovie();
// A chapter record of `text` lasting `duration` (in the movie's time scale).
rt::Value newChapter(rt::Runtime& runtime, const char* text, int64_t duration);
// Metadata and user data of the sample movie (demo_metadata.cpp).
void showMetaData();
// Clip masks and channel layouts (demo_pictures.cpp).
void showPicturesAndLayouts();

}  // namespace tool
