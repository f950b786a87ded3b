// COM interface ownership for the browser code: one reference per TComPtr,
// released when it goes; and the IUnknown of the browser's own COM objects,
// answered from a table of the interfaces each object hands out.
//
// Windows only.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>
#include <type_traits>
#include <utility>

// Holds one reference to a COM interface.
//
//   TComPtr<IOleInPlaceObject> inPlace;
//   if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject, inPlace.PutVoid()))) inPlace->...;
//
// Construction from a raw pointer takes a reference of its own (the caller
// keeps its reference); Adopt takes over a reference the caller already
// owns, as an out-parameter hands one over.
template <class TInterface>
class TComPtr {
 public:
  TComPtr() noexcept = default;
  TComPtr(std::nullptr_t) noexcept {}
  explicit TComPtr(TInterface* p) noexcept : p_(p) {
    if (p_ != nullptr) p_->AddRef();
  }
  TComPtr(const TComPtr& other) noexcept : TComPtr(other.p_) {}
  TComPtr(TComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~TComPtr() { Reset(); }
  TComPtr& operator=(const TComPtr& other) noexcept {
    TComPtr(other).Swap(*this);
    return *this;
  }
  TComPtr& operator=(TComPtr&& other) noexcept {
    TComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  TComPtr& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  static TComPtr Adopt(TInterface* p) noexcept {
    TComPtr owner;
    owner.p_ = p;
    return owner;
  }

  TInterface* Get() const noexcept { return p_; }
  TInterface* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  friend bool operator==(const TComPtr& p, std::nullptr_t) noexcept { return p.p_ == nullptr; }

  // Gives the held reference up to the caller (an out-parameter).
  [[nodiscard]] TInterface* Detach() noexcept { return std::exchange(p_, nullptr); }

  // Releases the held reference. The pointer is cleared first, so that
  // whatever the release sets off never finds a stale one here.
  void Reset() noexcept {
    if (TInterface* p = std::exchange(p_, nullptr)) p->Release();
  }

  // For a call that hands out a new reference: releases the held one and
  // receives the new one.
  TInterface** Put() noexcept {
    Reset();
    return &p_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  // Another interface of the same object, or an empty pointer.
  template <class TOther>
  TComPtr<TOther> Query(REFIID iid) const noexcept {
    TComPtr<TOther> other;
    if (p_ != nullptr && FAILED(p_->QueryInterface(iid, other.PutVoid()))) other.Reset();
    return other;
  }

  void Swap(TComPtr& other) noexcept { std::swap(p_, other.p_); }

 private:
  TInterface* p_ = nullptr;
};

// ---- IUnknown from a table --------------------------------------------------
//
// A COM object derives from TComObject<TSelf, interfaces...> and declares the
// interfaces it answers for:
//
//   static constexpr TInterfaceEntry<TSelf> kInterfaces[] = {
//       {&IID_IUnknown, InterfaceOf<TSelf, IDispatch>},
//       {&IID_IDispatch, InterfaceOf<TSelf, IDispatch>}, ...};
//
// The first entry's interface is the object's identity. By default the
// object counts its own references and deletes itself at zero; a part of a
// larger object instead declares `IUnknown& LifetimeOwner()`, and its
// references are the owner's.

template <class TOwner>
struct TInterfaceEntry {
  const IID* Iid;
  IUnknown* (*Get)(TOwner& owner);
};

template <class TOwner, class TInterface>
IUnknown* InterfaceOf(TOwner& owner) {
  return static_cast<TInterface*>(&owner);
}

template <class TOwner, size_t N>
HRESULT QueryInterfaceFromTable(TOwner& owner, const TInterfaceEntry<TOwner> (&table)[N], REFIID iid,
                                void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  for (const TInterfaceEntry<TOwner>& entry : table) {
    if (IsEqualIID(*entry.Iid, iid)) {
      IUnknown* found = entry.Get(owner);
      found->AddRef();
      *out = found;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

template <class TSelf, class... TInterfaces>
class TComObject : public TInterfaces... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return QueryInterfaceFromTable(Self(), TSelf::kInterfaces, iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    if constexpr (requires(TSelf& self) { self.LifetimeOwner(); }) {
      return Self().LifetimeOwner().AddRef();
    } else {
      return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
  }
  ULONG STDMETHODCALLTYPE Release() override {
    if constexpr (requires(TSelf& self) { self.LifetimeOwner(); }) {
      return Self().LifetimeOwner().Release();
    } else {
      const LONG left = InterlockedDecrement(&refs_);
      if (left == 0) delete &Self();
      return static_cast<ULONG>(left);
    }
  }

 protected:
  TComObject() = default;
  ~TComObject() = default;

 private:
  TSelf& Self() { return static_cast<TSelf&>(*this); }
  LONG refs_ = 1;  // a new object starts with its creator's reference
};

// A dispatch interface that is called by dispatch id only: no type
// information, no names. Use it in place of the interface itself in a
// TComObject's list (TNamelessDispatch<IDispatch>, or a dual interface).
template <class TInterface>
class TNamelessDispatch : public TInterface {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

 protected:
  TNamelessDispatch() = default;
  ~TNamelessDispatch() = default;
};
