// Construction of the model's objects.
#include "model.h"
#include "text_media.h"
#include "timecode.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace qte {

namespace {

constexpr uint32_t kMacEpochOffset = 2082844800u;  // 1904-01-01 to 1970-01-01

void setIdentity(MatrixRecord& m) {
  std::memset(&m, 0, sizeof m);
  m.matrix[0][0] = kFixedOne;
  m.matrix[1][1] = kFixedOne;
  m.matrix[2][2] = 0x40000000;
}

}  // namespace

uint32_t nowMacTime() { return static_cast<uint32_t>(std::time(nullptr)) + kMacEpochOffset; }

bool hasCharacteristic(OSType mediaType, OSType characteristic) {
  static constexpr OSType kVisual[] = {"vide"_4cc, "text"_4cc, "sbtl"_4cc, "clcp"_4cc, "sprt"_4cc,
                                       "qd3d"_4cc, "flsh"_4cc, "MPEG"_4cc, "skin"_4cc};
  static constexpr OSType kAudio[] = {"soun"_4cc, "musi"_4cc, "MPEG"_4cc};
  auto in = [&](const auto& list) { return std::find(std::begin(list), std::end(list), mediaType) != std::end(list); };
  if (characteristic == VisualMediaCharacteristic) return in(kVisual);
  if (characteristic == AudioMediaCharacteristic) return in(kAudio);
  if (characteristic == kCharacteristicCanStep) return mediaType == VideoMediaType;
  return false;
}

std::unique_ptr<MediaHandlerObject> makeHandler(Media* media) {
  if (media->type == SoundMediaType || media->type == MusicMediaType) return std::make_unique<SoundHandler>(media);
  if (media->type == TextMediaType) return makeTextHandler(media);
  if (media->type == TimeCodeMediaType) return makeTimeCodeHandler(media);
  return std::make_unique<VisualHandler>(media);
}

Media::Media(Track* t, OSType mediaType, TimeScale timeScale)
    : Object(kKind),
      track(t),
      type(mediaType),
      scale(timeScale),
      creationTime(nowMacTime()),
      modificationTime(creationTime),
      store(std::make_shared<SampleStore>()),
      userData(std::make_unique<UserDataList>(true)) {
  handler = makeHandler(this);
}

Media::~Media() = default;


SampleStore& Media::mutableSamples() {
  if (store.use_count() > 1) store = std::make_shared<SampleStore>(*store);
  return *store;
}

Track::Track(Movie* m, uint32_t trackID)
    : Object(kKind),
      movie(m),
      id(trackID),
      creationTime(nowMacTime()),
      modificationTime(creationTime),
      userData(std::make_unique<UserDataList>(true)) {
  setIdentity(matrix);
}

Track::~Track() {
  // The media goes first: its handler may still point at it.
  media.reset();
}

Scales Track::scales() const { return {movie->scale, media ? media->scale : movie->scale}; }

void Track::touch() { modificationTime = nowMacTime(); }

Movie::Movie()
    : Object(kKind),
      userData(std::make_unique<UserDataList>(true)),
      creationTime(nowMacTime()),
      modificationTime(creationTime) {
  setIdentity(matrix);
}

Movie::~Movie() { tracks.clear(); }

int64_t Movie::duration() const {
  int64_t d = 0;
  for (const auto& t : tracks) d = std::max(d, t->edits.duration());
  return d;
}

Track* Movie::trackByID(uint32_t id) const {
  for (const auto& t : tracks)
    if (t->id == id) return t.get();
  return nullptr;
}

long Movie::indexOf(const Track* t) const {
  for (size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].get() == t) return static_cast<long>(i);
  return -1;
}



}  // namespace qte
