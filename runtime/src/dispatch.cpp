// Calling the plugin as user code: members found by name through each class's
// index, overloads chosen by argument kinds, and the call made by the member's
// plan (call_plan.cpp).
#include "internal.h"

namespace rt {

namespace {

const std::vector<const MethodInfo*> kNoMethods;

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

// How well a value fits a declared type: 2 exactly, 1 after a conversion the
// host language makes implicitly, 0 not at all.
int fit(Impl& impl, const TypeRef& t, const Value& v) {
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

Value valueOf(Runtime& rt, const Literal& l) {
  switch (l.kind) {
    case Literal::Kind::Nil: return Value();
    case Literal::Kind::Integer: return Value::integer(l.integer);
    case Literal::Kind::Boolean: return Value::boolean(l.integer != 0);
    case Literal::Kind::Double: return Value::real(l.real);
    case Literal::Kind::Color: return Value::color(static_cast<uint32_t>(l.integer));
    case Literal::Kind::Text: return rt.string(l.text);
  }
  return Value();
}

void indexClass(const ClassInfo& cls) {
  cls.index.clear();
  for (const ClassInfo* c = &cls; c; c = c->super) {
    for (const MethodInfo& m : c->methods) cls.index[m.decl.name].methods.push_back(&m);
    for (const MethodInfo& m : c->sharedMethods) cls.index[m.decl.name].shared.push_back(&m);
    for (const PropertyInfo& p : c->properties) {
      MemberEntry& e = cls.index[p.name];
      if (!e.property) e.property = &p;
    }
  }
}

}  // namespace

// ---- members by name ----

const MemberEntry* Impl::members(const ClassInfo* cls, std::string_view name) const {
  if (cls->indexedAt != registrationCount) {
    indexClass(*cls);
    cls->indexedAt = registrationCount;
  }
  auto it = cls->index.find(name);
  return it == cls->index.end() ? nullptr : &it->second;
}

const PropertyInfo* Impl::findProperty(const ClassInfo* cls, std::string_view name) const {
  const MemberEntry* e = members(cls, name);
  return e ? e->property : nullptr;
}

Value Impl::getProperty(ObjectRecord& r, const PropertyInfo& p) {
  switch (p.kind) {
    case PropertyKind::Builtin: return p.builtinGet(*this, r);
    case PropertyKind::Accessor:
      if (!p.getter) throw UsageError("property " + p.name + " cannot be read");
      return call(p.getPlan, reinterpret_cast<REALobject>(r.memory), {});
    case PropertyKind::Direct: return readField(*this, r, p);
  }
  return Value();
}

void Impl::setProperty(ObjectRecord& r, const PropertyInfo& p, const Value& v) {
  if (!fit(*this, p.type, v))
    throw UsageError("property " + p.name + " is " + p.type.name + ", not " + kindName(v.kind()));
  if (p.kind == PropertyKind::Builtin) {
    if (!p.builtinSet || !p.builtinSet(*this, r, v)) throw UsageError("property " + p.name + " cannot be set");
    return;
  }
  if (p.kind == PropertyKind::Direct && p.setter == REAL_DIRECT_PROPERTY) return writeField(*this, r, p, v);
  if (!p.setPlan.function) throw UsageError("property " + p.name + " cannot be set");
  const Value* in[] = {&v};
  call(p.setPlan, reinterpret_cast<REALobject>(r.memory), {in});
}

// ---- overloads ----

namespace {

// How well the arguments fit a method (higher is better), or -1 with the reason
// in `why` when they do not.
int score(Impl& impl, const MethodInfo& m, std::span<const Value> args, const std::vector<bool>& byref,
          std::string* why) {
  const size_t n = m.explicitCount;
  if (args.size() < m.required || args.size() > n) {
    if (why) *why = "takes " + std::to_string(m.required) + " to " + std::to_string(n) + " arguments";
    return -1;
  }
  int total = 0;
  size_t i = 0;
  for (const Param& p : m.decl.params) {
    if (p.extends || p.assigns) continue;
    if (i >= args.size()) break;
    const bool wantRef = i < byref.size() && byref[i];
    const int f = fit(impl, p.type, args[i]);
    if (wantRef != p.byref || f == 0) {
      if (why)
        *why = "argument " + std::to_string(i + 1) + " is " + (p.byref ? "byref " : "") + p.type.name +
               (p.type.array ? "()" : "") + ", not " + (wantRef ? "byref " : "") + kindName(args[i].kind());
      return -1;
    }
    total += f;
    ++i;
  }
  return total * 4 + (n == args.size() ? 1 : 0);  // fewer defaults filled in wins ties
}

// The best fit among the candidates, the first (most derived) winning ties; null
// when none fits, with each candidate's reason in `reasons`.
const MethodInfo* chooseOverload(Impl& impl, const std::vector<const MethodInfo*>& candidates,
                                 std::span<const Value> args, const std::vector<bool>& byref, std::string* reasons) {
  const MethodInfo* best = nullptr;
  int bestScore = -1;
  std::string why;
  for (const MethodInfo* m : candidates) {
    if (!m->function() || m->decl.assignsParam()) continue;
    const int s = score(impl, *m, args, byref, reasons ? &why : nullptr);
    if (s < 0 && reasons) *reasons += "\n  " + m->text + ": " + why;
    if (s > bestScore) {
      best = m;
      bestScore = s;
    }
  }
  return best;
}

// What a failed lookup names: "no member X of class C", "no shared member X of C".
struct Wanted {
  const char* what;
  std::string_view member;
  const char* of;
  const std::string& className;
};

const MethodInfo* overloadFor(Impl& impl, const std::vector<const MethodInfo*>* candidates,
                              std::span<const Value> args, const std::vector<bool>& byref, const Wanted& wanted) {
  if (!candidates) candidates = &kNoMethods;
  if (const MethodInfo* m = chooseOverload(impl, *candidates, args, byref, nullptr)) return m;
  std::string reasons;
  chooseOverload(impl, *candidates, args, byref, &reasons);
  throw UsageError(std::string(wanted.what) + std::string(wanted.member) + wanted.of + wanted.className +
                   " takes these arguments" + reasons);
}

// The one place user arguments become a call: given ones in order, declared
// defaults after them; `variables` are the user's for byref arguments.
Value callMethod(Impl& impl, const MethodInfo& m, REALobject self, std::span<const Value> args,
                 const std::vector<bool>& byref, Value* variables) {
  const size_t n = m.plan.userCount;
  CallBuffer<const Value*> in(n);
  CallBuffer<Value*> back(n);
  std::vector<Value> defaults;
  size_t i = 0;
  for (const Param& p : m.decl.params) {
    if (p.extends || p.assigns) continue;
    back[i] = nullptr;
    if (i < args.size()) {
      in[i] = &args[i];
      if (variables && i < byref.size() && byref[i]) back[i] = &variables[i];
    } else {
      if (!p.defaultValue) throw UsageError("cannot read the value " + *p.defaultText);
      if (defaults.empty()) defaults.reserve(n - i);
      defaults.push_back(valueOf(impl.runtime, *p.defaultValue));
      in[i] = &defaults.back();
    }
    ++i;
  }
  return impl.call(m.plan, self, {in.data(), back.data()});
}

ObjectRecord& selfRecord(Impl& impl, const Value& self, std::string_view member) {
  if (self.kind() != Value::Kind::Object)
    throw UsageError("calling " + std::string(member) + " on a " + kindName(self.kind()) + " value");
  ObjectRecord* r = impl.recordOf(self.asObject());
  if (!r || !r->alive) throw UsageError("calling " + std::string(member) + " on an object that is gone");
  return *r;
}

const std::vector<const MethodInfo*>* methodsOf(const MemberEntry* e) { return e ? &e->methods : nullptr; }

}  // namespace

// ---- the user-code surface ----

Value Runtime::call(const Value& self, std::string_view member, std::vector<Value>& args, std::vector<bool> byref) {
  ObjectRecord& r = selfRecord(*impl_, self, member);
  const MethodInfo* m = overloadFor(*impl_, methodsOf(impl_->members(r.cls, member)), args, byref,
                                    {"no member ", member, " of class ", r.cls->name});
  return callMethod(*impl_, *m, self.asObject(), args, byref, args.data());
}

Value Runtime::call(const Value& self, std::string_view member, const std::vector<Value>& args) {
  ObjectRecord& r = selfRecord(*impl_, self, member);
  const MethodInfo* m = overloadFor(*impl_, methodsOf(impl_->members(r.cls, member)), args, {},
                                    {"no member ", member, " of class ", r.cls->name});
  return callMethod(*impl_, *m, self.asObject(), args, {}, nullptr);
}

Value Runtime::callShared(std::string_view className, std::string_view member, const std::vector<Value>& args) {
  ClassInfo* cls = impl_->findClass(className);
  if (!cls) throw UsageError("no class " + std::string(className));
  const MemberEntry* e = impl_->members(cls, member);
  const MethodInfo* m =
      overloadFor(*impl_, e ? &e->shared : nullptr, args, {}, {"no shared member ", member, " of ", cls->name});
  return callMethod(*impl_, *m, nullptr, args, {}, nullptr);
}

Value Runtime::get(const Value& self, std::string_view property) {
  ObjectRecord& r = selfRecord(*impl_, self, property);
  if (const MemberEntry* e = impl_->members(r.cls, property)) {
    if (e->property) return impl_->getProperty(r, *e->property);
    // A property-like method, or a getter that arrived as a module method.
    for (const MethodInfo* m : e->methods)
      if (m->function() && !m->decl.assignsParam() && m->explicitCount == 0 &&
          m->decl.result.ctype != CType::None)
        return impl_->call(m->plan, self.asObject(), {});
  }
  throw UsageError("no property " + std::string(property) + " of class " + r.cls->name);
}

void Runtime::set(const Value& self, std::string_view property, const Value& value) {
  ObjectRecord& r = selfRecord(*impl_, self, property);
  const MemberEntry* e = impl_->members(r.cls, property);
  if (e && e->property) return impl_->setProperty(r, *e->property, value);
  const Value* in[] = {&value};
  for (const MethodInfo* m : e ? e->methods : kNoMethods) {
    // A property-like method's setter, or "Name(extends ref as movie, assigns value as T)".
    const bool viaSetter = m->propertyLike();
    if (!viaSetter && !(m->decl.assignsParam() && m->function() && m->explicitCount == 0)) continue;
    const TypeRef& type = viaSetter ? m->decl.result : m->decl.assignsParam()->type;
    if (!fit(*impl_, type, value))
      throw UsageError(std::string(property) + " is " + type.name + ", not " + kindName(value.kind()));
    impl_->call(viaSetter ? m->setterPlan : m->plan, self.asObject(), {in});
    return;
  }
  throw UsageError("no settable property " + std::string(property) + " of class " + r.cls->name);
}

Value Runtime::constant(std::string_view className, std::string_view name) {
  ClassInfo* cls = impl_->findClass(className);
  if (!cls) throw UsageError("no class " + std::string(className));
  for (ClassInfo* c = cls; c; c = c->super)
    for (const ConstantInfo& k : c->constants)
      if (sameName(k.name, name)) {
        std::optional<Literal> l = parseLiteral(k.valueText, nullptr);
        if (!l) throw UsageError("cannot read the value " + k.valueText);
        return valueOf(*this, *l);
      }
  throw UsageError("no constant " + std::string(name) + " in class " + cls->name);
}

Member Runtime::member(std::string_view className, std::string_view name, std::initializer_list<Value> like) {
  ClassInfo* cls = impl_->findClass(className);
  if (!cls) throw UsageError("no class " + std::string(className));
  Member bound;
  bound.rt_ = this;
  bound.cls_ = cls;
  bound.name_ = std::string(name);
  const MemberEntry* e = impl_->members(cls, name);
  if (e && e->property && like.size() == 0) {
    bound.property_ = e->property;
    return bound;
  }
  const std::span<const Value> args(like.begin(), like.size());
  bound.method_ = overloadFor(*impl_, methodsOf(e), args, {}, {"no member ", name, " of class ", cls->name});
  return bound;
}

Value Member::call(const Value& self, std::span<const Value> args) const {
  if (!rt_) throw UsageError("calling a member that was never resolved");
  Impl& impl = rt_->impl();
  ObjectRecord& r = selfRecord(impl, self, name_);
  if (!r.cls->isA(cls_)) throw UsageError(name_ + " is a member of " + cls_->name + ", not of " + r.cls->name);
  if (property_) {
    if (!args.empty()) throw UsageError("property " + name_ + " takes no arguments");
    if (r.cls == cls_) return impl.getProperty(r, *property_);
    return rt_->get(self, name_);  // a subclass's own property of that name wins
  }
  const MethodInfo* m = method_;
  if (r.cls != cls_) {
    // What an object of a subclass answers with: its override, if it has one.
    m = overloadFor(impl, methodsOf(impl.members(r.cls, name_)), args, {},
                    {"no member ", name_, " of class ", r.cls->name});
  } else if (std::string why; score(impl, *m, args, {}, &why) < 0) {
    throw UsageError(m->text + ": " + why);
  }
  return callMethod(impl, *m, self.asObject(), args, {}, nullptr);
}

}  // namespace rt
