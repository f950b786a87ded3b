// The browser's COM kit: one identity per object whatever interface it is
// asked through, references counted by the object (or by its owner, for a
// part), and TComPtr taking, sharing and giving up exactly one reference.
#include <gtest/gtest.h>

#include <docobj.h>

#include <utility>

#include "browser/com_ptr.h"

namespace {

class TProbe;
using TProbeCom = TComObject<TProbe, TNamelessDispatch<IDispatch>, IOleCommandTarget>;

// A part with its own table whose references are its owner's.
class TProbePart final : public TComObject<TProbePart, IOleWindow> {
 public:
  static constexpr TInterfaceEntry<TProbePart> kInterfaces[] = {
      {&IID_IUnknown, InterfaceOf<TProbePart, IOleWindow>},
      {&IID_IOleWindow, InterfaceOf<TProbePart, IOleWindow>},
  };
  explicit TProbePart(IUnknown& owner) : owner_(owner) {}
  IUnknown& LifetimeOwner() { return owner_; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 private:
  IUnknown& owner_;
};

class TProbe final : public TProbeCom {
 public:
  static constexpr TInterfaceEntry<TProbe> kInterfaces[] = {
      {&IID_IUnknown, InterfaceOf<TProbe, IDispatch>},
      {&IID_IDispatch, InterfaceOf<TProbe, IDispatch>},
      {&IID_IOleCommandTarget, InterfaceOf<TProbe, IOleCommandTarget>},
  };
  explicit TProbe(int& destroyed) : destroyed_(destroyed), part_(static_cast<IDispatch&>(*this)) {}
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  IOleWindow* Part() { return &part_; }

 private:
  friend TProbeCom;
  ~TProbe() { ++destroyed_; }
  int& destroyed_;
  TProbePart part_;
};

TEST(ComKit, OneIdentityAndTheTablesInterfacesOnly) {
  int destroyed = 0;
  auto probe = TComPtr<TProbe>::Adopt(new TProbe(destroyed));
  const auto viaDispatch = probe.Query<IUnknown>(IID_IUnknown);
  const auto target = probe.Query<IOleCommandTarget>(IID_IOleCommandTarget);
  ASSERT_TRUE(target);
  EXPECT_EQ(target.Query<IUnknown>(IID_IUnknown).Get(), viaDispatch.Get());
  EXPECT_EQ(probe.Query<IDispatch>(IID_IDispatch).Get(), static_cast<IDispatch*>(probe.Get()));

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(probe->QueryInterface(IID_IOleWindow, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(probe->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
  EXPECT_FALSE(probe.Query<IOleWindow>(IID_IOleWindow));

  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(probe->GetTypeInfo(0, 0, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(destroyed, 0);
}

TEST(ComKit, ReferencesEndTheObjectOnceAndPartsCountForTheirOwner) {
  int destroyed = 0;
  TComPtr<IDispatch> first = TComPtr<IDispatch>::Adopt(new TProbe(destroyed));
  TComPtr<IOleWindow> part;
  {
    TComPtr<TProbe> probe(static_cast<TProbe*>(first.Get()));
    part = TComPtr<IOleWindow>(probe->Part());
  }
  TComPtr<IDispatch> copy = first;
  TComPtr<IDispatch> moved = std::move(copy);
  EXPECT_FALSE(copy);
  first.Reset();
  moved = nullptr;
  // The part's reference still holds the whole object.
  EXPECT_EQ(destroyed, 0);
  auto partAgain = part.Query<IOleWindow>(IID_IOleWindow);
  part.Reset();
  EXPECT_EQ(destroyed, 0);
  IOleWindow* raw = TComPtr<IOleWindow>(partAgain).Detach();
  raw->Release();
  EXPECT_EQ(destroyed, 0);
  partAgain.Reset();
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
