// The script control component's dual interface, declared here because the
// mingw-w64 headers do not carry it.
//
// The component is called through this declaration's virtual table, so the
// methods must stand exactly in the order of the component's type library:
// IUnknown (3 slots), IDispatch (4 slots), then the 23 entries below. A
// method out of place makes a call land in its neighbour. The winsmoke tool
// compares this order with the type library of the installed component.
#pragma once

#ifdef _WIN32

#include <oaidl.h>
#include <windows.h>

namespace skarvet {

// {0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}: the component class.
inline constexpr CLSID kClsidScriptControl = {
    0x0E59F1D5, 0x1FBE, 0x11D0, {0x8F, 0xF2, 0x00, 0xA0, 0xD1, 0x00, 0x38, 0xBC}};
// {0E59F1D3-1FBE-11D0-8FF2-00A0D10038BC}: IScriptControl.
inline constexpr IID kIidScriptControl = {
    0x0E59F1D3, 0x1FBE, 0x11D0, {0x8F, 0xF2, 0x00, 0xA0, 0xD1, 0x00, 0x38, 0xBC}};

// The interfaces returned by the collection and error properties are only
// passed around as IDispatch here; the program never calls them.
struct IScriptControl : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Language(BSTR* language) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Language(BSTR language) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_State(LONG* state) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_State(LONG state) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SitehWnd(LONG window) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SitehWnd(LONG* window) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Timeout(LONG* milliseconds) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Timeout(LONG milliseconds) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AllowUI(VARIANT_BOOL* allow) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AllowUI(VARIANT_BOOL allow) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UseSafeSubset(VARIANT_BOOL* safeSubset) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UseSafeSubset(VARIANT_BOOL safeSubset) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Modules(IDispatch** modules) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Error(IDispatch** error) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CodeObject(IDispatch** codeObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Procedures(IDispatch** procedures) = 0;
  virtual HRESULT STDMETHODCALLTYPE _AboutBox() = 0;
  virtual HRESULT STDMETHODCALLTYPE AddObject(BSTR name, IDispatch* object,
                                              VARIANT_BOOL addMembers) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE AddCode(BSTR code) = 0;
  virtual HRESULT STDMETHODCALLTYPE Eval(BSTR expression, VARIANT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecuteStatement(BSTR statement) = 0;
  virtual HRESULT STDMETHODCALLTYPE Run(BSTR procedureName, SAFEARRAY** parameters,
                                        VARIANT* result) = 0;
};

// The order above as the type library names it: property accessors as
// "get Name" / "put Name", methods by name. Index 0 is virtual table slot 7.
inline constexpr const char* kScriptControlVtableOrder[] = {"get Language",
                                                            "put Language",
                                                            "get State",
                                                            "put State",
                                                            "put SitehWnd",
                                                            "get SitehWnd",
                                                            "get Timeout",
                                                            "put Timeout",
                                                            "get AllowUI",
                                                            "put AllowUI",
                                                            "get UseSafeSubset",
                                                            "put UseSafeSubset",
                                                            "get Modules",
                                                            "get Error",
                                                            "get CodeObject",
                                                            "get Procedures",
                                                            "_AboutBox",
                                                            "AddObject",
                                                            "Reset",
                                                            "AddCode",
                                                            "Eval",
                                                            "ExecuteStatement",
                                                            "Run"};
inline constexpr int kScriptControlFirstSlot = 7;

} // namespace skarvet

#endif // _WIN32
