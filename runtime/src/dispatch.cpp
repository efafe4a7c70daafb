// Calling the plugin as user code: members found by name on the object's class
// chain, overloads chosen by argument kinds, values converted into C slots by the
// declared host types and called through libffi.
#include <cmath>
#include <cstring>

#include "internal.h"

namespace rt {

namespace {

ffi_type* ffiTypeOf(CType t) {
  switch (t) {
    case CType::None: return &ffi_type_void;
    case CType::Integer: return sizeof(RBInteger) == 8 ? &ffi_type_sint64 : &ffi_type_sint32;
    case CType::Int8: return &ffi_type_sint8;
    case CType::Int16: return &ffi_type_sint16;
    case CType::Int32: return &ffi_type_sint32;
    case CType::Int64: return &ffi_type_sint64;
    case CType::UInt8: return &ffi_type_uint8;
    case CType::UInt16: return &ffi_type_uint16;
    case CType::UInt32: return &ffi_type_uint32;
    case CType::UInt64: return &ffi_type_uint64;
    case CType::Boolean: return &ffi_type_uint8;
    case CType::Double: return &ffi_type_double;
    case CType::Single: return &ffi_type_float;
    case CType::Color: return &ffi_type_uint32;
    case CType::String:
    case CType::Object:
    case CType::Pointer: return &ffi_type_pointer;
  }
  return &ffi_type_void;
}

// One C argument or result: wide enough for any scalar, and for ffi's rule that
// small integral results are widened to a full register.
union Slot {
  int64_t i64;
  uint64_t u64;
  RBInteger integer;
  double d;
  float f;
  uint32_t u32;
  int32_t i32;
  int16_t i16;
  uint16_t u16;
  int8_t i8;
  uint8_t u8;
  bool b;
  void* p;
  ffi_arg widened;
};

// Writes an integral value into a slot at the width of its C type.
void storeIntegral(CType t, int64_t v, Slot& s) {
  switch (t) {
    case CType::Int8: s.i8 = static_cast<int8_t>(v); break;
    case CType::Int16: s.i16 = static_cast<int16_t>(v); break;
    case CType::Int32: s.i32 = static_cast<int32_t>(v); break;
    case CType::UInt8: s.u8 = static_cast<uint8_t>(v); break;
    case CType::UInt16: s.u16 = static_cast<uint16_t>(v); break;
    case CType::UInt32: s.u32 = static_cast<uint32_t>(v); break;
    case CType::Pointer: s.p = reinterpret_cast<void*>(static_cast<intptr_t>(v)); break;
    case CType::Int64: case CType::UInt64: s.i64 = v; break;
    default: s.integer = static_cast<RBInteger>(v); break;
  }
}

int64_t loadIntegral(CType t, const Slot& s, bool widenedResult) {
  // libffi widens small integral results to ffi_arg; arguments keep their width.
  if (widenedResult) {
    switch (t) {
      case CType::Int8: return static_cast<int8_t>(s.widened);
      case CType::Int16: return static_cast<int16_t>(s.widened);
      case CType::Int32: return static_cast<int32_t>(s.widened);
      case CType::UInt8: return static_cast<uint8_t>(s.widened);
      case CType::UInt16: return static_cast<uint16_t>(s.widened);
      case CType::UInt32: return static_cast<uint32_t>(s.widened);
      default: break;
    }
  }
  switch (t) {
    case CType::Int8: return s.i8;
    case CType::Int16: return s.i16;
    case CType::Int32: return s.i32;
    case CType::UInt8: return s.u8;
    case CType::UInt16: return s.u16;
    case CType::UInt32: return s.u32;
    case CType::Pointer: return static_cast<int64_t>(reinterpret_cast<intptr_t>(s.p));
    case CType::Int64: case CType::UInt64: return s.i64;
    default: return s.integer;
  }
}

const char* kindName(Value::Kind k) {
  switch (k) {
    case Value::Kind::Nil: return "nil";
    case Value::Kind::Integer: return "Integer";
    case Value::Kind::Boolean: return "Boolean";
    case Value::Kind::Double: return "Double";
    case Value::Kind::Color: return "Color";
    case Value::Kind::String: return "String";
    case Value::Kind::Object: return "Object";
  }
  return "?";
}

}  // namespace

// How well a value fits a declared type: 2 exactly, 1 after a conversion the
// host language makes implicitly, 0 not at all.
static int fit(Impl& impl, const TypeRef& t, const Value& v) {
  using K = Value::Kind;
  switch (t.ctype) {
    case CType::None: return 0;
    case CType::Boolean: return v.kind() == K::Boolean ? 2 : 0;
    case CType::Double:
    case CType::Single: return v.kind() == K::Double ? 2 : v.kind() == K::Integer ? 1 : 0;
    case CType::Color: return v.kind() == K::Color ? 2 : v.kind() == K::Integer ? 1 : 0;
    case CType::String: return v.kind() == K::String ? 2 : v.isNil() ? 1 : 0;
    case CType::Object: {
      if (v.isNil()) return 1;
      if (v.kind() != K::Object) return 0;
      ObjectRecord* r = impl.recordOf(v.asObject());
      if (!r || !r->alive) return 0;
      if (t.array) return r->cls->builtin == Builtin::Array ? 2 : 0;
      if (sameName(t.name, "object") || sameName(t.name, "variant")) return 1;
      const ClassInfo* want = impl.findClass(t.name);
      return want && r->cls->isA(want) ? 2 : 0;
    }
    default: return v.kind() == K::Integer ? 2 : 0;  // the integral types
  }
}

// Converts a user value into a C argument slot; the value must fit.
static void toSlot(CType t, const Value& v, Slot& s) {
  s.u64 = 0;
  switch (t) {
    case CType::Boolean: s.b = v.asBoolean(); break;
    case CType::Double: s.d = v.kind() == Value::Kind::Integer ? static_cast<double>(v.asInteger()) : v.asDouble(); break;
    case CType::Single:
      s.f = static_cast<float>(v.kind() == Value::Kind::Integer ? static_cast<double>(v.asInteger()) : v.asDouble());
      break;
    case CType::Color: s.u32 = v.kind() == Value::Kind::Integer ? static_cast<uint32_t>(v.asInteger()) : v.asColor(); break;
    case CType::String: s.p = v.isNil() ? nullptr : v.asString(); break;
    case CType::Object: s.p = v.isNil() ? nullptr : v.asObject(); break;
    case CType::None: break;
    default: storeIntegral(t, v.asInteger(), s); break;
  }
}

Value Impl::adopt(CType t, void* ref) {
  if (!ref) return Value();
  if (t == CType::String) {
    if (!liveString(static_cast<REALstring>(ref), "returned string")) return Value();
    return Value::adoptString(runtime, static_cast<REALstring>(ref));
  }
  if (!liveObject(static_cast<REALobject>(ref), "returned object")) return Value();
  return Value::adoptObject(runtime, static_cast<REALobject>(ref));
}

// Reads a C value back; strings and objects are new references the caller owns.
static Value fromSlot(Impl& impl, CType t, const Slot& s, bool result) {
  switch (t) {
    case CType::None: return Value();
    case CType::Boolean: return Value::boolean(result ? (s.widened & 0xFF) != 0 : s.b);
    case CType::Double: return Value::real(s.d);
    case CType::Single: return Value::real(s.f);
    case CType::Color: return Value::color(result ? static_cast<uint32_t>(s.widened) : s.u32);
    case CType::String:
    case CType::Object: return impl.adopt(t, s.p);
    default: return Value::integer(loadIntegral(t, s, result));
  }
}

namespace {

// One argument as the call will pass it.
struct Arg {
  CType type;
  bool byref = false;
  const Value* value = nullptr;  // null: `raw` is passed
  void* raw = nullptr;
  Value* writeBack = nullptr;    // byref: the user's value
};

// Keeps the call depth: host exceptions surface only when the outermost call
// returns, never through the plugin's own frames.
struct DepthGuard {
  explicit DepthGuard(int& d) : depth(d) { ++depth; }
  ~DepthGuard() { --depth; }
  int& depth;
};

}  // namespace

static thread_local int tCallDepth = 0;

static Value callThrough(Impl& impl, REALproc fn, CallPlan& plan, const std::vector<Arg>& args, CType result) {
  if (!plan.ready) {
    plan.argTypes.clear();
    for (const Arg& a : args) plan.argTypes.push_back(a.byref ? &ffi_type_pointer : ffiTypeOf(a.type));
    if (ffi_prep_cif(&plan.cif, FFI_DEFAULT_ABI, static_cast<unsigned>(plan.argTypes.size()), ffiTypeOf(result),
                     plan.argTypes.data()) != FFI_OK)
      throw UsageError("cannot prepare a C call interface");
    plan.ready = true;
  }
  std::vector<Slot> slots(args.size());
  std::vector<Slot> cells(args.size());  // what byref slots point at
  std::vector<void*> values(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    const Arg& a = args[i];
    Slot& target = a.byref ? cells[i] : slots[i];
    if (a.value) toSlot(a.type, *a.value, target);
    else target.p = a.raw;
    if (a.byref) slots[i].p = &cells[i];
    values[i] = &slots[i];
  }
  Slot ret{};
  const bool outermost = tCallDepth == 0;
  {
    CurrentScope scope(&impl);
    DepthGuard depth(tCallDepth);
    ffi_call(&plan.cif, reinterpret_cast<void (*)()>(fn), &ret, values.data());
  }
  Value out = fromSlot(impl, result, ret, true);
  for (size_t i = 0; i < args.size(); ++i) {
    const Arg& a = args[i];
    if (!a.byref || !a.writeBack) continue;
    if (a.type == CType::String || a.type == CType::Object) {
      void* before = a.value && !a.value->isNil()
                         ? (a.type == CType::String ? static_cast<void*>(a.value->asString())
                                                    : static_cast<void*>(a.value->asObject()))
                         : nullptr;
      // A byref slot carries the variable's own lock. A callee that stores a new
      // reference has released the old one and hands over a lock on the new.
      if (cells[i].p != before) {
        a.writeBack->forget();
        *a.writeBack = impl.adopt(a.type, cells[i].p);
      }
    } else {
      *a.writeBack = fromSlot(impl, a.type, cells[i], false);
    }
  }
  if (outermost && impl.pendingException) impl.throwPending();
  return out;
}

void Impl::runProc(REALproc f, REALobject self) {
  CurrentScope scope(this);
  DepthGuard depth(tCallDepth);
  reinterpret_cast<void (*)(REALobject)>(f)(self);
}

Value Impl::invoke(MethodInfo& m, REALobject self, const std::vector<const Value*>& args,
                   const std::vector<Value*>& byrefSlots) {
  std::vector<Arg> c;
  if (!m.shared && !m.decl.extendsParam()) c.push_back({CType::Object, false, nullptr, self, nullptr});
  size_t next = 0;
  for (const Param& p : m.decl.params) {
    if (p.extends) {
      c.push_back({CType::Object, false, nullptr, self, nullptr});
      continue;
    }
    Value* slot = next < byrefSlots.size() ? byrefSlots[next] : nullptr;
    c.push_back({p.type.ctype, p.byref, args[next], nullptr, p.byref ? slot : nullptr});
    ++next;
  }
  return callThrough(*this, m.function, m.plan, c, m.decl.result.ctype);
}

// ---- properties ----

const PropertyInfo* Impl::findProperty(const ClassInfo* cls, std::string_view name) const {
  for (const ClassInfo* c = cls; c; c = c->super)
    for (const PropertyInfo& p : c->properties)
      if (sameName(p.name, name)) return &p;
  return nullptr;
}

Value Impl::getProperty(ObjectRecord& r, const PropertyInfo& p) {
  REALobject self = reinterpret_cast<REALobject>(r.memory);
  switch (p.kind) {
    case PropertyKind::Builtin:
      return p.builtinGet(*this, r);
    case PropertyKind::Accessor: {
      if (!p.getter) throw UsageError("property " + p.name + " cannot be read");
      Value param = Value::integer(p.word6);
      std::vector<Arg> c{{CType::Object, false, nullptr, self, nullptr}, {CType::Integer, false, &param, nullptr, nullptr}};
      return callThrough(*this, p.getter, p.getPlan, c, p.type.ctype);
    }
    case PropertyKind::Direct: {
      unsigned char* field = r.memory + p.owner->dataStart + p.word6;
      Slot s{};
      switch (p.type.ctype) {
        case CType::Boolean: {
          // A 32-bit field of which only the first byte counts.
          unsigned char first;
          std::memcpy(&first, field, 1);
          return Value::boolean(first != 0);
        }
        case CType::String:
        case CType::Object: {
          std::memcpy(&s.p, field, sizeof s.p);
          if (!s.p) return Value();
          if (p.type.ctype == CType::String)
            return liveString(static_cast<REALstring>(s.p), p.name.c_str())
                       ? Value::retainString(runtime, static_cast<REALstring>(s.p))
                       : Value();
          return liveObject(static_cast<REALobject>(s.p), p.name.c_str())
                     ? Value::retainObject(runtime, static_cast<REALobject>(s.p))
                     : Value();
        }
        case CType::Double: std::memcpy(&s.d, field, sizeof s.d); break;
        case CType::Single: std::memcpy(&s.f, field, sizeof s.f); break;
        case CType::Color: std::memcpy(&s.u32, field, sizeof s.u32); break;
        case CType::Integer: std::memcpy(&s.integer, field, sizeof s.integer); break;
        case CType::Int8: case CType::UInt8: std::memcpy(&s.u8, field, 1); break;
        case CType::Int16: case CType::UInt16: std::memcpy(&s.u16, field, 2); break;
        case CType::Int32: case CType::UInt32: std::memcpy(&s.u32, field, 4); break;
        case CType::Int64: case CType::UInt64: std::memcpy(&s.u64, field, 8); break;
        case CType::Pointer: std::memcpy(&s.p, field, sizeof s.p); break;
        case CType::None: break;
      }
      return fromSlot(*this, p.type.ctype, s, false);
    }
  }
  return Value();
}

void Impl::setProperty(ObjectRecord& r, const PropertyInfo& p, const Value& v) {
  if (!fit(*this, p.type, v))
    throw UsageError("property " + p.name + " is " + p.type.name + ", not " + kindName(v.kind()));
  REALobject self = reinterpret_cast<REALobject>(r.memory);
  if (p.kind == PropertyKind::Builtin) {
    if (!p.builtinSet || !p.builtinSet(*this, r, v)) throw UsageError("property " + p.name + " cannot be set");
    return;
  }
  if (p.kind == PropertyKind::Accessor || p.setter != REAL_DIRECT_PROPERTY) {
    if (!p.setter || p.setter == REAL_DIRECT_PROPERTY) throw UsageError("property " + p.name + " cannot be set");
    Value param = Value::integer(p.word6);
    std::vector<Arg> c{{CType::Object, false, nullptr, self, nullptr},
                       {CType::Integer, false, &param, nullptr, nullptr},
                       {p.type.ctype, false, &v, nullptr, nullptr}};
    callThrough(*this, p.setter, p.setPlan, c, CType::None);
    return;
  }
  unsigned char* field = r.memory + p.owner->dataStart + p.word6;
  Slot s{};
  toSlot(p.type.ctype, v, s);
  switch (p.type.ctype) {
    case CType::Boolean: {
      RBBoolean b = s.b ? 1 : 0;
      std::memcpy(field, &b, sizeof b);
      return;
    }
    case CType::String:
    case CType::Object: {
      // The field owns one lock; the class's destructor gives it back.
      void* old;
      std::memcpy(&old, field, sizeof old);
      if (s.p == old) return;
      if (s.p) {
        if (p.type.ctype == CType::String) lockString(static_cast<REALstring>(s.p));
        else lockObject(static_cast<REALobject>(s.p));
      }
      std::memcpy(field, &s.p, sizeof s.p);
      if (old) {
        if (p.type.ctype == CType::String) unlockString(static_cast<REALstring>(old));
        else unlockObject(static_cast<REALobject>(old));
      }
      return;
    }
    case CType::Double: std::memcpy(field, &s.d, sizeof s.d); return;
    case CType::Single: std::memcpy(field, &s.f, sizeof s.f); return;
    case CType::Color: std::memcpy(field, &s.u32, sizeof s.u32); return;
    case CType::Integer: std::memcpy(field, &s.integer, sizeof s.integer); return;
    case CType::Int8: case CType::UInt8: std::memcpy(field, &s.u8, 1); return;
    case CType::Int16: case CType::UInt16: std::memcpy(field, &s.u16, 2); return;
    case CType::Int32: case CType::UInt32: std::memcpy(field, &s.u32, 4); return;
    case CType::Int64: case CType::UInt64: std::memcpy(field, &s.u64, 8); return;
    case CType::Pointer: std::memcpy(field, &s.p, sizeof s.p); return;
    case CType::None: return;
  }
}

// ---- the user-code surface ----

namespace {

// A literal of the host language: integers (with &h, &o, &b), doubles, booleans,
// quoted text, nil.
Value literal(Runtime& rt, std::string_view text, const TypeRef* as) {
  std::string t(text);
  auto fail = [&]() -> Value { throw UsageError("cannot read the value " + t); };
  if (t.empty()) return fail();
  if (t.front() == '"') {
    if (t.size() < 2 || t.back() != '"') return fail();
    std::string body;
    for (size_t i = 1; i + 1 < t.size(); ++i) {
      body += t[i];
      if (t[i] == '"' && i + 2 < t.size() && t[i + 1] == '"') ++i;  // "" inside quotes
    }
    return rt.string(body);
  }
  if (sameName(t, "true")) return Value::boolean(true);
  if (sameName(t, "false")) return Value::boolean(false);
  if (sameName(t, "nil")) return Value();
  bool negative = false;
  std::string_view n = t;
  if (n.front() == '-' || n.front() == '+') {
    negative = n.front() == '-';
    n.remove_prefix(1);
  }
  int base = 10;
  if (n.size() > 2 && n[0] == '&') {
    char k = static_cast<char>(std::tolower(static_cast<unsigned char>(n[1])));
    base = k == 'h' ? 16 : k == 'o' ? 8 : k == 'b' ? 2 : k == 'c' ? 16 : 0;
    if (!base) return fail();
    n.remove_prefix(2);
    if (k == 'c') return Value::color(static_cast<uint32_t>(std::stoul(std::string(n), nullptr, 16)));
  }
  std::string digits(n);
  size_t used = 0;
  try {
    bool real = base == 10 && digits.find_first_of(".eE") != std::string::npos;
    if (real || (as && (as->ctype == CType::Double || as->ctype == CType::Single))) {
      double d = std::stod(digits, &used);
      if (used != digits.size()) return fail();
      return Value::real(negative ? -d : d);
    }
    uint64_t u = std::stoull(digits, &used, base);
    if (used != digits.size()) return fail();
    int64_t v = negative ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
    if (as && as->ctype == CType::Color) return Value::color(static_cast<uint32_t>(v));
    return Value::integer(v);
  } catch (const std::logic_error&) {
    return fail();
  }
}

// Picks the method to call: the best fit over the class chain, the most derived
// class winning ties. With `reasons`, says why each candidate was turned down.
MethodInfo* chooseOverload(Impl& impl, std::vector<std::vector<MethodInfo>*> tables, std::string_view member,
                           const std::vector<Value>& args, const std::vector<bool>& byref, bool forSet,
                           std::string* reasons) {
  MethodInfo* best = nullptr;
  int bestScore = -1;
  for (auto* table : tables)
    for (MethodInfo& m : *table) {
      if (!sameName(m.decl.name, member)) continue;
      if (!m.function) continue;
      if ((m.decl.assignsParam() != nullptr) != forSet) continue;
      const size_t n = m.decl.explicitCount();
      if (args.size() < m.decl.required() || args.size() > n) {
        if (reasons) *reasons += "\n  " + m.text + ": takes " + std::to_string(m.decl.required()) + " to " + std::to_string(n) +
                    " arguments";
        continue;
      }
      int score = 0;
      size_t i = 0;
      bool ok = true;
      for (const Param& p : m.decl.params) {
        if (p.extends || p.assigns) continue;
        if (i >= args.size()) break;
        bool wantRef = i < byref.size() && byref[i];
        int f = fit(impl, p.type, args[i]);
        if (wantRef != p.byref || f == 0) {
          if (reasons)
            *reasons += "\n  " + m.text + ": argument " + std::to_string(i + 1) + " (" + kindName(args[i].kind()) +
                      (wantRef ? ", byref" : "") + ") does not fit";
          ok = false;
          break;
        }
        score += f;
        ++i;
      }
      if (!ok) continue;
      score = score * 4 + (n == args.size() ? 1 : 0);  // fewer defaults filled in wins ties
      if (score > bestScore) {
        best = &m;
        bestScore = score;
      }
    }
  return best;
}

}  // namespace

static Value callMethod(Impl& impl, MethodInfo& m, REALobject self, std::vector<Value>& args,
                        const std::vector<bool>& byref) {
  std::vector<Value> defaults;
  defaults.reserve(m.decl.params.size());
  std::vector<const Value*> in;
  std::vector<Value*> slots;
  size_t i = 0;
  for (const Param& p : m.decl.params) {
    if (p.extends || p.assigns) continue;
    if (i < args.size()) {
      in.push_back(&args[i]);
      slots.push_back(i < byref.size() && byref[i] ? &args[i] : nullptr);
    } else {
      defaults.push_back(literal(impl.runtime, *p.defaultText, &p.type));
      in.push_back(&defaults.back());
      slots.push_back(nullptr);
    }
    ++i;
  }
  return impl.invoke(m, self, in, slots);
}

static ObjectRecord& selfRecord(Impl& impl, const Value& self, std::string_view member) {
  if (self.kind() != Value::Kind::Object)
    throw UsageError("calling " + std::string(member) + " on a " + kindName(self.kind()) + " value");
  ObjectRecord* r = impl.recordOf(self.asObject());
  if (!r || !r->alive) throw UsageError("calling " + std::string(member) + " on an object that is gone");
  return *r;
}

static std::vector<std::vector<MethodInfo>*> instanceTables(ClassInfo* cls) {
  std::vector<std::vector<MethodInfo>*> t;
  for (ClassInfo* c = cls; c; c = c->super) t.push_back(&c->methods);
  return t;
}

Value Runtime::call(const Value& self, std::string_view member, std::vector<Value>& args, std::vector<bool> byref) {
  ObjectRecord& r = selfRecord(*impl_, self, member);
  std::string reasons;
  MethodInfo* m = chooseOverload(*impl_, instanceTables(r.cls), member, args, byref, false, nullptr);
  if (!m) {
    chooseOverload(*impl_, instanceTables(r.cls), member, args, byref, false, &reasons);
    throw UsageError("no member " + std::string(member) + " of class " + r.cls->name + " takes these arguments" +
                     reasons);
  }
  return callMethod(*impl_, *m, self.asObject(), args, byref);
}

Value Runtime::call(const Value& self, std::string_view member, const std::vector<Value>& args) {
  std::vector<Value> copy(args);
  return call(self, member, copy, {});
}

Value Runtime::callShared(std::string_view className, std::string_view member, const std::vector<Value>& args) {
  ClassInfo* cls = impl_->findClass(className);
  if (!cls) throw UsageError("no class " + std::string(className));
  std::vector<Value> copy(args);
  std::string reasons;
  std::vector<std::vector<MethodInfo>*> tables;
  for (ClassInfo* c = cls; c; c = c->super) tables.push_back(&c->sharedMethods);
  MethodInfo* m = chooseOverload(*impl_, tables, member, copy, {}, false, nullptr);
  if (!m) chooseOverload(*impl_, tables, member, copy, {}, false, &reasons);
  if (!m) throw UsageError("no shared member " + std::string(member) + " of " + cls->name + " takes these arguments" + reasons);
  return callMethod(*impl_, *m, nullptr, copy, {});
}

Value Runtime::get(const Value& self, std::string_view property) {
  ObjectRecord& r = selfRecord(*impl_, self, property);
  if (const PropertyInfo* p = impl_->findProperty(r.cls, property)) return impl_->getProperty(r, *p);
  // A property-like method, or a getter that arrived as a module method.
  for (ClassInfo* c = r.cls; c; c = c->super)
    for (MethodInfo& m : c->methods)
      if (sameName(m.decl.name, property) && m.function && !m.decl.assignsParam() && m.decl.explicitCount() == 0 &&
          m.decl.result.ctype != CType::None)
        return impl_->invoke(m, self.asObject(), {}, {});
  throw UsageError("no property " + std::string(property) + " of class " + r.cls->name);
}

void Runtime::set(const Value& self, std::string_view property, const Value& value) {
  ObjectRecord& r = selfRecord(*impl_, self, property);
  if (const PropertyInfo* p = impl_->findProperty(r.cls, property)) return impl_->setProperty(r, *p, value);
  for (ClassInfo* c = r.cls; c; c = c->super)
    for (MethodInfo& m : c->methods) {
      if (!sameName(m.decl.name, property)) continue;
      if (m.propertyLike()) {
        if (!fit(*impl_, m.decl.result, value))
          throw UsageError(std::string(property) + " is " + m.decl.result.name + ", not " + kindName(value.kind()));
        std::vector<Arg> a{{CType::Object, false, nullptr, self.asObject(), nullptr},
                           {m.decl.result.ctype, false, &value, nullptr, nullptr}};
        callThrough(*impl_, m.setter, m.setterPlan, a, CType::None);
        return;
      }
      // "Name(extends ref as movie, assigns value as T)"
      const Param* assigns = m.decl.assignsParam();
      if (assigns && m.function && m.decl.explicitCount() == 0) {
        if (!fit(*impl_, assigns->type, value))
          throw UsageError(std::string(property) + " is " + assigns->type.name + ", not " + kindName(value.kind()));
        std::vector<Arg> a;
        if (!m.decl.extendsParam()) a.push_back({CType::Object, false, nullptr, self.asObject(), nullptr});
        for (const Param& p : m.decl.params)
          a.push_back(p.extends ? Arg{CType::Object, false, nullptr, self.asObject(), nullptr}
                                : Arg{p.type.ctype, false, &value, nullptr, nullptr});
        callThrough(*impl_, m.function, m.plan, a, m.decl.result.ctype);
        return;
      }
    }
  throw UsageError("no settable property " + std::string(property) + " of class " + r.cls->name);
}

Value Runtime::constant(std::string_view className, std::string_view name) {
  ClassInfo* cls = impl_->findClass(className);
  if (!cls) throw UsageError("no class " + std::string(className));
  for (ClassInfo* c = cls; c; c = c->super)
    for (const ConstantInfo& k : c->constants)
      if (sameName(k.name, name)) return literal(*this, k.valueText, nullptr);
  throw UsageError("no constant " + std::string(name) + " in class " + cls->name);
}

}  // namespace rt
