#include "browser/plain_page.h"

#include <algorithm>
#include <unordered_map>

#include "browser/plain_decode.h"
#include "runtime/ansi.h"

namespace {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// "text/html; charset=utf-8" -> "text/html".
std::string MainType(std::string_view contentType) {
  std::string type = LowerAscii(contentType.substr(0, contentType.find(';')));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.pop_back();
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.erase(type.begin());
  return type;
}

bool HasToken(std::wstring_view list, std::wstring_view token) {
  size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && (list[i] == L' ' || list[i] == L'\t' || list[i] == L'\n' || list[i] == L'\r' || list[i] == L'\f')) ++i;
    size_t end = i;
    while (end < list.size() && !(list[end] == L' ' || list[end] == L'\t' || list[end] == L'\n' || list[end] == L'\r' || list[end] == L'\f')) ++end;
    if (end > i && end - i == token.size()) {
      bool same = true;
      for (size_t k = 0; k < token.size(); ++k) {
        wchar_t c = list[i + k];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != token[k]) same = false;
      }
      if (same) return true;
    }
    i = end;
  }
  return false;
}

}  // namespace

std::unique_ptr<TPlainPage> TPlainPage::FromAnswer(const std::wstring& url, const THttpAnswer& answer,
                                                    unsigned defaultCodePage) {
  std::unique_ptr<TPlainPage> page(new TPlainPage());
  page->url_ = url;
  const std::string type = MainType(answer.ContentType);
  if (type.empty() || type == "text/html" || type == "application/xhtml+xml") {
    const TDecodedText text = DecodeAnswerText(answer.Body, answer.ContentType, true, defaultCodePage);
    page->codePage_ = text.CodePage;
    page->html_ = true;
    page->ReadDocument(text.Text);
    return page;
  }
  page->built_ = true;
  if (type.rfind("text/", 0) == 0) {
    const TDecodedText text = DecodeAnswerText(answer.Body, answer.ContentType, false, defaultCodePage);
    page->codePage_ = text.CodePage;
    page->boxes_ = PlainTextBoxes(text.Text);
    return page;
  }
  if (type.rfind("image/", 0) == 0) {
    TBox& block = page->boxes_.Root.Children.emplace_back();
    TInline picture;
    picture.Kind = TInline::kPicture;
    picture.Picture = 0;
    block.Inlines.push_back(picture);
    TPictureRef ref;
    ref.Source = url;
    ref.Alternative = url;
    page->boxes_.Pictures.push_back(std::move(ref));
    page->pictureUrls_.push_back(url);
    page->pictureStates_.emplace_back();
    page->pictureOfRef_.push_back(0);
    return page;
  }
  const std::wstring line = AnsiToWide(answer.ContentType) + L" (" + std::to_wstring(answer.Body.size()) + L" bytes)";
  TBox& block = page->boxes_.Root.Children.emplace_back();
  TInline text;
  text.Text = line;
  block.Inlines.push_back(std::move(text));
  return page;
}

std::unique_ptr<TPlainPage> TPlainPage::FromMessage(const std::wstring& url, const std::wstring& message) {
  std::unique_ptr<TPlainPage> page(new TPlainPage());
  page->url_ = url;
  page->title_ = url;
  page->built_ = true;
  TBox& block = page->boxes_.Root.Children.emplace_back();
  TInline text;
  text.Text = message;
  block.Inlines.push_back(std::move(text));
  return page;
}

void TPlainPage::ReadDocument(std::wstring_view text) {
  document_ = std::make_unique<TDomDocument>(ParseHtmlDocument(text));
  title_ = document_->Title;
  CollectStyleSheets();
}

std::wstring TPlainPage::BaseUrl() const {
  if (document_ && !document_->BaseHref.empty()) return ResolveUrl(url_, document_->BaseHref);
  return url_;
}

void TPlainPage::CollectStyleSheets() {
  const TDomDocument& doc = *document_;
  const std::wstring base = BaseUrl();
  // The page's order is the cascade's: a walk of the tree, leaving out
  // templates, whose content never applies.
  std::vector<int> stack{0};
  while (!stack.empty()) {
    const int node = stack.back();
    stack.pop_back();
    const TDomNode& n = doc.Nodes[static_cast<size_t>(node)];
    if (node != 0 && !n.IsText && n.Tag == TTag::kTemplate) continue;
    if (sheets_.size() >= kMaxStyleSheets) break;
    if (!n.IsText && n.Tag == TTag::kLink) {
      const std::wstring* rel = doc.Attribute(node, "rel");
      const std::wstring* href = doc.Attribute(node, "href");
      const std::wstring* type = doc.Attribute(node, "type");
      const bool css = type == nullptr || type->empty() || HasToken(*type, L"text/css");
      if (rel != nullptr && href != nullptr && HasToken(*rel, L"stylesheet") && !HasToken(*rel, L"alternate") &&
          !doc.HasAttribute(node, "disabled") && css && !href->empty()) {
        TSheetSlot slot;
        slot.Url = ResolveUrl(base, *href);
        if (const std::wstring* media = doc.Attribute(node, "media")) slot.Media = *media;
        topSheets_.push_back(sheets_.size());
        sheets_.push_back(std::move(slot));
      }
    } else if (!n.IsText && n.Tag == TTag::kStyle) {
      std::wstring css;
      for (int child = n.FirstChild; child >= 0; child = doc.Nodes[static_cast<size_t>(child)].NextSibling) {
        if (doc.Nodes[static_cast<size_t>(child)].IsText) css += doc.Nodes[static_cast<size_t>(child)].Text;
      }
      TSheetSlot slot;
      slot.Requested = slot.Arrived = true;
      if (const std::wstring* media = doc.Attribute(node, "media")) slot.Media = *media;
      auto sheet = std::make_shared<TStyleSheet>(ParseStyleSheet(css));
      const size_t index = sheets_.size();
      topSheets_.push_back(index);
      sheets_.push_back(std::move(slot));
      for (const TStyleImport& import : sheet->Imports) {
        if (sheets_.size() >= kMaxStyleSheets) break;
        TSheetSlot imported;
        imported.Url = ResolveUrl(base, import.Href);
        imported.Media = import.Media;
        imported.Depth = 1;
        sheets_[index].Imports.push_back(sheets_.size());
        sheets_.push_back(std::move(imported));
      }
      sheets_[index].Sheet = std::move(sheet);
    }
    // Children in order: pushed last first.
    std::vector<int> children;
    for (int child = n.FirstChild; child >= 0; child = doc.Nodes[static_cast<size_t>(child)].NextSibling) {
      if (!doc.Nodes[static_cast<size_t>(child)].IsText) children.push_back(child);
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
  }
}

std::vector<std::wstring> TPlainPage::StyleSheetsToFetch() {
  std::vector<std::wstring> urls;
  for (TSheetSlot& slot : sheets_) {
    if (slot.Url.empty() || slot.Requested) continue;
    slot.Requested = true;
    urls.push_back(slot.Url);
  }
  return urls;
}

void TPlainPage::DeliverStyleSheet(const std::wstring& url, const THttpAnswer* answer) {
  for (size_t index = 0; index < sheets_.size(); ++index) {
    TSheetSlot& slot = sheets_[index];
    if (slot.Url != url || !slot.Requested || slot.Arrived) continue;
    slot.Arrived = true;
    if (answer == nullptr || answer->StatusCode >= 400) return;
    // A style sheet is in the encoding it names, else the page's.
    const TDecodedText text = DecodeAnswerText(answer->Body, answer->ContentType, false, codePage_);
    auto sheet = std::make_shared<TStyleSheet>(ParseStyleSheet(text.Text));
    const int depth = slot.Depth;
    for (const TStyleImport& import : sheet->Imports) {
      if (sheets_.size() >= kMaxStyleSheets || depth >= kMaxImportDepth) break;
      TSheetSlot imported;
      imported.Url = ResolveUrl(url, import.Href);
      imported.Media = import.Media;
      imported.Depth = depth + 1;
      sheets_[index].Imports.push_back(sheets_.size());
      sheets_.push_back(std::move(imported));
    }
    sheets_[index].Sheet = std::move(sheet);
    return;
  }
}

bool TPlainPage::StyleSheetsPending() const {
  return std::any_of(sheets_.begin(), sheets_.end(),
                     [](const TSheetSlot& slot) { return !slot.Arrived && (slot.Requested || !slot.Url.empty()); });
}

void TPlainPage::AppendApplied(size_t slot, std::vector<TAppliedSheet>& applied, std::vector<std::wstring> media) const {
  const TSheetSlot& s = sheets_[slot];
  if (!s.Media.empty()) media.push_back(s.Media);
  for (size_t import : s.Imports) AppendApplied(import, applied, media);
  if (s.Sheet) applied.push_back({s.Sheet, media});
}

void TPlainPage::BuildBoxes(int viewportWidth) {
  if (!html_) return;
  std::vector<TAppliedSheet> applied;
  for (size_t slot : topSheets_) AppendApplied(slot, applied, {});
  styles_.reset();
  styles_ = std::make_unique<TStyleResolver>(*document_, applied, viewportWidth);
  stylesWidth_ = viewportWidth;
  boxes_ = ::BuildBoxes(*document_, *styles_);
  built_ = true;

  // Pictures keep what is known of them across rebuilds.
  std::unordered_map<std::wstring, size_t> known;
  for (size_t i = 0; i < pictureUrls_.size(); ++i) known.emplace(pictureUrls_[i], i);
  const std::wstring base = BaseUrl();
  pictureOfRef_.clear();
  for (const TPictureRef& ref : boxes_.Pictures) {
    if (ref.Source.empty()) {
      pictureOfRef_.push_back(-1);
      continue;
    }
    const std::wstring url = ResolveUrl(base, ref.Source);
    auto found = known.find(url);
    if (found == known.end()) {
      found = known.emplace(url, pictureUrls_.size()).first;
      pictureUrls_.push_back(url);
      pictureStates_.emplace_back();
    }
    pictureOfRef_.push_back(static_cast<int>(found->second));
  }
}

bool TPlainPage::NeedsNewBoxes(int viewportWidth) const {
  if (!html_) return false;
  return !built_ || (styles_ && !styles_->SameMediaAt(viewportWidth));
}

void TPlainPage::SetPictureState(size_t urlIndex, const TPictureState& state) {
  if (urlIndex < pictureStates_.size()) pictureStates_[urlIndex] = state;
}

void TPlainPage::LayOut(int width, TTextMeasurer& measurer) {
  if (NeedsNewBoxes(width)) BuildBoxes(width);
  std::vector<TPictureState> states;
  states.reserve(boxes_.Pictures.size());
  for (size_t i = 0; i < boxes_.Pictures.size(); ++i) {
    const int url = PictureUrlIndex(static_cast<int>(i));
    if (url < 0) {
      TPictureState failed;
      failed.Kind = TPictureState::kFailed;
      states.push_back(failed);
    } else {
      states.push_back(pictureStates_[static_cast<size_t>(url)]);
    }
  }
  layout_ = LayOutPage(boxes_, states, width, measurer);
}

std::wstring TPlainPage::LinkUrl(int link) const {
  if (link < 0 || link >= LinkCount()) return {};
  return ResolveUrl(BaseUrl(), boxes_.Links[static_cast<size_t>(link)].Href);
}

std::wstring TPlainPage::LinkTarget(int link) const {
  if (link < 0 || link >= LinkCount()) return {};
  return boxes_.Links[static_cast<size_t>(link)].Target;
}

bool LooksLikeDecodablePicture(std::string_view bytes) {
  auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
  return starts("\x89PNG\r\n\x1A\n") || starts("\xFF\xD8\xFF") || starts("GIF87a") || starts("GIF89a") ||
         starts("BM") || starts(std::string_view("\0\0\1\0", 4)) || starts("II*") || starts(std::string_view("MM\0*", 4));
}
