// The viewer's full-text search over the book, one entry at a time.
//
// The window runs the search on its own thread and processes its messages
// after each entry, so the search is a stepper: each Step looks at the next
// entry and tells the progress, and the caller decides what happens in
// between (redraw, stop because the window closes). The first two entries
// of the archive are never searched; pictures and binaries are skipped but
// count for the progress. A sealed book is searched through its seal: its
// decrypted pages once a reader has logged in, nothing before (the search
// never asks for a password itself, so it never waits for a derivation).
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TRes_invoker;
class TSealedBook;

// Whether pages of this name take part in searching and highlighting: all
// but those whose extension (from the last ".", unless a "\" or ":" follows
// it; compared in ASCII upper case) is ".JPG", ".GIF", ".ZIP", ".CLASS",
// ".PNG" or ".EXE".
bool IsSearchableName(std::string_view name);

// trunc(index ÷ (count − 1) × 100), computed in extended precision as the
// percentage shown after entry index of count.
int SearchProgress(int index, int count);

class TBookSearch {
 public:
  // text is the search text in the system's ANSI code page; the archive
  // (and seal, the archive's seal when the book is sealed) must outlive the
  // search.
  TBookSearch(const TRes_invoker& archive, std::string text, bool caseSensitive, const TSealedBook* seal = nullptr);

  // A sealed book that no reader has opened yet: the search finds nothing
  // (it is Done at once) until a login has opened the book.
  bool NeedsLogin() const { return needsLogin_; }
  bool Done() const { return needsLogin_ || next_ >= count_; }
  // Searches the next entry. Returns true when it contains the text (its
  // name, as the archive stores it, is then the last of Results()).
  bool Step();
  // The percentage after the last step (0 before the first).
  int Progress() const { return progress_; }
  const std::vector<std::string>& Results() const { return results_; }
  // Entries that could not be inflated (passed over).
  int Unreadable() const { return unreadable_; }

 private:
  const TRes_invoker& archive_;
  std::string text_;
  bool caseSensitive_;
  const TSealedBook* seal_;
  bool needsLogin_;
  int count_;
  int next_ = 2;
  int progress_ = 0;
  int unreadable_ = 0;
  std::vector<std::string> results_;
};
