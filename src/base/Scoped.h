// Owners for the handles one operation opens and closes: each closes its handle on
// every way out. They convert to the raw handle so calls still read as Win32.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <cstdio>

template <typename T, typename Traits>
class CScoped {
public:
  CScoped() = default;
  explicit CScoped(T h) : m_h(h) {}
  ~CScoped() { Close(); }
  CScoped(const CScoped&) = delete;
  CScoped& operator=(const CScoped&) = delete;

  operator T() const { return m_h; }
  T Get() const { return m_h; }
  bool IsValid() const { return !Traits::IsEmpty(m_h); }
  // For out-parameters: releases what is held, then lends the slot.
  T* Receive() {
    Close();
    return &m_h;
  }
  void Reset(T h) {
    Close();
    m_h = h;
  }
  T Detach() {
    T h = m_h;
    m_h = Traits::Empty();
    return h;
  }
  void Close() {
    if (!Traits::IsEmpty(m_h)) Traits::Release(m_h);
    m_h = Traits::Empty();
  }

private:
  T m_h = Traits::Empty();
};

template <typename T>
struct CNullTraits {
  static T Empty() { return nullptr; }
  static bool IsEmpty(T h) { return h == nullptr; }
};

struct CRegKeyTraits : CNullTraits<HKEY> {
  static void Release(HKEY h) { RegCloseKey(h); }
};
struct CKernelHandleTraits {
  static HANDLE Empty() { return nullptr; }
  static bool IsEmpty(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
  static void Release(HANDLE h) { CloseHandle(h); }
};
struct CFindHandleTraits {
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsEmpty(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
  static void Release(HANDLE h) { FindClose(h); }
};
struct CPrinterTraits : CNullTraits<HANDLE> {
  static void Release(HANDLE h) { ClosePrinter(h); }
};
struct CLibraryTraits : CNullTraits<HMODULE> {
  static void Release(HMODULE h) { FreeLibrary(h); }
};
struct CViewTraits : CNullTraits<void*> {
  static void Release(void* p) { UnmapViewOfFile(p); }
};
struct CDCTraits : CNullTraits<HDC> {
  static void Release(HDC h) { DeleteDC(h); }
};
struct CGdiObjectTraits : CNullTraits<HGDIOBJ> {
  static void Release(HGDIOBJ h) { DeleteObject(h); }
};
struct CStdioFileTraits : CNullTraits<FILE*> {
  static void Release(FILE* f) { fclose(f); }
};

typedef CScoped<HKEY, CRegKeyTraits> CRegKey;
typedef CScoped<HANDLE, CKernelHandleTraits> CKernelHandle;
typedef CScoped<HANDLE, CFindHandleTraits> CFindHandle;
typedef CScoped<HANDLE, CPrinterTraits> CPrinterHandle;
typedef CScoped<HMODULE, CLibraryTraits> CLibrary;
typedef CScoped<void*, CViewTraits> CMappedView;
typedef CScoped<HDC, CDCTraits> CDeviceContext;
typedef CScoped<HGDIOBJ, CGdiObjectTraits> CGdiObject;
typedef CScoped<FILE*, CStdioFileTraits> CStdioFile;

// Selects an object into a DC for one scope and puts the previous one back.
class CSelectObject {
public:
  CSelectObject(HDC hdc, HGDIOBJ h) : m_hdc(hdc), m_hOld(SelectObject(hdc, h)) {}
  ~CSelectObject() {
    if (m_hOld) SelectObject(m_hdc, m_hOld);
  }
  CSelectObject(const CSelectObject&) = delete;
  CSelectObject& operator=(const CSelectObject&) = delete;

private:
  HDC m_hdc;
  HGDIOBJ m_hOld;
};
