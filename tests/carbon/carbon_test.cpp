// Memory Manager, fixed-point and bundle loading, through their C surface.
#include <Aliases.h>
#include <CoreFoundation/CoreFoundation.h>
#include <Files.h>
#include <FixMath.h>
#include <Folders.h>
#include <MacErrors.h>
#include <MacMemory.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

TEST(MemoryManager, HandlesKeepTheirSizeAndContents) {
  long before = CarbonLiveHandleCount();
  Handle h = NewHandleClear(8);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetHandleSize(h), 8);
  EXPECT_EQ((*h)[7], 0);
  std::memcpy(*h, "abcdefgh", 8);
  SetHandleSize(h, 12);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(std::memcmp(*h, "abcdefgh", 8), 0);
  EXPECT_EQ(PtrAndHand("ijkl", h, 4), noErr);
  EXPECT_EQ(GetHandleSize(h), 16);

  Handle copy = h;
  EXPECT_EQ(HandToHand(&copy), noErr);
  EXPECT_NE(copy, h);
  EXPECT_EQ(std::memcmp(*copy + 12, "ijkl", 4), 0);

  // A locked handle cannot grow: it would have to move.
  HLock(h);
  SetHandleSize(h, 1 << 20);
  EXPECT_EQ(MemError(), memFullErr);
  HUnlock(h);
  EXPECT_EQ(GetHandleSize(h), 16);
  SetHandleSize(h, -1);
  EXPECT_EQ(MemError(), memFullErr);
  EXPECT_EQ(GetHandleSize(h), 16);

  DisposeHandle(h);
  DisposeHandle(copy);
  EXPECT_EQ(CarbonLiveHandleCount(), before);
}

TEST(MemoryManager, BadHandlesAreRefusedNotTrusted) {
  EXPECT_EQ(GetHandleSize(nullptr), 0);
  EXPECT_EQ(MemError(), nilHandleErr);
  Handle h = nullptr;
  EXPECT_EQ(PtrToHand("x", &h, 1), noErr);
  DisposeHandle(h);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(NewHandle(-1), nullptr);
  EXPECT_EQ(MemError(), memFullErr);
  Handle empty = NewHandle(0);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(*empty, nullptr);
  EXPECT_EQ(GetHandleSize(empty), 0);
  DisposeHandle(empty);
}

TEST(FixedPoint, ConversionsRoundAndSaturate) {
  EXPECT_EQ(Long2Fix(1), 0x10000);
  EXPECT_EQ(Long2Fix(-2), -0x20000);
  EXPECT_EQ(Long2Fix(40000), 0x7FFFFFFF);
  EXPECT_EQ(Long2Fix(-40000), static_cast<Fixed>(0x80000000));
  EXPECT_EQ(Fix2Long(0x18000), 2);   // 1.5 rounds up
  EXPECT_EQ(Fix2Long(0x17FFF), 1);
  EXPECT_EQ(Fix2Long(-0x18000), -1);
  EXPECT_EQ(FixRatio(1, 2), 0x8000);
  EXPECT_EQ(FixRatio(-3, 2), -0x18000);
  EXPECT_EQ(FixRatio(1, 0), 0x7FFFFFFF);
  EXPECT_EQ(FixMul(0x20000, 0x18000), 0x30000);
  EXPECT_EQ(FixMul(0x7FFFFFFF, 0x20000), 0x7FFFFFFF);
}

TEST(Bundles, FontManagerLoadsFromTheFrameworksFolderOnceAndOnlyFromABundle) {
  long liveBefore = CFLiveObjectCount();
  FSRef folder;
  ASSERT_EQ(FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &folder), noErr);
  CFURLRef base = CFURLCreateFromFSRef(kCFAllocatorDefault, &folder);
  CFURLRef url = CFURLCreateCopyAppendingPathComponent(kCFAllocatorDefault, base, CFSTR("Carbon.framework"), false);
  CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
  ASSERT_NE(bundle, nullptr);
  ASSERT_TRUE(CFBundleLoadExecutable(bundle));
  EXPECT_TRUE(CFBundleLoadExecutable(bundle));  // already loaded is still loaded
  EXPECT_FALSE(CFBundleLoadExecutable(nullptr));
  EXPECT_FALSE(CFBundleLoadExecutable(reinterpret_cast<CFBundleRef>(const_cast<void*>(static_cast<const void*>(url)))));

  auto getFNum = reinterpret_cast<void (*)(ConstStr255Param, int16_t*)>(
      CFBundleGetFunctionPointerForName(bundle, CFSTR("GetFNum")));
  auto getFontName = reinterpret_cast<void (*)(int16_t, Str255)>(
      CFBundleGetFunctionPointerForName(bundle, CFSTR("GetFontName")));
  ASSERT_NE(getFNum, nullptr);
  ASSERT_NE(getFontName, nullptr);
  EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("NoSuchCall")), nullptr);

  int16_t id = -1;
  getFNum(reinterpret_cast<const unsigned char*>("\x06Monaco"), &id);
  EXPECT_EQ(id, 4);
  getFNum(reinterpret_cast<const unsigned char*>("\x07nowhere"), &id);
  EXPECT_EQ(id, 0);
  getFNum(reinterpret_cast<const unsigned char*>("\x06geneva"), &id);
  EXPECT_EQ(id, 3);
  Str255 name;
  getFontName(22, name);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), "Courier");
  getFontName(999, name);
  EXPECT_EQ(name[0], 0);

  CFRelease(bundle);
  CFRelease(url);
  CFRelease(base);
  EXPECT_EQ(CFLiveObjectCount(), liveBefore);
}

// An alias keeps the whole path; a copy out of it is the path and its NUL, no more, no less.
TEST(Aliases, PathsRoundTripExactly) {
  long before = CarbonLiveHandleCount();
  char dir[] = "/tmp/carbon-aliasXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string file = std::string(dir) + "/leaf-name.mov";
  FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);

  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(file.c_str()), &ref, nullptr), noErr);
  AliasHandle alias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &ref, &alias), noErr);

  char out[kFSRefPathCapacity];
  std::memset(out, 'X', sizeof out);
  ASSERT_EQ(AliasGetPath(alias, out, sizeof out), noErr);
  EXPECT_STREQ(out, file.c_str());
  EXPECT_EQ(AliasGetPath(alias, out, static_cast<UInt32>(file.size())), bdNamErr);  // no room for the NUL

  FSRef back;
  Boolean changed = true;
  ASSERT_EQ(FSResolveAlias(nullptr, alias, &back, &changed), noErr);
  EXPECT_STREQ(back.path, file.c_str());
  EXPECT_FALSE(changed);

  HFSUniStr255 name;
  std::memset(&name, 0xEE, sizeof name);
  FSRef parent;
  ASSERT_EQ(FSGetCatalogInfo(&back, kFSCatInfoNone, nullptr, &name, nullptr, &parent), noErr);
  ASSERT_EQ(name.length, 13);
  EXPECT_EQ(std::string(name.unicode, name.unicode + name.length), "leaf-name.mov");
  EXPECT_STREQ(parent.path, dir);

  // Records that are not ours, or cut short, resolve to nothing.
  Handle tiny = NewHandleClear(4);
  EXPECT_EQ(AliasGetPath(reinterpret_cast<AliasHandle>(tiny), out, sizeof out), paramErr);
  SetHandleSize(reinterpret_cast<Handle>(alias), 12);
  EXPECT_EQ(FSResolveAlias(nullptr, alias, &back, nullptr), paramErr);
  DisposeHandle(tiny);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  std::remove(file.c_str());
  rmdir(dir);
  EXPECT_EQ(CarbonLiveHandleCount(), before);
}

TEST(Bundles, MissingFrameworksFolderIsAnError) {
  CarbonSetFrameworksFolder("/nonexistent/Frameworks");
  FSRef folder;
  EXPECT_EQ(FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &folder), fnfErr);
  CarbonSetFrameworksFolder(nullptr);
  EXPECT_EQ(FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &folder), noErr);
}

}  // namespace
