#include "forms/components.h"

#include <algorithm>

namespace {

bool IsIdentifier(std::string_view name) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (name.empty() || !letter(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(), [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

bool SameName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

[[noreturn]] void IndexError(int index) { throw EListError(Format("List index out of bounds (%d)", index)); }

}  // namespace

// The components of one stored layout in creation order; an entry becomes
// nullptr when its component is freed before Loaded reaches it.
struct TComponent::TLoadRecord {
  std::vector<TComponent*> Loaded;
};

TComponent::TComponent(TComponent* owner) {
  if (owner == nullptr) return;
  if (owner->load_ != nullptr) {
    load_ = owner->load_;
    state_ |= csLoading;
    load_->Loaded.push_back(this);
  }
  owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
  if (load_ != nullptr)
    std::replace(load_->Loaded.begin(), load_->Loaded.end(), this, static_cast<TComponent*>(nullptr));
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) IndexError(index);
  return components_[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (owner_ == nullptr) return -1;
  auto& list = owner_->components_;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* component : components_) {
    if (SameName(component->name_, name)) return component;
  }
  return nullptr;
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!name.empty() && !IsIdentifier(name)) {
    throw EComponentError(Format("'%s' is not a valid component name", name.c_str()));
  }
  if (owner_ != nullptr && !name.empty()) {
    TComponent* other = owner_->FindComponent(name);
    if (other != nullptr && other != this) {
      throw EComponentError(Format("A component named %s already exists", name.c_str()));
    }
  }
  name_ = name;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->owner_ == this) return;
  if (!component->name_.empty() && FindComponent(component->name_) != nullptr) {
    throw EComponentError(Format("A component named %s already exists", component->name_.c_str()));
  }
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it == components_.end()) return;
  Notification(component, opRemove);
  // The notification may have changed the list.
  it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end()) components_.erase(it);
  component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  // Taken from the end one at a time: freeing one may free others of this
  // list (a windowed control frees the controls it holds).
  while (!components_.empty()) {
    TComponent* component = components_.back();
    components_.pop_back();
    component->owner_ = nullptr;
    delete component;
  }
}

void TComponent::Destroying() {
  if (IsDestroying()) return;
  state_ |= csDestroying;
  for (TComponent* component : components_) component->Destroying();
}

void TComponent::Loaded() { state_ &= ~csLoading; }

void TComponent::Notification(TComponent* component, TOperation operation) {
  // Backwards, and re-clamped each step: a receiver may free components.
  for (size_t i = components_.size(); i > 0;) {
    --i;
    components_[i]->Notification(component, operation);
    if (i > components_.size()) i = components_.size();
  }
}

void TComponent::LoadComponents(const std::function<void()>& create) {
  if (load_ != nullptr) throw EInvalidOperation("A layout is already loading");
  TLoadRecord record;
  record.Loaded.push_back(this);
  load_ = &record;
  state_ |= csLoading;
  auto finish = [&record] {
    for (TComponent* component : record.Loaded) {
      if (component != nullptr) component->load_ = nullptr;
    }
  };
  try {
    if (create) create();
  } catch (...) {
    for (TComponent* component : record.Loaded) {
      if (component != nullptr) component->state_ &= ~csLoading;
    }
    finish();
    throw;
  }
  // Loaded runs with the record still attached, so that a component freed
  // by an earlier Loaded is skipped rather than called.
  try {
    for (size_t i = 0; i < record.Loaded.size(); ++i) {
      if (TComponent* component = record.Loaded[i]) component->Loaded();
    }
  } catch (...) {
    for (TComponent* component : record.Loaded) {
      if (component != nullptr) component->state_ &= ~csLoading;
    }
    finish();
    throw;
  }
  finish();
}

// ---- collections -----------------------------------------------------------

TCollectionItem::~TCollectionItem() {
  if (collection_ != nullptr) collection_->Detach(this);
}

int TCollectionItem::Index() const {
  if (collection_ == nullptr) return -1;
  auto& items = collection_->items_;
  return static_cast<int>(std::find(items.begin(), items.end(), this) - items.begin());
}

void TCollectionItem::SetIndex(int index) {
  if (collection_ == nullptr) return;
  auto& items = collection_->items_;
  const int current = Index();
  index = std::clamp(index, 0, static_cast<int>(items.size()) - 1);
  if (index == current) return;
  items.erase(items.begin() + current);
  items.insert(items.begin() + index, this);
  collection_->Changed(nullptr);
}

void TCollectionItem::Changed(bool allItems) {
  if (collection_ != nullptr) collection_->Changed(allItems ? nullptr : this);
}

TCollection::~TCollection() {
  updateCount_ = 1;  // no Update calls into a half-destroyed owner
  while (!items_.empty()) delete items_.back();
}

TCollectionItem* TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return items_[static_cast<size_t>(index)];
}

TCollectionItem* TCollection::Add() { return InsertCreated(Count()); }

TCollectionItem* TCollection::Insert(int index) {
  if (index < 0 || index > Count()) IndexError(index);
  return InsertCreated(index);
}

TCollectionItem* TCollection::InsertCreated(int index) {
  std::unique_ptr<TCollectionItem> item = CreateItem();
  TCollectionItem* raw = item.get();
  items_.insert(items_.begin() + index, raw);
  item.release();
  raw->collection_ = this;
  raw->id_ = nextId_++;
  Changed(nullptr);
  return raw;
}

void TCollection::Delete(int index) { delete Items(index); }

void TCollection::Clear() {
  if (items_.empty()) return;
  BeginUpdate();
  while (!items_.empty()) delete items_.back();
  EndUpdate();
}

void TCollection::BeginUpdate() { ++updateCount_; }

void TCollection::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0 && pending_) {
    pending_ = false;
    Update(nullptr);
  }
}

void TCollection::Changed(TCollectionItem* item) {
  if (updateCount_ > 0) {
    pending_ = true;
    return;
  }
  Update(item);
}

void TCollection::Detach(TCollectionItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->collection_ = nullptr;
  Changed(nullptr);
}
