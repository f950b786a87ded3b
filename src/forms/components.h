// The component model the window framework stands on: ownership, names,
// the loading state of a stored layout, and owned collections.
//
// An owner frees what it owns, last created first. A component that is freed
// on its own (not by its owner) first tells its owner, which passes the news
// to every component it owns, so that references to it can be cleared.
//
// C++ runs a destructor on an object whose derived parts are already gone, so
// the framework keeps two rules that the code below relies on:
//  - a class whose owned components may still reach its own parts calls
//    DestroyComponents() at the top of its destructor (the windowed control
//    and the form do);
//  - a Notification receiver may compare the component pointer it is given
//    and read its TComponent part (Name), but must not call its virtual
//    functions: an inserted component is announced from its base
//    constructor and a removed one from its base destructor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/exceptions.h"

EBOOK_DECLARE_EXCEPTION(EComponentError, Exception);
EBOOK_DECLARE_EXCEPTION(EListError, Exception);
EBOOK_DECLARE_EXCEPTION(EInvalidOperation, Exception);

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

enum TOperation { opInsert, opRemove };

// Component state flags.
enum : unsigned {
  csLoading = 1u << 0,     // created by a stored layout whose Loaded has not run yet
  csDestroying = 1u << 1,  // being freed (itself or an owner above it)
};
using TComponentState = unsigned;

class TComponent : public TObject {
 public:
  // With an owner, the owner takes ownership at once. A component created
  // while its owner is loading is loading too (see LoadComponents).
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // Fails with EListError for an index out of range.
  TComponent* Components(int index) const;
  // Position in the owner's list; -1 without an owner.
  int ComponentIndex() const;
  // The owned component of that name (letter case ignored), or nullptr.
  TComponent* FindComponent(std::string_view name) const;

  const std::string& Name() const { return name_; }
  // A name is empty or an identifier, and unique among the owner's
  // components: EComponentError otherwise.
  void SetName(const std::string& name);

  TComponentState ComponentState() const { return state_; }
  bool IsLoading() const { return (state_ & csLoading) != 0; }
  bool IsDestroying() const { return (state_ & csDestroying) != 0; }

  // Ownership transfer: Insert takes the component from its present owner;
  // Remove gives it up (the caller then owns it). Both notify.
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  // Frees every owned component, the last created first, without notifying
  // (the owner is going or starting over).
  void DestroyComponents();

  // Builds a stored layout: runs create with this component and every
  // component created with a loading owner in the loading state, then calls
  // Loaded on this component and then on each of those in creation order.
  // When create fails, the loading state is cleared and the failure passed
  // on; Loaded is not called.
  void LoadComponents(const std::function<void()>& create);

 protected:
  // End of loading; the base clears csLoading. Overrides call it first.
  virtual void Loaded();
  // A component was inserted into or removed from this owner's list; the
  // base passes it on to every owned component.
  virtual void Notification(TComponent* component, TOperation operation);
  // Marks this component and everything it owns as being destroyed.
  void Destroying();

 private:
  struct TLoadRecord;

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::string name_;
  TComponentState state_ = 0;
  TLoadRecord* load_ = nullptr;  // shared by the components of one layout while it loads
};

// Creates a component owned by owner; the owner frees it.
template <class T, class... Args>
T* CreateComponent(TComponent* owner, Args&&... args) {
  return new T(owner, std::forward<Args>(args)...);
}

// Frees a component before its owner does (the owner is notified) and
// clears the reference.
template <class T>
void FreeComponent(T*& component) {
  delete component;
  component = nullptr;
}

// ---- collections -----------------------------------------------------------

class TCollection;

class TCollectionItem : public TObject {
 public:
  TCollectionItem() = default;
  ~TCollectionItem() override;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollection* Collection() const { return collection_; }
  int Index() const;
  void SetIndex(int index);
  // Unique within the collection for its lifetime; never reused.
  int ID() const { return id_; }

 protected:
  // Tells the collection that this item (or, with allItems, the whole
  // collection) changed.
  void Changed(bool allItems);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = -1;
};

class TCollection : public TObject {
 public:
  explicit TCollection(TObject* owner = nullptr) : owner_(owner) {}
  // Frees the items, the last first.
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  TObject* Owner() const { return owner_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Fails with EListError for an index out of range.
  TCollectionItem* Items(int index) const;
  TCollectionItem* Add();
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();

  // Update is called once at the end of the outermost EndUpdate for changes
  // made in between.
  void BeginUpdate();
  void EndUpdate();

 protected:
  virtual std::unique_ptr<TCollectionItem> CreateItem() = 0;
  // item is the changed item, or nullptr when the whole collection changed
  // (insertion, deletion, reordering, end of an update).
  virtual void Update(TCollectionItem* item) {}

 private:
  friend class TCollectionItem;
  void Changed(TCollectionItem* item);
  void Detach(TCollectionItem* item);
  TCollectionItem* InsertCreated(int index);

  TObject* owner_;
  std::vector<TCollectionItem*> items_;  // owned
  int nextId_ = 0;
  int updateCount_ = 0;
  bool pending_ = false;
};

// A collection of one item class.
template <class TItem>
class TOwnedCollection : public TCollection {
 public:
  using TCollection::TCollection;
  TItem* Add() { return static_cast<TItem*>(TCollection::Add()); }
  TItem* Insert(int index) { return static_cast<TItem*>(TCollection::Insert(index)); }
  TItem* Items(int index) const { return static_cast<TItem*>(TCollection::Items(index)); }

 protected:
  std::unique_ptr<TCollectionItem> CreateItem() override { return std::make_unique<TItem>(); }
};
