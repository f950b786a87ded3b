// Ownership, names, notifications, the loading state and collections.
#include "forms/components.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using TLog = std::vector<std::string>;

// Writes what happens to it into a shared log.
class TLogged : public TComponent {
 public:
  TLogged(TComponent* owner, const std::string& name, TLog& log) : TComponent(owner), log_(log) { SetName(name); }
  ~TLogged() override { log_.push_back("free " + Name()); }

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove) log_.push_back(Name() + " sees " + component->Name() + " go");
    TComponent::Notification(component, operation);
  }
  void Loaded() override {
    log_.push_back("loaded " + Name() + (IsLoading() ? " (loading)" : ""));
    TComponent::Loaded();
  }

 private:
  TLog& log_;
};

TEST(Components, OwnerFreesWhatItOwnsLastCreatedFirstWithoutNotices) {
  TLog log;
  auto root = std::make_unique<TLogged>(nullptr, "Root", log);
  auto* a = new TLogged(root.get(), "A", log);
  new TLogged(a, "A1", log);  // owned one level down
  new TLogged(root.get(), "B", log);
  new TLogged(root.get(), "C", log);
  root.reset();
  EXPECT_EQ(log, (TLog{"free Root", "free C", "free B", "free A", "free A1"}));
}

TEST(Components, FreeingOneTellsTheOwnerAndItsComponents) {
  TLog log;
  TLogged root(nullptr, "Root", log);
  new TLogged(&root, "A", log);
  auto* b = new TLogged(&root, "B", log);
  new TLogged(&root, "C", log);
  FreeComponent(b);
  EXPECT_EQ(b, nullptr);
  // The owner and each remaining component hear of it; the list drops it.
  EXPECT_EQ(log, (TLog{"free B", "Root sees B go", "C sees B go", "A sees B go"}));
  EXPECT_EQ(root.ComponentCount(), 2);
  EXPECT_EQ(root.FindComponent("b"), nullptr);
  EXPECT_EQ(root.FindComponent("c"), root.Components(1)) << "names are found whatever their letter case";
  EXPECT_EQ(root.Components(1)->ComponentIndex(), 1);
}

TEST(Components, OwnershipMovesWithNotices) {
  TLog log;
  TLogged first(nullptr, "First", log);
  TLogged second(nullptr, "Second", log);
  auto* moved = new TLogged(&first, "Moved", log);
  second.InsertComponent(moved);
  EXPECT_EQ(moved->Owner(), &second);
  EXPECT_EQ(first.ComponentCount(), 0);
  EXPECT_EQ(log, (TLog{"First sees Moved go", "Moved sees Moved go"}));
  second.RemoveComponent(moved);  // the caller owns it now
  EXPECT_EQ(moved->Owner(), nullptr);
  delete moved;
}

TEST(Components, NamesAreIdentifiersUniqueInTheirOwner) {
  TComponent root(nullptr);
  auto* a = new TComponent(&root);
  a->SetName("Button_1");
  auto* b = new TComponent(&root);
  try {
    b->SetName("BUTTON_1");
    FAIL() << "duplicate accepted";
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.Message, "A component named BUTTON_1 already exists");
  }
  try {
    b->SetName("1st");
    FAIL() << "invalid name accepted";
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.Message, "'1st' is not a valid component name");
  }
  b->SetName("Other");
  EXPECT_EQ(root.FindComponent("other"), b);
  EXPECT_THROW(root.Components(2), EListError);
}

TEST(Components, LayoutLoadsThenCallsLoadedRootFirstInCreationOrder) {
  TLog log;
  TLogged root(nullptr, "Root", log);
  std::vector<bool> loadingDuringBuild;
  root.LoadComponents([&] {
    auto* a = new TLogged(&root, "A", log);
    new TLogged(a, "ASub", log);  // created by A itself while loading
    auto* gone = new TLogged(&root, "Gone", log);
    delete gone;  // freed before the end: never Loaded
    auto* b = new TLogged(&root, "B", log);
    loadingDuringBuild = {root.IsLoading(), a->IsLoading(), b->IsLoading()};
  });
  EXPECT_EQ(loadingDuringBuild, (std::vector<bool>{true, true, true}));
  // The notice travels down the whole tree; then Loaded, root first.
  EXPECT_EQ(log, (TLog{"free Gone", "Root sees Gone go", "A sees Gone go", "ASub sees Gone go", "loaded Root (loading)",
                       "loaded A (loading)", "loaded ASub (loading)", "loaded B (loading)"}));
  for (int i = 0; i < root.ComponentCount(); ++i) EXPECT_FALSE(root.Components(i)->IsLoading());
  EXPECT_FALSE(root.IsLoading());
  auto* later = new TLogged(&root, "Later", log);
  EXPECT_FALSE(later->IsLoading()) << "components made after the layout are not loading";
}

TEST(Components, FailedLayoutLeavesNothingLoadingAndCallsNoLoaded) {
  TLog log;
  TLogged root(nullptr, "Root", log);
  TComponent* a = nullptr;
  EXPECT_THROW(root.LoadComponents([&] {
    a = new TLogged(&root, "A", log);
    throw Exception("layout broken");
  }),
               Exception);
  EXPECT_FALSE(root.IsLoading());
  EXPECT_FALSE(a->IsLoading());
  EXPECT_TRUE(log.empty());
}

// ---- collections -----------------------------------------------------------

int liveItems = 0;

class TCountedItem : public TCollectionItem {
 public:
  TCountedItem() { ++liveItems; }
  ~TCountedItem() override { --liveItems; }
  void Touch() { Changed(false); }
};

class TWatchedCollection : public TOwnedCollection<TCountedItem> {
 public:
  std::vector<TCollectionItem*> Updates;

 protected:
  void Update(TCollectionItem* item) override { Updates.push_back(item); }
};

TEST(Collections, OwnItemsKeepIdsAndReportChanges) {
  {
    TWatchedCollection panels;
    TCountedItem* first = panels.Add();
    TCountedItem* second = panels.Add();
    TCountedItem* third = panels.Add();
    EXPECT_EQ(liveItems, 3);
    EXPECT_EQ((std::vector<int>{first->ID(), second->ID(), third->ID()}), (std::vector<int>{0, 1, 2}));
    panels.Delete(1);
    EXPECT_EQ(panels.Count(), 2);
    EXPECT_EQ(panels.Items(1), third);
    EXPECT_EQ(third->Index(), 1);
    EXPECT_EQ(panels.Add()->ID(), 3) << "ids are never reused";
    delete first;  // an item freed on its own leaves the collection
    EXPECT_EQ(panels.Items(0), third);
    try {
      panels.Items(5);
      FAIL();
    } catch (const EListError& e) {
      EXPECT_EQ(e.Message, "List index out of bounds (5)");
    }

    panels.Updates.clear();
    third->Touch();
    EXPECT_EQ(panels.Updates, (std::vector<TCollectionItem*>{third}));
    panels.Updates.clear();
    panels.BeginUpdate();
    panels.Add();
    third->Touch();
    panels.EndUpdate();
    EXPECT_EQ(panels.Updates, (std::vector<TCollectionItem*>{nullptr})) << "one update for the whole batch";
    EXPECT_EQ(liveItems, 3);
  }
  EXPECT_EQ(liveItems, 0) << "the collection frees its items";
}

}  // namespace
