#include "server/book_search.h"

#include <array>

#include "archive/book_seal.h"
#include "archive/page_matching.h"
#include "archive/res_invoker.h"
#include "runtime/ansi.h"
#include "runtime/exceptions.h"
#include "runtime/streams.h"

namespace {

constexpr std::array<std::string_view, 6> kNeverSearched = {".JPG", ".GIF", ".ZIP", ".CLASS", ".PNG", ".EXE"};

std::string_view ExtensionOf(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.find_first_of("\\:", dot) != std::string_view::npos) return {};
  return name.substr(dot);
}

}  // namespace

bool IsSearchableName(std::string_view name) {
  const std::string extension = AsciiUpperCase(ExtensionOf(name));
  for (std::string_view excluded : kNeverSearched) {
    if (extension == excluded) return false;
  }
  return true;
}

int SearchProgress(int index, int count) {
  if (count <= 1) return 100;
  const long double quotient = static_cast<long double>(index) / static_cast<long double>(count - 1);
  return static_cast<int>(quotient * 100.0L);
}

TBookSearch::TBookSearch(const TRes_invoker& archive, std::string text, bool caseSensitive, const TSealedBook* seal)
    : archive_(archive),
      text_(std::move(text)),
      caseSensitive_(caseSensitive),
      seal_(seal),
      needsLogin_(seal != nullptr && !seal->Unlocked()),
      count_(archive.Count()) {}

bool TBookSearch::Step() {
  if (Done()) return false;
  const int index = next_++;
  bool found = false;
  const std::string name = EntryName(archive_.GetEntry(index));
  // The seal's own entries hold no page.
  if (IsSearchableName(name) && !(seal_ != nullptr && seal_->IsSealEntry(index))) {
    // Each entry is inflated whole and let go before the next one. A
    // damaged entry cannot hold the text the reader looks for; it is
    // counted and passed over instead of ending the search half-way.
    TMemoryStream page;
    try {
      if (seal_ != nullptr)
        seal_->Extract(index, page);
      else
        archive_.Extract(index, page);
    } catch (const Exception&) {
      ++unreadable_;
      progress_ = SearchProgress(index, count_);
      return false;
    }
    if (FindInPage(page, text_, caseSensitive_) != 0) {
      results_.push_back(name);
      found = true;
    }
  }
  progress_ = SearchProgress(index, count_);
  return found;
}
