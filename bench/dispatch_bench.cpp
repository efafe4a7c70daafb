// Host -> plugin calls through the runtime: a property get, a method of three
// integers and a method returning a string, each called as a bound member
// (resolved once), by name, and as a plain libffi call of the same C function.
// After the runs a table puts each form beside the plain call.
#include <pelorin/runtime.h>

#include <benchmark/benchmark.h>
#include <ffi.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using rt::Value;

// One runtime with the fixture plugin loaded, and the functions behind the members.
struct Host {
  rt::Runtime runtime;
  Value counter;
  REALproc getDoubled = nullptr, sum3 = nullptr, echo = nullptr;
  REALUnlockStringProc unlockString = nullptr;

  Host() {
    runtime.loadPlugin(RUNTIME_FIXTURE_PATH);
    counter = runtime.newObject("Counter");
    const auto* cls = static_cast<const REALclassDefinition*>(runtime.registrations().front().record);
    for (uintptr_t i = 0; i < cls->propertyCount; ++i)
      if (std::strcmp(cls->properties[i].name, "Doubled") == 0) getDoubled = cls->properties[i].getter;
    for (uintptr_t i = 0; i < cls->methodCount; ++i) {
      const std::string text = cls->methods[i].declaration;
      if (text.rfind("Sum3(", 0) == 0) sum3 = cls->methods[i].function;
      if (text.rfind("Echo(", 0) == 0) echo = cls->methods[i].function;
    }
    unlockString = reinterpret_cast<REALUnlockStringProc>(runtime.resolver()("REALUnlockString"));
  }
};

Host& host() {
  static auto* h = new Host();  // lives to the end: benchmarks share it
  return *h;
}

// A prepared libffi call of `fn` with these argument types.
struct PlainCall {
  std::vector<ffi_type*> types;
  ffi_cif cif{};
  REALproc fn;
  PlainCall(REALproc f, std::vector<ffi_type*> t, ffi_type* result) : types(std::move(t)), fn(f) {
    ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(types.size()), result, types.data());
  }
  void operator()(void* result, void** args) { ffi_call(&cif, reinterpret_cast<void (*)()>(fn), result, args); }
  // Times calls with an integral result.
  void time(benchmark::State& state, void** args) {
    for (auto _ : state) {
      ffi_arg out;
      (*this)(&out, args);
      benchmark::DoNotOptimize(out);
    }
  }
};

void BM_PropertyGet_Plain(benchmark::State& state) {
  Host& h = host();
  PlainCall call(h.getDoubled, {&ffi_type_pointer, &ffi_type_sint64}, &ffi_type_sint64);
  void* self = h.counter.asObject();
  RBInteger param = 2;
  void* args[] = {&self, &param};
  call.time(state, args);
}

void BM_PropertyGet_Bound(benchmark::State& state) {
  Host& h = host();
  const rt::Member doubled = h.runtime.member("Counter", "Doubled");
  for (auto _ : state) benchmark::DoNotOptimize(doubled(h.counter).asInteger());
}

void BM_PropertyGet_ByName(benchmark::State& state) {
  Host& h = host();
  for (auto _ : state) benchmark::DoNotOptimize(h.runtime.get(h.counter, "Doubled").asInteger());
}

void BM_ThreeIntegers_Plain(benchmark::State& state) {
  Host& h = host();
  PlainCall call(h.sum3, {&ffi_type_pointer, &ffi_type_sint64, &ffi_type_sint64, &ffi_type_sint64},
                 &ffi_type_sint64);
  void* self = h.counter.asObject();
  RBInteger a = 1, b = 2, c = 3;
  void* args[] = {&self, &a, &b, &c};
  call.time(state, args);
}

void BM_ThreeIntegers_Bound(benchmark::State& state) {
  Host& h = host();
  const rt::Member sum3 = h.runtime.member("Counter", "Sum3", {Value::integer(0), Value::integer(0), Value::integer(0)});
  const Value args[] = {Value::integer(1), Value::integer(2), Value::integer(3)};
  for (auto _ : state) benchmark::DoNotOptimize(sum3.call(h.counter, args).asInteger());
}

void BM_ThreeIntegers_ByName(benchmark::State& state) {
  Host& h = host();
  const std::vector<Value> args{Value::integer(1), Value::integer(2), Value::integer(3)};
  for (auto _ : state) benchmark::DoNotOptimize(h.runtime.call(h.counter, "Sum3", args).asInteger());
}

void BM_StringResult_Plain(benchmark::State& state) {
  Host& h = host();
  PlainCall call(h.echo, {&ffi_type_pointer, &ffi_type_pointer}, &ffi_type_pointer);
  const Value text = h.runtime.string("chapter title");
  void* self = h.counter.asObject();
  void* s = text.asString();
  void* args[] = {&self, &s};
  for (auto _ : state) {
    void* out = nullptr;
    call(&out, args);
    h.unlockString(static_cast<REALstring>(out));  // the lock the result carried
  }
}

void BM_StringResult_Bound(benchmark::State& state) {
  Host& h = host();
  const Value text = h.runtime.string("chapter title");
  const rt::Member echo = h.runtime.member("Counter", "Echo", {text});
  for (auto _ : state) benchmark::DoNotOptimize(echo.call(h.counter, {&text, 1}).asString());
}

void BM_StringResult_ByName(benchmark::State& state) {
  Host& h = host();
  const std::vector<Value> args{h.runtime.string("chapter title")};
  for (auto _ : state) benchmark::DoNotOptimize(h.runtime.call(h.counter, "Echo", args).asString());
}

BENCHMARK(BM_PropertyGet_Plain);
BENCHMARK(BM_PropertyGet_Bound);
BENCHMARK(BM_PropertyGet_ByName);
BENCHMARK(BM_ThreeIntegers_Plain);
BENCHMARK(BM_ThreeIntegers_Bound);
BENCHMARK(BM_ThreeIntegers_ByName);
BENCHMARK(BM_StringResult_Plain);
BENCHMARK(BM_StringResult_Bound);
BENCHMARK(BM_StringResult_ByName);

// Keeps each run's time per call, "PropertyGet" -> "Bound" -> ns, for the table.
class Collector : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::map<std::string, double>> ns;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const std::string name = r.benchmark_name();  // BM_PropertyGet_Bound
      const size_t cut = name.rfind('_');
      ns[name.substr(3, cut - 3)][name.substr(cut + 1)] = r.GetAdjustedCPUTime();
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (!*RUNTIME_FIXTURE_PATH) {
    std::printf("dispatch_bench needs the runtime tests' fixture plugin: configure with PELORIN_TESTS=ON\n");
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  std::printf("\n%-14s %10s %10s %8s %10s %8s\n", "call", "plain ns", "bound ns", "bound/x", "name ns", "name/x");
  for (const auto& [call, forms] : collector.ns) {
    auto at = [&](const char* form) { return forms.count(form) ? forms.at(form) : 0.0; };
    const double plain = at("Plain");
    std::printf("%-14s %10.1f %10.1f %7.1fx %10.1f %7.1fx\n", call.c_str(), plain, at("Bound"),
                plain > 0 ? at("Bound") / plain : 0.0, at("ByName"), plain > 0 ? at("ByName") / plain : 0.0);
  }
  std::printf("targets: bound within 3x of plain; by name under 150 ns\n");
  benchmark::Shutdown();
  // The host's objects go before the runtime that made them.
  host().counter = Value();
  return 0;
}
