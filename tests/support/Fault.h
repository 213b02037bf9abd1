// Faults and observations through the test program's own import table. The program under
// test is linked into this program, so its platform calls go through the table's slots:
// while a scope holds a hook on an import, the slot calls a thunk that counts the calls,
// fails the ones asked for, or runs a replacement that sees the arguments; when the last
// scope on it ends, the slot gets the platform's function back. Hook before calling the
// unit: a function may load a slot once for several calls.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <typeinfo>
#include <vector>

namespace fault {

const unsigned kEveryCall = ~0u;

namespace detail {

struct CImport;  // one import the layer knows, with its thunk and the rules in place

// nFailAt is the call that fails (1 is the first), kEveryCall, or 0 for none.
struct CRule {
  DWORD dwError = 0;
  unsigned nFailAt = 0, nCalls = 0, nSuccesses = 0;
  std::shared_ptr<void> pReplacement;  // a Replacement of the import's type
};

// What replaces an import of type R(WINAPI*)(A...): it gets the platform's function first.
template <typename R, typename... A>
std::function<R(R(WINAPI*)(A...), A...)> Replacement(R(WINAPI*)(A...));

CImport& Find(const char* pszName, const std::type_info* pType = nullptr);
void Push(CImport& import, CRule* pRule);
void Pop(CImport& import, CRule* pRule);

}  // namespace detail

// Hooks the named import for this scope: counts its calls; with an error (not 0), fails
// every call, or only the nth from now, as the platform reports that error.
class CHook {
public:
  explicit CHook(const char* pszImport, DWORD dwError = 0, unsigned nFailAt = kEveryCall)
      : CHook(detail::Find(pszImport), dwError, dwError ? nFailAt : 0) {}
  ~CHook() { detail::Pop(m_import, &m_rule); }
  CHook(const CHook&) = delete;
  CHook& operator=(const CHook&) = delete;

  unsigned Calls() const { return m_rule.nCalls; }
  // Calls that acquired what they were for (a handle, a key, a successful result).
  unsigned Successes() const { return m_rule.nSuccesses; }

protected:
  CHook(detail::CImport& import, DWORD dwError, unsigned nFailAt)
      : m_import(import), m_rule{dwError, nFailAt, 0, 0, nullptr} {
    detail::Push(m_import, &m_rule);
  }
  detail::CImport& m_import;
  detail::CRule m_rule;
};

// Replaces the named import for this scope with fn(real, arguments...), which may call the
// platform's function itself. F is the import's type: decltype(&RegOpenKeyExA).
template <typename F>
class CReplace : public CHook {
public:
  template <typename Fn>
  CReplace(const char* pszImport, Fn fn) : CHook(detail::Find(pszImport, &typeid(F)), 0, 0) {
    m_rule.pReplacement = std::make_shared<decltype(detail::Replacement(F()))>(std::move(fn));
  }
};

#define FAULT_REPLACE(import, ...) fault::CReplace<decltype(&import)>(#import, __VA_ARGS__)

// Makes the nth allocation of the program's nothrow new fail, from now until the scope ends.
class CFailNew {
public:
  explicit CFailNew(unsigned nFailAt);
  ~CFailNew();
  unsigned Calls() const;
};

// How many blocks of the program's nothrow new are held now.
int BlocksHeld();

// Hooks put in while this scope lives also take the import table of the module given (a
// library the test loaded), so that its calls are counted and failed alike.
class CAlsoIn {
public:
  explicit CAlsoIn(HMODULE hModule);
  ~CAlsoIn();
  CAlsoIn(const CAlsoIn&) = delete;
  CAlsoIn& operator=(const CAlsoIn&) = delete;
};

// Every import the layer knows, for sweeps over all of them.
std::vector<const char*> KnownImports();

}  // namespace fault
