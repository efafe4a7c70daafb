// Chapter tracks: text tracks that a main track names with a 'chap' reference,
// one text sample per chapter. The `movie` members that find, build and remove
// them, the QTTrackZQK members that link them, and QTChapterTrackZQK's own
// members that walk and read the chapters.
#pragma once

#include <pelorin/sdk.h>

#include <QuickTime/Movies.h>

// QTChapterTrackZQK's methods, hooked into its class record (track_table.cpp).
extern REALmethodDefinition QTChapterTrackMethods[5];

// Removes every reference, of any type, that another track of the same movie
// holds to `track`. Used before a track is disposed of.
void QTUtils_DeleteAllReferencesToTrack(Track track);

// ---- `movie` members (movie_table.cpp) ----
REALobject AddTextTrack(REALmovie movie, REALobjectArray chapters, REALstring type, bool isChapterTrack);
RBInteger RemoveIndTextTrack(REALmovie movie, RBInteger index);
REALobject GetChapterTrackForMovie(REALmovie movie);
bool MovieHasAChapterTrack(REALmovie movie);

// ---- QTTrackZQK members (track_table.cpp) ----
void SetTextTrackAsChapterTrack(REALobject instance, REALstring type, bool isChapterTrack);
bool HasChapterTrack(REALobject instance);
bool IsChapterTrack(REALobject instance);
REALobject ChapterTrack(REALobject instance);
