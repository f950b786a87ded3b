// What the plain browser takes from a page's style sheets: only whether an
// element is shown. It lays pages out from their tags, not their styles,
// but the parts an author hides (a menu for small screens, a permalink
// sign shown only under the pointer, a search box a script would reveal)
// are not text for reading, and a browser does not show them either.
//
// So style sheets (linked, imported, in <style>, in style attributes) are
// read for two properties, display (none or anything else) and visibility
// (hidden or visible), with the cascade's rules (origin, !important,
// specificity, order) and media queries (types, widths against the
// viewport, a few features). Selectors: type, universal, #id, .class,
// attribute tests, the structural pseudo-classes, :not/:is/:where, and the
// four combinators. A selector with a state (:hover, :focus, :checked, ...)
// or a pseudo-element never matches: the page is read as it stands.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "browser/plain_dom.h"

enum class TDisplayValue : uint8_t { kUnset, kNone, kShown };
enum class TVisibilityValue : uint8_t { kUnset, kVisible, kHidden };

struct TStyleDeclarations {
  TDisplayValue Display = TDisplayValue::kUnset;
  bool DisplayImportant = false;
  TVisibilityValue Visibility = TVisibilityValue::kUnset;
  bool VisibilityImportant = false;
  bool Background = false;  // a background (other than none or transparent) is declared

  bool Any() const { return Display != TDisplayValue::kUnset || Visibility != TVisibilityValue::kUnset; }
};

// The declarations of a rule's block or a style attribute.
TStyleDeclarations ParseDeclarations(std::wstring_view block);

// Whether a media query list ("screen and (max-width: 1023px), print")
// holds on a screen of this width in CSS pixels. An empty list holds.
bool MediaMatches(std::wstring_view mediaList, int viewportWidth);

struct TSelector;

struct TStyleRule {
  std::shared_ptr<const TSelector> Selector;
  uint32_t Specificity = 0;  // ids << 20 | classes << 10 | types
  TStyleDeclarations Declarations;
  int Media = -1;  // index into TStyleSheet::Media; -1: always
};

struct TStyleImport {
  std::wstring Href;  // as written
  std::wstring Media;
};

class TStyleSheet {
 public:
  std::vector<TStyleRule> Rules;    // only those that set display or visibility
  std::vector<TStyleImport> Imports;
  // The media conditions of rules: each a list of query lists that must
  // all hold (nested @media blocks).
  std::vector<std::vector<std::wstring>> Media;
};

TStyleSheet ParseStyleSheet(std::wstring_view css);

// One sheet as it applies to a page: the sheets in the order the page
// names them (imports expanded before the sheet that imports them), each
// with the media list of the link, style element or import that brought it.
struct TAppliedSheet {
  std::shared_ptr<const TStyleSheet> Sheet;
  std::vector<std::wstring> Media;
};

struct TElementStyle {
  TDisplayValue Display = TDisplayValue::kUnset;  // as declared (the tag's own look otherwise)
  TVisibilityValue Visibility = TVisibilityValue::kUnset;  // as declared on the element (inherits otherwise)
  bool Background = false;  // its style attribute declares a background
};

// Resolves the styles of a document's elements for a viewport width.
class TStyleResolver {
 public:
  TStyleResolver(const TDomDocument& document, const std::vector<TAppliedSheet>& sheets, int viewportWidth);
  ~TStyleResolver();
  TStyleResolver(const TStyleResolver&) = delete;
  TStyleResolver& operator=(const TStyleResolver&) = delete;

  TElementStyle StyleOf(int element) const;
  // True when every media condition of the sheets evaluates at this width
  // as at the width the styles were resolved for: the styles stay as they
  // are.
  bool SameMediaAt(int viewportWidth) const;

 private:
  struct TCandidates;
  const TDomDocument& document_;
  std::vector<TAppliedSheet> sheets_;  // kept alive for rules_
  struct TActiveRule {
    const TStyleRule* Rule;
    uint32_t Order;
  };
  std::vector<TActiveRule> rules_;
  std::unique_ptr<TCandidates> candidates_;
  std::vector<std::wstring> conditions_;  // every media list the sheets name
  std::vector<bool> conditionResults_;
};
