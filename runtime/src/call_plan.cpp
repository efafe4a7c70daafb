// Calls into the plugin: each declaration compiled once into a plan (the libffi
// interface and where every C argument comes from), and the one place where user
// values become C arguments and C values become user values again. Direct
// properties go through the same conversions.
#include <algorithm>
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

// Bytes a value of the type takes in instance data. A host boolean occupies a
// 32-bit field of which only the first byte counts.
size_t fieldWidth(CType t) {
  switch (t) {
    case CType::None: return 0;
    case CType::Boolean: return sizeof(RBBoolean);
    case CType::Int8: case CType::UInt8: return 1;
    case CType::Int16: case CType::UInt16: return 2;
    case CType::Int32: case CType::UInt32: case CType::Single: case CType::Color: return 4;
    case CType::Int64: case CType::UInt64: case CType::Double: return 8;
    case CType::Integer: return sizeof(RBInteger);
    case CType::String: case CType::Object: case CType::Pointer: return sizeof(void*);
  }
  return 0;
}

// One C argument, result or field: wide enough for any scalar, and for ffi's rule
// that small integral results are widened to a full register. Every member
// starts at the first byte, so a field of N bytes copies to and from the start.
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

// A user value into a slot; the value fits the type (dispatch checked).
void toSlot(CType t, const Value& v, Slot& s) {
  s.u64 = 0;
  const bool integer = v.kind() == Value::Kind::Integer;
  switch (t) {
    case CType::Boolean: s.b = v.asBoolean(); break;
    case CType::Double: s.d = integer ? static_cast<double>(v.asInteger()) : v.asDouble(); break;
    case CType::Single: s.f = static_cast<float>(integer ? static_cast<double>(v.asInteger()) : v.asDouble()); break;
    case CType::Color: s.u32 = integer ? static_cast<uint32_t>(v.asInteger()) : v.asColor(); break;
    case CType::String: s.p = v.isNil() ? nullptr : v.asString(); break;
    case CType::Object: s.p = v.isNil() ? nullptr : v.asObject(); break;
    case CType::None: break;
    default: storeIntegral(t, v.asInteger(), s); break;
  }
}

// A C value back; strings and objects are references the caller takes over.
Value fromSlot(Impl& impl, CType t, const Slot& s, bool result) {
  switch (t) {
    case CType::None: return Value();
    case CType::Boolean: return Value::boolean(result ? (s.widened & 0xFF) != 0 : s.u8 != 0);
    case CType::Double: return Value::real(s.d);
    case CType::Single: return Value::real(s.f);
    case CType::Color: return Value::color(result ? static_cast<uint32_t>(s.widened) : s.u32);
    case CType::String:
    case CType::Object: return impl.adopt(t, s.p);
    default: return Value::integer(loadIntegral(t, s, result));
  }
}

bool isReference(CType t) { return t == CType::String || t == CType::Object; }

void* referenceOf(CType t, const Value& v) {
  if (v.isNil()) return nullptr;
  return t == CType::String ? static_cast<void*>(v.asString()) : static_cast<void*>(v.asObject());
}

// Keeps the call depth: host exceptions surface only when the outermost call
// returns, never through the plugin's own frames.
[[gnu::tls_model("initial-exec")]] thread_local int tCallDepth = 0;

struct DepthGuard {
  DepthGuard() { ++tCallDepth; }
  ~DepthGuard() { --tCallDepth; }
};

// A byref cell after the call. A string or object cell carries the variable's own
// lock: a callee that stores a new reference has released the old one and hands
// over a lock on the new.
void writeBack(Impl& impl, const CArg& a, const Value* before, const Slot& cell, Value& variable) {
  if (!isReference(a.type)) {
    variable = fromSlot(impl, a.type, cell, false);
    return;
  }
  if (cell.p == referenceOf(a.type, *before)) return;
  variable.forget();
  variable = impl.adopt(a.type, cell.p);
}

}  // namespace

CallPlan::CallPlan(REALproc fn, std::vector<CArg> cargs, CType res)
    : function(fn), args(std::move(cargs)), result(res) {
  for (const CArg& a : args) {
    argTypes.push_back(a.byref ? &ffi_type_pointer : ffiTypeOf(a.type));
    if (a.from == CArg::From::User) userCount = std::max(userCount, a.user + 1);
  }
  if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(argTypes.size()), ffiTypeOf(result),
                   argTypes.data()) != FFI_OK)
    throw UsageError("cannot prepare a C call interface");
}

// Self first unless the method is shared or names the object it extends; then
// the parameters in order, each extends one being self and the others the user's
// arguments (an assigns value last among them).
void planMethod(MethodInfo& m, REALproc function) {
  std::vector<CArg> args;
  const CArg self{CArg::From::Self, CType::Object};
  if (!m.shared && !m.decl.extendsParam()) args.push_back(self);
  uint32_t user = 0;
  for (const Param& p : m.decl.params)
    args.push_back(p.extends ? self : CArg{CArg::From::User, p.type.ctype, p.byref, user++});
  m.plan = CallPlan(function, std::move(args), m.decl.result.ctype);
  m.required = static_cast<uint32_t>(m.decl.required());
  m.explicitCount = static_cast<uint32_t>(m.decl.explicitCount());
  if (m.setter)
    m.setterPlan = CallPlan(m.setter, {self, {CArg::From::User, m.decl.result.ctype}}, CType::None);
}

void planAccessors(PropertyInfo& p) {
  const CArg self{CArg::From::Self, CType::Object};
  const CArg param{CArg::From::Fixed, CType::Integer, false, 0, p.word6};
  if (p.getter) p.getPlan = CallPlan(p.getter, {self, param}, p.type.ctype);
  if (p.setter && p.setter != REAL_DIRECT_PROPERTY)
    p.setPlan = CallPlan(p.setter, {self, param, {CArg::From::User, p.type.ctype}}, CType::None);
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

Value Impl::call(const CallPlan& plan, REALobject self, CallArgs in) {
  const size_t n = plan.args.size();
  CallBuffer<Slot> slots(n), cells(n);  // cells: what byref slots point at
  CallBuffer<void*> values(n);
  for (size_t i = 0; i < n; ++i) {
    const CArg& a = plan.args[i];
    Slot& target = a.byref ? cells[i] : slots[i];
    target.u64 = 0;
    switch (a.from) {
      case CArg::From::Self: target.p = self; break;
      case CArg::From::Fixed: storeIntegral(a.type, a.fixed, target); break;
      case CArg::From::User: toSlot(a.type, *in.values[a.user], target); break;
    }
    if (a.byref) slots[i].p = &cells[i];
    values[i] = &slots[i];
  }
  Slot ret{};
  const bool outermost = tCallDepth == 0;
  {
    CurrentScope scope(this);
    DepthGuard depth;
    ffi_call(const_cast<ffi_cif*>(&plan.cif), reinterpret_cast<void (*)()>(plan.function), &ret, values.data());
  }
  Value out = fromSlot(*this, plan.result, ret, true);
  for (size_t i = 0; i < n; ++i) {
    const CArg& a = plan.args[i];
    Value* variable = a.byref && in.writeBack ? in.writeBack[a.user] : nullptr;
    if (variable) writeBack(*this, a, in.values[a.user], cells[i], *variable);
  }
  if (outermost && pendingException) throwPending();
  return out;
}

void Impl::runProc(REALproc f, REALobject self) {
  CurrentScope scope(this);
  DepthGuard depth;
  reinterpret_cast<void (*)(REALobject)>(f)(self);
}

Value readField(Impl& impl, const ObjectRecord& r, const PropertyInfo& p) {
  const unsigned char* field = r.memory + p.owner->dataStart + p.word6;
  Slot s{};
  std::memcpy(&s, field, fieldWidth(p.type.ctype));
  if (!isReference(p.type.ctype) || !s.p) return fromSlot(impl, p.type.ctype, s, false);
  // The field keeps its lock; user code gets one of its own.
  if (p.type.ctype == CType::String)
    return impl.liveString(static_cast<REALstring>(s.p), p.name.c_str())
               ? Value::retainString(impl.runtime, static_cast<REALstring>(s.p))
               : Value();
  return impl.liveObject(static_cast<REALobject>(s.p), p.name.c_str())
             ? Value::retainObject(impl.runtime, static_cast<REALobject>(s.p))
             : Value();
}

void writeField(Impl& impl, ObjectRecord& r, const PropertyInfo& p, const Value& v) {
  unsigned char* field = r.memory + p.owner->dataStart + p.word6;
  const CType t = p.type.ctype;
  Slot s{};
  toSlot(t, v, s);
  void* old = nullptr;
  if (isReference(t)) {
    std::memcpy(&old, field, sizeof old);
    if (s.p == old) return;
    if (s.p && t == CType::String) impl.lockString(static_cast<REALstring>(s.p));
    else if (s.p) impl.lockObject(static_cast<REALobject>(s.p));
  }
  std::memcpy(field, &s, fieldWidth(t));
  if (old && t == CType::String) impl.unlockString(static_cast<REALstring>(old));
  else if (old) impl.unlockObject(static_cast<REALobject>(old));
}

}  // namespace rt
