// User data lists: items per type, text per region, the flattened form.
#include "engine_support.h"

using namespace enginetest;

namespace {

std::string text(UserData ud, OSType type, SInt32 index, short region) {
  HandleHolder h;
  if (GetUserDataText(ud, h, type, index, region) != noErr) return "<none>";
  return std::string(*h.h, size_t(h.size()));
}

OSErr addText(UserData ud, const std::string& s, OSType type, SInt32 index, short region) {
  HandleHolder h(s.data(), Size(s.size()));
  return AddUserDataText(ud, h, type, index, region);
}

OSErr addItem(UserData ud, const std::string& s, OSType type) {
  HandleHolder h(s.data(), Size(s.size()));
  return AddUserData(ud, h, type);
}

std::string item(UserData ud, OSType type, SInt32 index) {
  HandleHolder h;
  if (GetUserData(ud, h, type, index) != noErr) return "<none>";
  return std::string(*h.h, size_t(h.size()));
}

TEST(UserDataLists, ItemsOfOneTypeAreIndexedFromOneInOrder) {
  UserData ud = nullptr;
  ASSERT_EQ(NewUserData(&ud), noErr);
  ASSERT_EQ(addItem(ud, "first", "LOOP"_4cc), noErr);
  ASSERT_EQ(addItem(ud, "name", kUserDataName), noErr);
  ASSERT_EQ(addItem(ud, "second", "LOOP"_4cc), noErr);
  EXPECT_EQ(CountUserDataType(ud, "LOOP"_4cc), 2);
  EXPECT_EQ(item(ud, "LOOP"_4cc, 2), "second");
  EXPECT_EQ(GetUserData(ud, nullptr, "LOOP"_4cc, 3), userDataItemNotFound);
  EXPECT_EQ(GetUserData(ud, nullptr, "LOOP"_4cc, 0), userDataItemNotFound);

  EXPECT_EQ(GetNextUserDataType(ud, 0), SInt32("LOOP"_4cc));
  EXPECT_EQ(GetNextUserDataType(ud, "LOOP"_4cc), SInt32(kUserDataName));
  EXPECT_EQ(GetNextUserDataType(ud, kUserDataName), 0);

  ASSERT_EQ(RemoveUserData(ud, "LOOP"_4cc, 1), noErr);
  EXPECT_EQ(item(ud, "LOOP"_4cc, 1), "second");
  EXPECT_EQ(RemoveUserData(ud, "LOOP"_4cc, 2), userDataItemNotFound);

  char buf[6];
  EXPECT_EQ(GetUserDataItem(ud, buf, 6, "LOOP"_4cc, 0), noErr);
  EXPECT_EQ(std::string(buf, 6), "second");
  EXPECT_EQ(GetUserDataItem(ud, buf, 5, "LOOP"_4cc, 1), paramErr);
  EXPECT_EQ(SetUserDataItem(ud, buf, 3, "LOOP"_4cc, 1), noErr);
  EXPECT_EQ(item(ud, "LOOP"_4cc, 1), "sec");
  EXPECT_EQ(SetUserDataItem(ud, buf, 3, "LOOP"_4cc, 3), userDataItemNotFound);
  EXPECT_EQ(DisposeUserData(ud), noErr);
  EXPECT_EQ(DisposeUserData(ud), paramErr);
}

TEST(UserDataLists, TextItemsHoldOneRecordPerRegion) {
  UserData ud = nullptr;
  ASSERT_EQ(NewUserData(&ud), noErr);
  EXPECT_EQ(addText(ud, "Title", kUserDataTextFullName, 2, 0), userDataItemNotFound);
  ASSERT_EQ(addText(ud, "Title", kUserDataTextFullName, 1, 0), noErr);
  ASSERT_EQ(addText(ud, "Titre", kUserDataTextFullName, 1, 1), noErr);
  ASSERT_EQ(addText(ud, "Titel", kUserDataTextFullName, 1, 2), noErr);
  ASSERT_EQ(addText(ud, "The Title", kUserDataTextFullName, 1, 0), noErr);  // replaces English
  EXPECT_EQ(CountUserDataType(ud, kUserDataTextFullName), 1);
  EXPECT_EQ(text(ud, kUserDataTextFullName, 1, 0), "The Title");
  EXPECT_EQ(text(ud, kUserDataTextFullName, 1, 1), "Titre");
  EXPECT_EQ(text(ud, kUserDataTextFullName, 1, 2), "Titel");
  EXPECT_EQ(text(ud, kUserDataTextFullName, 1, 3), "<none>");

  // The item holds the records back to back, in the order they were first added.
  HandleHolder raw;
  ASSERT_EQ(GetUserData(ud, raw, kUserDataTextFullName, 1), noErr);
  const std::string expected = std::string("\0\x09\0\0The Title", 13) + std::string("\0\x05\0\x01Titre", 9) +
                               std::string("\0\x05\0\x02Titel", 9);
  EXPECT_EQ(std::string(*raw.h, size_t(raw.size())), expected);

  ASSERT_EQ(RemoveUserDataText(ud, kUserDataTextFullName, 1, 1), noErr);
  EXPECT_EQ(text(ud, kUserDataTextFullName, 1, 1), "<none>");
  EXPECT_EQ(RemoveUserDataText(ud, kUserDataTextFullName, 1, 1), userDataItemNotFound);
  ASSERT_EQ(RemoveUserDataText(ud, kUserDataTextFullName, 1, 0), noErr);
  ASSERT_EQ(RemoveUserDataText(ud, kUserDataTextFullName, 1, 2), noErr);
  EXPECT_EQ(CountUserDataType(ud, kUserDataTextFullName), 0);  // gone with its last record
  DisposeUserData(ud);
}

TEST(UserDataLists, FlattenedFormRoundTripsExactly) {
  MovieHolder movie;
  UserData ud = GetMovieUserData(movie);
  ASSERT_EQ(addText(ud, "My Title", kUserDataTextFullName, 1, 0), noErr);
  ASSERT_EQ(addItem(ud, "abc", kUserDataName), noErr);
  ASSERT_EQ(addItem(ud, "", "AllF"_4cc), noErr);
  EXPECT_EQ(DisposeUserData(ud), paramErr);  // belongs to the movie

  HandleHolder flat;
  ASSERT_EQ(PutUserDataIntoHandle(ud, flat), noErr);
  const std::string expected = std::string("\0\0\0\x14\xA9nam\0\x08\0\0My Title", 20) +
                               std::string("\0\0\0\x0Bnameabc", 11) + std::string("\0\0\0\x08" "AllF", 8);
  EXPECT_EQ(std::string(*flat.h, size_t(flat.size())), expected);

  UserData copy = nullptr;
  ASSERT_EQ(NewUserDataFromHandle(flat, &copy), noErr);
  EXPECT_EQ(text(copy, kUserDataTextFullName, 1, 0), "My Title");
  HandleHolder again;
  ASSERT_EQ(PutUserDataIntoHandle(copy, again), noErr);
  EXPECT_EQ(again.bytes(), flat.bytes());
  DisposeUserData(copy);

  // An enclosing udta atom and a trailing zero word are accepted.
  std::string wrapped = std::string("\0\0\0\x17udta", 8) + expected.substr(20, 11) + std::string(4, '\0');
  HandleHolder w(wrapped.data(), Size(wrapped.size()));
  ASSERT_EQ(NewUserDataFromHandle(w, &copy), noErr);
  EXPECT_EQ(item(copy, kUserDataName, 1), "abc");
  DisposeUserData(copy);
}

TEST(UserDataLists, MalformedFlattenedBytesAreRefused) {
  const std::string cases[] = {
      std::string("\0\0\0\x04name", 8),          // size below the header
      std::string("\0\0\0\x20name", 8),          // size past the end
      std::string("\0\0\0\x09nameab", 10),       // a second item cut short
      std::string("\0\0\0", 3),                  // a partial header
      std::string("\0\0\0\x08name\0\0\0\x01", 12),
  };
  for (const auto& bytes : cases) {
    HandleHolder h(bytes.data(), Size(bytes.size()));
    UserData ud = reinterpret_cast<UserData>(1);
    EXPECT_EQ(NewUserDataFromHandle(h, &ud), paramErr) << bytes.size();
    EXPECT_EQ(ud, nullptr);
  }
  HandleHolder empty;
  UserData ud = nullptr;
  ASSERT_EQ(NewUserDataFromHandle(empty, &ud), noErr);
  EXPECT_EQ(GetNextUserDataType(ud, 0), 0);
  DisposeUserData(ud);
  EXPECT_EQ(NewUserDataFromHandle(nullptr, &ud), nilHandleErr);
  EXPECT_EQ(CountUserDataType(nullptr, kUserDataName), 0);
  EXPECT_EQ(GetMoviesError(), paramErr);
}

TEST(UserDataLists, TracksAndMediaHaveTheirOwnLists) {
  MovieHolder movie;
  Track t = videoTrack(movie, 600, 1, 10);
  UserData tu = GetTrackUserData(t), mu = GetMediaUserData(GetTrackMedia(t));
  ASSERT_NE(tu, nullptr);
  ASSERT_NE(mu, nullptr);
  EXPECT_NE(tu, mu);
  EXPECT_NE(tu, GetMovieUserData(movie));
  ASSERT_EQ(addItem(tu, "Track name", kUserDataName), noErr);
  EXPECT_EQ(CountUserDataType(mu, kUserDataName), 0);
  EXPECT_EQ(GetTrackUserData(nullptr), nullptr);
  EXPECT_EQ(GetMoviesError(), invalidTrack);
}

}  // namespace
