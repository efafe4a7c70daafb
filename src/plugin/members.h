// The rules members share, each written once, so that a member's body holds only
// its own logic.
//
//   void rbDeleteTrackSegment(REALobject instance, RBInteger time, RBInteger duration) {
//     TrackCall call(instance);                       // Lasterror := -1 (track/track.h)
//     call.Record(DeleteTrackSegment(call.track(), ...));
//   }
//   RBInteger TrackCountZQK(REALmovie movie) {
//     return MovieMember(movie, [](Movie m) -> RBInteger { return GetMovieTrackCount(m); }, kNoMovie);
//   }
#pragma once

#include <pelorin/sdk.h>

#include <QuickTime/Movies.h>

#include <cstdint>
#include <functional>
#include <type_traits>

#include "host/host.h"
#include "qt/qt.h"

// What a recording member leaves in Lasterror when it made no call, and what an
// integer `movie` member answers when there is no QuickTime movie to ask:
// QuickTime itself never answers -1.
inline constexpr int32_t kNoCall = -1;
inline constexpr RBInteger kNoMovie = -1;

// The Lasterror rule of a member that records QuickTime's answer: the field reads
// -1 from the member's start until a call is made, then the call's result widened
// to 32 bits (a Movie Toolbox OSErr sign-extended, a handler or metadata result
// as it is). A null field (no object) records nothing.
class LastError {
 public:
  explicit LastError(RBInteger* field) : field_(field) { Set(kNoCall); }

  // Stores `result` and hands it back, so a member can test what it recorded.
  template <typename Result>
  Result Record(Result result) {
    static_assert(std::is_integral_v<Result> && sizeof(Result) <= sizeof(int32_t));
    Set(static_cast<int32_t>(result));
    return result;
  }
  // For the few values that are not a call's answer (memFullErr, paramErr, 0).
  void Set(int32_t value) {
    if (field_) *field_ = value;
  }

 private:
  RBInteger* field_;
};

namespace member_detail {
template <typename R>
struct Neutral {
  using type = R;
};
struct Nothing {};
template <>
struct Neutral<void> {
  using type = Nothing;
};
template <typename R>
using NeutralOf = typename Neutral<R>::type;

// `body(reference)`, or `missing` when the reference is null.
template <typename R, typename Ref, typename Body>
R Apply(Ref reference, Body& body, NeutralOf<R> missing) {
  if constexpr (std::is_void_v<R>) {
    if (reference) body(reference);
  } else {
    return reference ? body(reference) : missing;
  }
}
}  // namespace member_detail

// `body(reference)`, or `missing` when the reference is null: the neutral path of
// a member whose object holds nothing to ask.
template <typename Ref, typename Body, typename R = std::invoke_result_t<Body&, Ref>>
R WithReference(Ref reference, Body&& body, member_detail::NeutralOf<R> missing = {}) {
  return member_detail::Apply<R>(reference, body, missing);
}

// The QuickTime availability gate, which raises and answers R() on hosts without
// QuickTime; then `body(reference)`, or `missing` when the reference is null. The
// track members that have the gate open so.
template <typename Ref, typename Body, typename R = std::invoke_result_t<Body&, Ref>>
R GatedMember(Ref reference, Body&& body, member_detail::NeutralOf<R> missing = {}) {
  if (QuickTimeUnavailable()) return R();
  return member_detail::Apply<R>(reference, body, missing);
}

// A `movie` member: the gate, then `body` on the QuickTime movie behind the host
// object, or `noMovie` when none stands behind it. The host is asked for the
// movie only once the gate has let the call through.
template <typename Body, typename R = std::invoke_result_t<Body&, Movie>>
R MovieMember(REALmovie movie, Body&& body, member_detail::NeutralOf<R> noMovie = {}) {
  if (QuickTimeUnavailable()) return R();
  return member_detail::Apply<R>(REALgetMovieMovie(movie), body, noMovie);
}
