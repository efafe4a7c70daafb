// Aperture modes: dimensions from a track's image description ('pasp' and
// 'clap' extensions), the calls that make and remove them, and the track sizes
// the movie's mode gives.
#include "aperture.h"

#include "api_using.h"
#include "file/atoms.h"

#include <algorithm>
#include <cmath>

namespace qte {

namespace {

// An ImageDescription: its fixed part is 86 bytes, width and height at 32 and 34.
constexpr size_t kImageDescriptionSize = 86;
constexpr size_t kWidthAt = 32;

Fixed toFixed(double v) { return static_cast<Fixed>(std::lround(v * 65536.0)); }

// Aperture dimensions from an ImageDescription: encoded = stored size, production =
// size corrected by 'pasp', clean = production cropped by 'clap'. A damaged
// extension is passed over, as a decoder would.
OSErr setTrackApertureFromDescription(Track& t, const uint8_t* desc, size_t n) {
  if (n < kImageDescriptionSize) return invalidSampleDescription;
  file::Cursor fixedPart(desc, n, 0);
  size_t size = std::min<size_t>(fixedPart.u32(), n);
  fixedPart.skip(kWidthAt - 4);
  double w = fixedPart.u16(), h = fixedPart.u16();
  double hSpacing = 1, vSpacing = 1, cleanW = w, cleanH = h;
  std::vector<file::Atom> extensions;
  if (size > kImageDescriptionSize)
    extensions = file::wellFormedAtoms(desc + kImageDescriptionSize, size - kImageDescriptionSize, kImageDescriptionSize);
  for (const file::Atom& a : extensions) {
    file::Cursor c(a);
    if (a.type == "pasp"_4cc) {
      uint32_t hs = c.u32(), vs = c.u32();
      if (c.ok() && hs && vs) hSpacing = hs, vSpacing = vs;
    } else if (a.type == "clap"_4cc) {
      auto ratio = [&c] {
        uint32_t num = c.u32(), den = c.u32();
        return den ? double(num) / den : 0.0;
      };
      double cw = ratio(), ch = ratio();
      c.skip(16);  // the offsets, which move the clean aperture but do not size it
      if (c.ok()) cleanW = cw, cleanH = ch;
    }
  }
  double aspect = hSpacing / vSpacing;
  t.aperture.present = true;
  t.aperture.encoded = {toFixed(w), toFixed(h)};
  t.aperture.production = {toFixed(w * aspect), toFixed(h)};
  t.aperture.clean = {toFixed(cleanW * aspect), toFixed(cleanH)};
  return noErr;
}

// Visual tracks get dimensions from their first description; others have none.
OSErr generateTrackAperture(Track& t) {
  if (!t.media || t.media->type != VideoMediaType) return noErr;
  const auto& descs = t.media->samples().descriptions;
  if (descs.empty()) {
    t.aperture.present = true;
    t.aperture.encoded = t.aperture.production = t.aperture.clean = {t.width, t.height};
    return noErr;
  }
  return setTrackApertureFromDescription(t, descs.front().data(), descs.front().size());
}

}  // namespace

bool knownApertureMode(OSType mode) {
  return mode == kQTApertureMode_Classic || mode == kQTApertureMode_CleanAperture ||
         mode == kQTApertureMode_ProductionAperture || mode == kQTApertureMode_EncodedPixels;
}

bool hasApertureDimensions(const Movie& m) {
  for (auto& t : m.tracks)
    if (t->aperture.present) return true;
  return false;
}

void applyApertureMode(Movie& m) {
  for (auto& t : m.tracks) {
    if (!t->aperture.present) continue;
    const FixedPoint* dims = nullptr;
    if (m.apertureMode == kQTApertureMode_CleanAperture) dims = &t->aperture.clean;
    if (m.apertureMode == kQTApertureMode_ProductionAperture) dims = &t->aperture.production;
    if (m.apertureMode == kQTApertureMode_EncodedPixels) dims = &t->aperture.encoded;
    if (dims) {
      t->width = dims->x;
      t->height = dims->y;
    }
  }
}

}  // namespace qte

extern "C" {

OSErr GenerateMovieApertureModeDimensions(Movie theMovie) {
  QTE_CALL_ERR("GenerateMovieApertureModeDimensions", a_.object("movie", theMovie)) {
    auto* movie = need<qte::Movie>(theMovie);
    for (auto& t : movie->tracks) {
      OSErr err = qte::generateTrackAperture(*t);
      if (err != noErr) return done(err);
    }
    return done(noErr);
  };
}

OSErr RemoveMovieApertureModeDimensions(Movie theMovie) {
  QTE_CALL_ERR("RemoveMovieApertureModeDimensions", a_.object("movie", theMovie)) {
    auto* movie = need<qte::Movie>(theMovie);
    for (auto& t : movie->tracks) t->aperture = {};
    return done(noErr);
  };
}

OSErr GenerateTrackApertureModeDimensions(Track theTrack) {
  QTE_CALL_ERR("GenerateTrackApertureModeDimensions", a_.object("track", theTrack)) {
    auto* track = need<qte::Track>(theTrack);
    return done(qte::generateTrackAperture(*track));
  };
}

OSErr RemoveTrackApertureModeDimensions(Track theTrack) {
  QTE_CALL_ERR("RemoveTrackApertureModeDimensions", a_.object("track", theTrack)) {
    auto* track = need<qte::Track>(theTrack);
    track->aperture = {};
    return done(noErr);
  };
}

OSErr SetTrackApertureModeDimensionsUsingSampleDescription(Track theTrack, SampleDescriptionHandle sampleDesc) {
  QTE_CALL_ERR("SetTrackApertureModeDimensionsUsingSampleDescription",
                a_.object("track", theTrack)("sampleDesc", reinterpret_cast<Handle>(sampleDesc))) {
    auto* track = need<qte::Track>(theTrack);
    if (!sampleDesc) return done(qte::generateTrackAperture(*track));
    Handle h = reinterpret_cast<Handle>(sampleDesc);
    return done(qte::setTrackApertureFromDescription(*track, reinterpret_cast<const uint8_t*>(*h),
                                                static_cast<size_t>(GetHandleSize(h))));
  };
}

}  // extern "C"
