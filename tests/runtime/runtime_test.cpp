// The runtime as the fixture plugin and user code see it.
#include <pelorin/runtime.h>

#include <Folders.h>
#include <MacErrors.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using rt::Config;
using rt::HostException;
using rt::Registration;
using rt::Runtime;
using rt::UsageError;
using rt::Value;

Value I(int64_t v) { return Value::integer(v); }
Value D(double v) { return Value::real(v); }
Value B(bool v) { return Value::boolean(v); }

// Every test ends with the runtime's accounting clean.
class RuntimeTest : public ::testing::Test {
 protected:
  void load(Config config = {}) {
    rt_ = std::make_unique<Runtime>(std::move(config));
    rt_->loadPlugin(RUNTIME_FIXTURE_PATH);
  }
  void SetUp() override { load(); }
  void TearDown() override {
    ASSERT_TRUE(rt_);
    EXPECT_TRUE(rt_->accounting().clean()) << rt_->leakReport();
  }
  Runtime& rt() { return *rt_; }
  std::string text(const Value& v) { return rt().bytes(v); }
  std::unique_ptr<Runtime> rt_;
};

TEST_F(RuntimeTest, RegistrationKeepsOrderRoutesAndLayouts) {
  const auto& regs = rt().registrations();
  ASSERT_EQ(regs.size(), 7u);
  const char* names[] = {"Counter", "SubCounter", "Extended", "OldStyle", "Fragile", "movie", "FixtureModule"};
  Registration::Route routes[] = {Registration::Route::Class, Registration::Route::Class,
                                  Registration::Route::Class, Registration::Route::Class, Registration::Route::Class,
                                  Registration::Route::ClassExtension, Registration::Route::Module};
  for (size_t i = 0; i < regs.size(); ++i) {
    EXPECT_EQ(regs[i].name, names[i]);
    EXPECT_EQ(regs[i].route, routes[i]);
    EXPECT_EQ(regs[i].olderLayout, i == 3);
    EXPECT_EQ(regs[i].controlVersion, i == 3 ? 9u : 13u);
  }
  // Instance data follows the 24-byte header; a subclass without data shares its
  // superclass's block, one with data gets the bytes after it.
  auto offset = [&](size_t i) { return static_cast<const REALclassDefinition*>(regs[i].record)->forSystemUse; };
  EXPECT_EQ(offset(0), 24);
  EXPECT_EQ(offset(1), 24);
  EXPECT_EQ(offset(2), 24 + 56);
  EXPECT_EQ(static_cast<const REALclassDefinitionV9*>(regs[3].record)->forSystemUse, 24);
  EXPECT_EQ(rt().pluginVersion(), 13);
  EXPECT_TRUE(rt().diagnostics().empty());
}

TEST_F(RuntimeTest, ConstructorsRunSuperclassFirstAndDestructorsSubclassFirst) {
  {
    Value sub = rt().newObject("SubCounter");
    EXPECT_EQ(rt().get(sub, "Count").asInteger(), 107);  // 0 + 7 + 100: the data arrived zeroed
    EXPECT_TRUE(rt().isA(sub, "Counter"));
    EXPECT_FALSE(rt().isA(sub, "Extended"));
    EXPECT_EQ(rt().className(sub), "SubCounter");
    EXPECT_EQ(text(rt().callShared("Counter", "TakeLog")), "C+S+");
    Value again = sub;
    EXPECT_EQ(rt().locks(sub), 2);
  }
  EXPECT_EQ(text(rt().callShared("Counter", "TakeLog")), "S-C-");

  Value ext = rt().newObject("Extended");
  EXPECT_EQ(rt().get(ext, "Extra").asInteger(), 0);
  rt().set(ext, "Extra", I(5));
  EXPECT_EQ(rt().call(ext, "ExtraPlusCount").asInteger(), 12);
  EXPECT_EQ(rt().get(ext, "Count").asInteger(), 7);
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, DirectPropertiesByHostType) {
  Value c = rt().newObject("Counter");
  rt().set(c, "Count", I(-5));
  EXPECT_EQ(rt().get(c, "Count").asInteger(), -5);
  rt().set(c, "Flag", B(true));
  EXPECT_TRUE(rt().get(c, "Flag").asBoolean());
  EXPECT_TRUE(rt().call(c, "FlagOf", {c}).asBoolean());  // REALGetPropValueBool sees it too
  rt().set(c, "Ratio", D(0.25));
  EXPECT_EQ(rt().get(c, "Ratio").asDouble(), 0.25);
  rt().set(c, "Ratio", I(2));  // integers widen to double
  EXPECT_EQ(rt().get(c, "Ratio").asDouble(), 2.0);
  rt().set(c, "Tint", Value::color(0x123456));
  EXPECT_EQ(rt().get(c, "Tint").asColor(), 0x123456u);

  // Reference fields hold a lock of their own, given back by the class destructor.
  Value label = rt().string("tag");
  rt().set(c, "Label", label);
  EXPECT_EQ(rt().locks(label), 2);
  rt().set(c, "Label", label);  // same value: no extra lock
  EXPECT_EQ(rt().locks(label), 2);
  EXPECT_EQ(text(rt().get(c, "Label")), "tag");
  Value peer = rt().newObject("SubCounter");
  rt().set(c, "Peer", peer);
  EXPECT_EQ(rt().locks(peer), 2);
  rt().set(c, "Peer", Value());
  EXPECT_EQ(rt().locks(peer), 1);
  rt().set(c, "Peer", peer);
  Value film = rt().newMovie(reinterpret_cast<void*>(0x1000));
  rt().set(c, "Film", film);
  EXPECT_EQ(rt().get(c, "Film").asObject(), film.asObject());

  EXPECT_THROW(rt().set(c, "Peer", film), UsageError);   // a movie is not a Counter
  EXPECT_THROW(rt().set(c, "Count", D(1.5)), UsageError);
  EXPECT_THROW(rt().get(c, "Nothing"), UsageError);

  c = Value();
  EXPECT_EQ(rt().locks(label), 1);
  EXPECT_EQ(rt().locks(peer), 1);
  EXPECT_EQ(rt().locks(film), 1);
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, AccessorsAndPropertyLikeMethods) {
  Value c = rt().newObject("Counter");
  rt().set(c, "Doubled", I(20));  // setter(self, 2, 20)
  EXPECT_EQ(rt().get(c, "Count").asInteger(), 10);
  EXPECT_EQ(rt().get(c, "Doubled").asInteger(), 20);
  rt().set(c, "Level", I(33));
  EXPECT_EQ(rt().get(c, "Level").asInteger(), 33);
  EXPECT_EQ(rt().call(c, "Level").asInteger(), 33);
  EXPECT_EQ(text(rt().get(c, "Leak")), "kept");  // a getter without a setter
  EXPECT_EQ(rt().accounting().liveStrings, 1);    // the string the fixture forgot
  rt().callShared("Counter", "TakeLog");
  c = Value();
  // That one leak is the plugin's: it stays counted.
  EXPECT_EQ(rt().accounting().liveStrings, 1);
  EXPECT_NE(rt().leakReport().find("\"leaked\""), std::string::npos);
  load();  // a fresh runtime for the clean check
}

TEST_F(RuntimeTest, OverloadsByKindAndOverrides) {
  Value c = rt().newObject("Counter");
  EXPECT_EQ(rt().call(c, "Add", {I(3)}).kind(), Value::Kind::Integer);
  EXPECT_EQ(rt().call(c, "Add", {I(3)}).asInteger(), 13);
  EXPECT_EQ(rt().call(c, "Add", {D(0.5)}).asDouble(), 0.5);
  rt().set(c, "Label", rt().string("ab"));
  EXPECT_EQ(text(rt().call(c, "Add", {rt().string("cd")})), "abcd");
  EXPECT_THROW(rt().call(c, "Add", {B(true)}), UsageError);
  EXPECT_THROW(rt().call(c, "Add", {I(1), I(2)}), UsageError);
  EXPECT_THROW(rt().call(c, "NoSuchMember"), UsageError);

  Value sub = rt().newObject("SubCounter");
  EXPECT_EQ(rt().call(sub, "add", {I(3)}).asInteger(), 113);  // the override; names ignore case
  EXPECT_EQ(rt().call(sub, "Add", {D(1.0)}).asDouble(), 1.0);  // inherited
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, ByRefParameters) {
  Value c = rt().newObject("Counter");
  std::vector<Value> ints{I(1), I(2)};
  rt().call(c, "Swap", ints, {true, true});
  EXPECT_EQ(ints[0].asInteger(), 2);
  EXPECT_EQ(ints[1].asInteger(), 1);
  EXPECT_THROW(rt().call(c, "Swap", {I(1), I(2)}), UsageError);  // byref needs byref arguments

  Value original = rt().string("x");
  std::vector<Value> strs{original};
  EXPECT_EQ(rt().locks(original), 2);
  rt().call(c, "Rename", strs, {true});
  EXPECT_EQ(text(strs[0]), "renamed:x");
  EXPECT_EQ(rt().locks(original), 1);  // our hold on the old value went
  EXPECT_EQ(rt().locks(strs[0]), 1);

  rt().call(c, "Keep", strs, {true});  // untouched slot: nothing changes hands
  EXPECT_EQ(text(strs[0]), "renamed:x");
  EXPECT_EQ(rt().locks(strs[0]), 1);

  std::vector<Value> objs{Value()};
  rt().call(c, "Adopt", objs, {true});
  EXPECT_EQ(rt().className(objs[0]), "Counter");
  EXPECT_EQ(rt().locks(objs[0]), 1);
  objs.clear();
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, BoundMembersAndWhyOverloadsFail) {
  Value c = rt().newObject("Counter"), sub = rt().newObject("SubCounter");
  rt::Member add = rt().member("counter", "ADD", {I(0)});  // names ignore case
  EXPECT_EQ(add(c, {I(3)}).asInteger(), 10);
  EXPECT_EQ(add(sub, {I(3)}).asInteger(), 113);  // a subclass's override still answers: 107 + 2 * 3
  rt::Member count = rt().member("Counter", "Count");
  EXPECT_EQ(count(sub).asInteger(), 113);
  rt::Member echo = rt().member("Counter", "Echo", {rt().string("")});
  EXPECT_EQ(text(echo(c, {rt().string("hi")})), "hi");
  // Arguments that do not fit the chosen overload, and objects of other classes.
  try {
    add(c, {D(0.5)});
    ADD_FAILURE();
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("argument 1 is integer, not Double"), std::string::npos) << e.what();
  }
  Value old = rt().newObject("OldStyle");
  EXPECT_THROW(add(old, {I(1)}), UsageError);
  EXPECT_THROW(rt().member("Counter", "Add", {B(true)}), UsageError);
  EXPECT_THROW(rt::Member()(c), UsageError);
  // Calls by name say which type each overload wanted.
  try {
    rt().call(c, "Swap", {I(1), I(2)});
    ADD_FAILURE();
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("argument 1 is byref integer, not Integer"), std::string::npos) << e.what();
  }
  rt().callShared("Counter", "TakeLog");
}

TEST(RuntimeIndex, MembersRegisteredAfterALookupAreFound) {
  Runtime runtime;
  {
    Value movie = runtime.newMovie(nullptr);
    EXPECT_EQ(runtime.get(movie, "TimeScale").asInteger(), 0);  // indexes the movie class
    EXPECT_THROW(runtime.call(movie, "HasMovieZQK"), UsageError);
    runtime.loadPlugin(RUNTIME_FIXTURE_PATH);  // extends the movie class
    rt::Member has = runtime.member("movie", "HasMovieZQK");
    EXPECT_FALSE(runtime.call(movie, "HasMovieZQK").asBoolean());
    runtime.loadPlugin(RUNTIME_FIXTURE_PATH);  // extends it again: bound members stay where they were
    EXPECT_FALSE(has(movie).asBoolean());
  }
  EXPECT_TRUE(runtime.accounting().clean()) << runtime.leakReport();
}

TEST_F(RuntimeTest, DefaultsComeFromTheDeclaration) {
  Value c = rt().newObject("Counter");
  EXPECT_EQ(text(rt().call(c, "Scale", {I(3)})), "3*10+0.50 dflt on");
  EXPECT_EQ(text(rt().call(c, "Scale", {I(3), I(2), D(1.5)})), "3*2+1.50 dflt on");
  EXPECT_EQ(text(rt().call(c, "Scale", {I(1), I(2), I(3), rt().string("n"), B(false)})), "1*2+3.00 n off");
  EXPECT_THROW(rt().call(c, "Scale"), UsageError);
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, SharedMethodsConstantsAndTheOlderLayout) {
  EXPECT_EQ(rt().callShared("Counter", "Twice", {I(21)}).asInteger(), 42);
  Value made = rt().callShared("Counter", "Create", {I(5)});
  EXPECT_EQ(rt().get(made, "Count").asInteger(), 5);
  EXPECT_EQ(rt().locks(made), 1);

  EXPECT_EQ(rt().constant("Counter", "kAnswer").asInteger(), 42);
  EXPECT_EQ(text(rt().constant("Counter", "kName")), "ab cd");
  EXPECT_EQ(rt().constant("Counter", "kPi").asDouble(), 3.25);
  EXPECT_TRUE(rt().constant("Counter", "kOn").asBoolean());
  EXPECT_EQ(rt().constant("Counter", "kNeg").asInteger(), -3);
  EXPECT_EQ(rt().constant("Counter", "kHex").asInteger(), 16);
  EXPECT_EQ(rt().constant("SubCounter", "kAnswer").asInteger(), 42);  // inherited
  EXPECT_THROW(rt().constant("Counter", "kMissing"), UsageError);

  Value old = rt().newObject("OldStyle");
  EXPECT_EQ(rt().call(old, "Bump", {I(4)}).asInteger(), 4);
  EXPECT_EQ(rt().get(old, "Value").asInteger(), 4);
  rt().set(old, "Viewed", I(11));
  EXPECT_EQ(rt().get(old, "Value").asInteger(), 11);
  EXPECT_EQ(rt().constant("OldStyle", "kOld").asInteger(), 9);
  EXPECT_EQ(rt().callShared("OldStyle", "Nine").asInteger(), 9);
  EXPECT_EQ(rt().call(old, "Twice", {I(4)}).asInteger(), 8);  // older method records are 4 words
  EXPECT_EQ(rt().callShared("FixtureModule", "Triple", {I(4)}).asInteger(), 12);
  made = Value();
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, HostExceptionsSurfaceAfterTheCall) {
  Value c = rt().newObject("Counter");
  try {
    rt().call(c, "Fail", {I(1)});
    ADD_FAILURE() << "no exception";
  } catch (const HostException& e) {
    EXPECT_EQ(e.className(), "NilObjectException");  // the first one raised wins
    EXPECT_EQ(e.message(), "first");
    EXPECT_EQ(e.errorNumber(), 5);
  }
  try {
    rt().call(c, "Fail", {I(2)});
    ADD_FAILURE() << "no exception";
  } catch (const HostException& e) {
    EXPECT_EQ(e.className(), "RuntimeException");
    EXPECT_EQ(e.message(), "fallback");
  }
  EXPECT_THROW(rt().call(c, "Fail", {I(3)}), HostException);  // its result is released
  EXPECT_EQ(rt().call(c, "Add", {I(1)}).asInteger(), 8);     // nothing stays pending
  EXPECT_EQ(rt().entryCalls("REALSetPropValueInteger"), 4);

  // Older hosts know the integer setter only by its short name.
  Config older;
  older.refusedEntries = {"REALSetPropValueInteger"};
  c = Value();
  rt().callShared("Counter", "TakeLog");
  load(older);
  Value d = rt().newObject("Counter");
  try {
    rt().call(d, "Fail", {I(1)});
  } catch (const HostException& e) {
    EXPECT_EQ(e.errorNumber(), 5);
  }
  EXPECT_EQ(rt().entryCalls("REALSetPropValueInt"), 2);
}

TEST_F(RuntimeTest, ExceptionsFromConstructors) {
  try {
    rt().newObject("Fragile");
    ADD_FAILURE() << "no exception";
  } catch (const HostException& e) {
    EXPECT_EQ(e.className(), "InvalidArgumentException");
    EXPECT_EQ(e.errorNumber(), 3);
  }
  EXPECT_EQ(rt().accounting().liveObjects, 0);
  // Made by the plugin inside a call: the exception waits for the call to return.
  EXPECT_THROW(rt().callShared("Fragile", "Make"), HostException);
}

TEST(RuntimeDiagnostics, BadRegistrationsAreNotedAndTheRestStillWorks) {
  Config broken;
  broken.hostVersion = 1.0;  // asks the fixture for its broken records
  Runtime rt(broken);
  rt.loadPlugin(RUNTIME_FIXTURE_PATH);
  std::string all;
  for (const std::string& d : rt.diagnostics()) all += d + "\n";
  for (const char* expected : {"unknown superclass Missing", "\"Bad(x integer)\"", "\"Worse(\"", "kNoValue",
                               "Counter registered twice", "extension of unknown class NoSuchClass",
                               "extends unknown class Nothing"})
    EXPECT_NE(all.find(expected), std::string::npos) << expected << " missing from:\n" << all;
  Value b = rt.newObject("Broken");
  EXPECT_EQ(rt.call(b, "Ok").asInteger(), 1);
  b = Value();
  EXPECT_TRUE(rt.accounting().clean()) << rt.leakReport();
}

TEST(RuntimeFrameworks, TheConfiguredFolderLastsAsLongAsTheRuntime) {
  FSRef ref;
  {
    Config none;
    none.frameworksFolder = "";
    Runtime rt(none);
    EXPECT_NE(FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &ref), noErr);
  }
  Config tmp;
  tmp.frameworksFolder = "/tmp";
  Runtime rt(tmp);
  ASSERT_EQ(FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &ref), noErr);
  EXPECT_STREQ(ref.path, "/tmp");
}

TEST_F(RuntimeTest, StringsKeepEncodingsAndConvertWithIconv) {
  Value c = rt().newObject("Counter");
  Value e = rt().string("\xC3\xA9");  // é in UTF-8
  auto convert = [&](const Value& s, uint32_t enc) { return rt().call(c, "Convert", {s, I(enc)}); };
  struct Case {
    uint32_t encoding;
    std::string bytes;  // empty: not representable
  } cases[] = {
      {kREALEncodingMacRoman, "\x8E"},
      {kREALEncodingWindowsLatin1, "\xE9"},
      {kREALEncodingUTF16, std::string("\xE9\x00", 2)},
      {kREALEncodingUTF32, std::string("\xE9\x00\x00\x00", 4)},
      {kREALEncodingUTF8, "\xC3\xA9"},
      {kREALEncodingASCII, ""},
  };
  for (const Case& k : cases) {
    Value out = convert(e, k.encoding);
    if (k.bytes.empty()) {
      EXPECT_TRUE(out.isNil()) << k.encoding;
      continue;
    }
    ASSERT_FALSE(out.isNil()) << k.encoding;
    EXPECT_EQ(text(out), k.bytes) << k.encoding;
    EXPECT_EQ(rt().encoding(out), k.encoding);
    EXPECT_EQ(rt().utf8(out), "\xC3\xA9");  // and back
  }
  // Bytes of unknown encoding convert only while they are ASCII.
  Value unknownAscii = rt().string("abc", kREALEncodingUnknown);
  EXPECT_EQ(text(convert(unknownAscii, kREALEncodingUTF16)), std::string("a\0b\0c\0", 6));
  EXPECT_TRUE(convert(rt().string("\xE9", kREALEncodingUnknown), kREALEncodingUTF8).isNil());

  EXPECT_EQ(rt().call(c, "Encoding", {e}).asInteger(), kREALEncodingUTF8);
  Value raw = rt().call(c, "Raw", {rt().string(std::string("a\0b", 3), kREALEncodingMacRoman)});
  EXPECT_EQ(text(raw), std::string("a\0b", 3));  // read through the older record layout
  EXPECT_EQ(rt().encoding(raw), kREALEncodingMacRoman);
  EXPECT_EQ(rt().call(c, "LenB", {rt().string(std::string("a\0b\xC3\xA9", 5))}).asInteger(), 5);
  EXPECT_EQ(rt().call(c, "Echo", {e}).asString(), e.asString());
  EXPECT_EQ(rt().locks(e), 1);

  // PluginGetStringData hands out converted, terminated bytes until given back.
  EXPECT_EQ(text(rt().call(c, "StringData", {e, I(kREALEncodingUTF16)})), "E900");
  EXPECT_EQ(text(rt().call(c, "StringData", {e, I(kREALEncodingMacRoman)})), "8E");
  EXPECT_EQ(text(rt().call(c, "StringData", {e, I(kREALEncodingASCII)})), "!");
  EXPECT_EQ(text(rt().call(c, "StringData", {rt().string(""), I(kREALEncodingUTF8)})), "");
  EXPECT_EQ(rt().entryCalls("PluginDisposeStringData"), 3);
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, GlobalMethodsByDeclaration) {
  auto load = reinterpret_cast<REALLoadGlobalMethodProc>(rt().resolver()("REALLoadGlobalMethod"));
  ASSERT_NE(load, nullptr);
  auto lenB = reinterpret_cast<REALLenBProc>(load(nullptr, "LenB( s as string ) as integer"));
  ASSERT_NE(lenB, nullptr);
  EXPECT_EQ(reinterpret_cast<REALproc>(lenB), load(nullptr, "lenb(s As String) As Integer"));
  EXPECT_EQ(load(nullptr, "Len( s as string ) as integer"), nullptr);
  EXPECT_EQ(load("SomeModule", "LenB( s as string ) as integer"), nullptr);
  Value s = rt().string("four");
  EXPECT_EQ(lenB(s.asString()), 4);
}

TEST_F(RuntimeTest, MemoryBlocksAndArrays) {
  Value c = rt().newObject("Counter");
  Value m = rt().call(c, "MakeBlock", {I(4)});
  EXPECT_EQ(rt().className(m), "MemoryBlock");
  EXPECT_EQ(text(m), "\x01\x02\x03\x04");  // zero-filled before the fixture added to it
  EXPECT_EQ(rt().accounting().liveMemoryBlocks, 1);
  EXPECT_EQ(rt().call(c, "BlockSize", {m}).asInteger(), 4);
  EXPECT_EQ(rt().call(c, "BlockSize", {rt().newMemoryBlock("abc")}).asInteger(), 3);
  EXPECT_EQ(rt().call(c, "BlockSize", {Value()}).asInteger(), -1);
  EXPECT_EQ(rt().call(c, "MakeBlock", {I(0)}).isNil(), false);
  EXPECT_TRUE(rt().call(c, "MakeBlock", {I(-1)}).isNil());
  rt().config().failMemoryBlocks = true;
  EXPECT_TRUE(rt().call(c, "MakeBlock", {I(4)}).isNil());
  rt().config().failMemoryBlocks = false;

  Value a = rt().newObject("Counter");
  Value b = rt().callShared("Counter", "Create", {I(5)});
  Value arr = rt().newObjectArray({a, Value(), b});
  EXPECT_EQ(rt().locks(a), 2);
  EXPECT_EQ(rt().call(c, "SumArray", {arr}).asInteger(), 12);
  EXPECT_EQ(rt().locks(a), 2);  // every element read was given back
  EXPECT_THROW(rt().call(c, "SumArray", {a}), UsageError);
  arr = Value();
  EXPECT_EQ(rt().locks(a), 1);
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, MoviesThroughClassExtensionAndModule) {
  int created = 0, disposed = 0;
  static int token;
  rt().setMovieProvider({[&]() -> void* {
                           ++created;
                           return &token;
                         },
                         [&](void* m) {
                           EXPECT_EQ(m, &token);
                           ++disposed;
                         }});
  {
    Value movie = rt().newMovie();
    EXPECT_EQ(rt().call(movie, "MoviePtrZQK").asInteger(), reinterpret_cast<intptr_t>(&token));
    EXPECT_TRUE(rt().call(movie, "HasMovieZQK").asBoolean());
    rt().set(movie, "RateZQK", D(2.5));  // property-like, from the class extension
    EXPECT_EQ(rt().get(movie, "ModuleRateZQK").asDouble(), 2.5);
    rt().set(movie, "ModuleRateZQK", I(3));  // "assigns value", from the module
    EXPECT_EQ(rt().get(movie, "RateZQK").asDouble(), 3.0);
    Value borrowed = rt().newMovie(nullptr);
    EXPECT_FALSE(rt().call(borrowed, "HasMovieZQK").asBoolean());
  }
  EXPECT_EQ(created, 1);
  EXPECT_EQ(disposed, 1);
  rt().setMovieProvider({});
}

TEST_F(RuntimeTest, FolderItemsNameFilesByPath) {
  Value c = rt().newObject("Counter");
  Value f = rt().call(c, "FileOf", {rt().string("/tmp")});
  ASSERT_EQ(rt().className(f), "FolderItem");
  EXPECT_EQ(text(rt().get(f, "NativePath")), "/tmp");
  EXPECT_EQ(text(rt().call(c, "RefPath", {f})), "/tmp");
  // An FSRef names only what exists.
  Value missing = rt().newFolderItem("/tmp/pelorin-no-such-file");
  EXPECT_EQ(text(rt().call(c, "RefPath", {missing})), "!");
  EXPECT_EQ(text(rt().call(c, "RefPath", {Value()})), "!");
  EXPECT_TRUE(rt().call(c, "FileOf", {rt().string("")}).isNil());
  EXPECT_THROW(rt().call(c, "RefPath", {c}), UsageError);
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, EachRuntimeGetsAPristinePlugin) {
  Value movie = rt().newMovie(nullptr);
  rt().set(movie, "RateZQK", D(4.0));
  {
    Runtime second;
    second.loadPlugin(RUNTIME_FIXTURE_PATH);
    Value other = second.newMovie(nullptr);
    EXPECT_EQ(second.get(other, "RateZQK").asDouble(), 1.0);  // fresh globals
    Value c = second.newObject("Counter");
    EXPECT_EQ(text(rt().callShared("Counter", "TakeLog")), "");  // entries went to the second runtime
    c = Value();
    other = Value();
    EXPECT_TRUE(second.accounting().clean()) << second.leakReport();
  }
  // The first runtime is current again once the second is gone.
  EXPECT_EQ(rt().get(movie, "RateZQK").asDouble(), 4.0);
  Value c = rt().newObject("Counter");
  EXPECT_EQ(text(rt().callShared("Counter", "TakeLog")), "C+");
}

TEST_F(RuntimeTest, ConfigurationShapesWhatThePluginSees) {
  Value c = rt().newObject("Counter");
  auto has = [&](const char* name) { return rt().call(c, "Resolve", {rt().string(name)}).asBoolean(); };
  EXPECT_TRUE(has("newMemoryBlock"));
  rt().config().refusedEntries.insert("newMemoryBlock");
  EXPECT_FALSE(has("newMemoryBlock"));
  rt().config().refusedEntries.clear();
  EXPECT_TRUE(has("newMemoryBlock"));  // asked again, answered this time
  EXPECT_EQ(rt().resolverQueries("newMemoryBlock"), 3);
  EXPECT_TRUE(has("REALGetPropValueBool"));
  EXPECT_TRUE(has("unlockPictureDescription"));
  EXPECT_FALSE(has("REALGetPropValueBoolean"));
  EXPECT_TRUE(has("REALGetRBVersion"));

  auto classRef = [&](const char* name) { return rt().call(c, "ClassRef", {rt().string(name)}).asInteger() != 0; };
  EXPECT_TRUE(classRef("Application"));
  EXPECT_FALSE(classRef("ConsoleApplication"));
  EXPECT_TRUE(classRef("SubCounter"));
  EXPECT_FALSE(classRef("NoSuchClass"));
  c = Value();
  rt().callShared("Counter", "TakeLog");

  Config console;
  console.appKind = rt::AppKind::Console;
  console.hostVersion.reset();
  console.refusedInstanceClasses = {"Counter"};
  load(console);
  EXPECT_TRUE(rt().callShared("Counter", "Create", {I(1)}).isNil());
  Value sub = rt().newObject("SubCounter");  // refusal binds the plugin, not user code
  EXPECT_FALSE(rt().call(sub, "Resolve", {rt().string("REALGetRBVersion")}).asBoolean());
  EXPECT_TRUE(rt().call(sub, "ClassRef", {rt().string("ConsoleApplication")}).asInteger() != 0);
  EXPECT_FALSE(rt().call(sub, "ClassRef", {rt().string("Application")}).asInteger() != 0);
  sub = Value();
  rt().callShared("Counter", "TakeLog");
}

TEST_F(RuntimeTest, CallsPassEveryCType) {
  Value c = rt().newObject("Counter");
  EXPECT_EQ(rt().call(c, "Mix", {D(1.5), Value::color(0x0000FF), B(false)}).asColor(), 3u);
  EXPECT_EQ(rt().call(c, "Mix", {D(1.5), Value::color(0x0000FF), B(true)}).asColor(), 0xFFFF00u);
  EXPECT_EQ(rt().call(c, "Widths", {I(-1), I(65535), I(-10)}).asInteger(), 65524);
  EXPECT_EQ(rt().call(c, "Peek", {Value()}).asInteger(), -1);
  EXPECT_EQ(rt().call(c, "Peek", {c}).asInteger(), 7);
  rt().callShared("Counter", "TakeLog");
}

TEST(RuntimeAccounting, CountsLeaksOverReleasesAndBadReferences) {
  Runtime rt;
  rt.loadPlugin(RUNTIME_FIXTURE_PATH);
  {
    Value c = rt.newObject("Counter");
    Value s = rt.string("victim");
    rt.call(c, "OverRelease", {s});  // the plugin drops a lock it never had
    EXPECT_EQ(rt.accounting().overReleases, 0);
    EXPECT_EQ(rt.locks(s), 0);
  }
  EXPECT_EQ(rt.accounting().overReleases, 1);  // our Value's release found it gone

  REALResolver resolve = rt.resolver();
  REALobject dead;
  {
    Value c = rt.newObject("Counter");
    dead = c.asObject();
  }
  reinterpret_cast<REALLockObjectProc>(resolve("REALLockObject"))(dead);
  EXPECT_EQ(rt.accounting().overReleases, 2);
  int notAnObject = 0;
  reinterpret_cast<REALUnlockObjectProc>(resolve("REALUnlockObject"))(reinterpret_cast<REALobject>(&notAnObject));
  EXPECT_EQ(rt.accounting().invalidReferences, 1);

  REALstringData d{};
  Value s = rt.string("x");
  ASSERT_TRUE(reinterpret_cast<PluginGetStringDataProc>(resolve("PluginGetStringData"))(s.asString(), kREALEncodingUTF8, &d));
  EXPECT_EQ(rt.accounting().liveStringData, 1);
  REALstringData copy = d;
  reinterpret_cast<PluginDisposeStringDataProc>(resolve("PluginDisposeStringData"))(&d);
  reinterpret_cast<PluginDisposeStringDataProc>(resolve("PluginDisposeStringData"))(&copy);
  EXPECT_EQ(rt.accounting().liveStringData, 0);
  EXPECT_EQ(rt.accounting().overReleases, 3);
  EXPECT_FALSE(rt.accounting().clean());
}

TEST(RuntimeExceptions, RaisedOutsideACallWaitForTakeException) {
  Runtime rt;
  REALResolver resolve = rt.resolver();
  auto make = reinterpret_cast<PluginNewInstanceProc>(resolve("PluginNewInstance"));
  REALobject e = make("OutOfMemoryException");
  ASSERT_NE(e, nullptr);
  Value msg = rt.string("no room");
  EXPECT_TRUE(reinterpret_cast<REALSetPropValueStringProc>(resolve("REALSetPropValueString"))(e, "Message", msg.asString()));
  EXPECT_FALSE(reinterpret_cast<REALSetPropValueIntegerProc>(resolve("REALSetPropValueInteger"))(e, "NoSuchProperty", 1));
  reinterpret_cast<RuntimeRaiseExceptionProc>(resolve("RuntimeRaiseException"))(e);
  reinterpret_cast<REALUnlockObjectProc>(resolve("REALUnlockObject"))(e);
  EXPECT_EQ(rt.accounting().liveObjects, 1);  // the pending exception keeps it
  auto taken = rt.takeException();
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->className(), "OutOfMemoryException");
  EXPECT_EQ(taken->message(), "no room");
  EXPECT_FALSE(rt.takeException());
  msg = Value();
  EXPECT_TRUE(rt.accounting().clean()) << rt.leakReport();
}

}  // namespace

namespace {

TEST(RuntimeLifetime, ValuesOutlivingTheirRuntimeReleaseNothing) {
  Value s, block;
  auto first = std::make_unique<Runtime>();
  s = first->string("x");
  block = first->newMemoryBlock("ab");
  EXPECT_EQ(first->accounting().liveStrings, 1);
  first.reset();
  auto second = std::make_unique<Runtime>();  // likely at the same address
  s = Value();
  block = Value();
  EXPECT_TRUE(second->accounting().clean()) << second->leakReport();
}

}  // namespace
