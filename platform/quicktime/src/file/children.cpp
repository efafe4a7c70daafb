// The one walk over a container's declared children.
#include "children.h"

namespace qte::file {

namespace {
// Deeper than any real movie nests; a file claiming more is damaged or hostile.
constexpr size_t kMaxDepth = 12;
}  // namespace

bool Walk::bad(uint64_t at, const std::string& what, OSErr err) {
  if (fail_.err == noErr) {
    fail_.err = err;
    fail_.message = path_.text() + " at offset " + std::to_string(at) + ": " + what;
  }
  return false;
}

bool Walk::split(const Atom& a, std::vector<Atom>& out, size_t skip) {
  if (path_.depth() > kMaxDepth) return bad(a.offset, "atoms nested too deeply");
  if (skip > a.payloadSize()) return truncated(a);
  return splitAtoms(a.payload() + skip, a.payloadSize() - skip, a.offset + a.header + skip, path_, out, fail_);
}

Took Walk::readOne(const Child& rule, const Atom& a) {
  if (!rule.read) return Took::rendered;
  Cursor c(a);
  const Took t = rule.read(a, c);
  if (t != Took::rendered || rule.payload != Payload::fields) return t;
  if (c.ok() && c.left() == 0) return t;
  Enter e(*this, fourccText(a.type));
  if (!c.ok()) truncated(a);
  else bad(a.offset, std::to_string(c.left()) + " bytes after its fields");
  return Took::failed;
}

bool Walk::children(const Atom& container, const std::vector<Child>& table, Layout* layout, size_t skip) {
  std::vector<Atom> kids;
  if (!split(container, kids, skip)) return false;
  const Child* other = nullptr;
  for (const Child& rule : table)
    if (rule.type == 0) other = &rule;
  std::vector<const Child*> ruleOf(kids.size(), nullptr);
  std::vector<size_t> seen(table.size(), 0);
  for (size_t i = 0; i < kids.size(); ++i) {
    const Child* rule = other;
    for (const Child& r : table)
      if (r.type == kids[i].type) rule = &r;
    ruleOf[i] = rule;
    if (!rule) continue;
    if (seen[size_t(rule - table.data())]++ && rule->times == Times::once)
      return bad(kids[i].offset, "second '" + fourccText(kids[i].type) + "'");
  }
  for (size_t r = 0; r < table.size(); ++r)
    if (table[r].need == Need::required && !seen[r])
      return bad(container.offset, std::string(table[r].missing ? table[r].missing : "missing") + " ('" +
                                       fourccText(table[r].type) + "')");
  std::vector<Took> took(kids.size(), Took::kept);
  for (const Child& rule : table)
    for (size_t i = 0; i < kids.size(); ++i)
      if (ruleOf[i] == &rule && (took[i] = readOne(rule, kids[i])) == Took::failed) return false;
  if (layout)
    for (size_t i = 0; i < kids.size(); ++i) {
      if (took[i] == Took::kept) layout->kept(kids[i]);
      else layout->rendered(ruleOf[i]->renderedAs ? ruleOf[i]->renderedAs : kids[i].type);
    }
  return true;
}

}  // namespace qte::file
