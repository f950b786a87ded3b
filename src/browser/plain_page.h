// One page as the plain browser holds it, from its answer to its layout:
// the text decoded and read into elements (plain_decode, plain_dom), the
// style sheets it names and the pictures it shows as they arrive (fetched by
// whoever holds the page: the browser's workers, or a test), the boxes for
// the current width (plain_css, plain_boxes) and their layout
// (plain_layout). Portable: the browser and the native comparison with a
// real browser read pages through the very same code.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "browser/plain_boxes.h"
#include "browser/plain_css.h"
#include "browser/plain_dom.h"
#include "browser/plain_http.h"
#include "browser/plain_layout.h"

// Style sheets a page may bring in at most, imports included, and how
// deep imports may nest.
inline constexpr size_t kMaxStyleSheets = 64;
inline constexpr int kMaxImportDepth = 4;

class TPlainPage {
 public:
  // A page from a whole answer to a request for url. HTML is read into
  // elements, text/plain into lines; a picture answer becomes a page
  // showing that picture; anything else a line naming its type and size.
  // defaultCodePage: the encoding of pages that do not name theirs.
  static std::unique_ptr<TPlainPage> FromAnswer(const std::wstring& url, const THttpAnswer& answer,
                                                unsigned defaultCodePage);
  // A page that only says something (a failure).
  static std::unique_ptr<TPlainPage> FromMessage(const std::wstring& url, const std::wstring& message);

  const std::wstring& Url() const { return url_; }
  const std::wstring& Title() const { return title_; }
  unsigned CodePage() const { return codePage_; }
  bool IsHtml() const { return html_; }

  // ---- style sheets

  // Addresses of style sheets not asked for yet (each is returned once).
  std::vector<std::wstring> StyleSheetsToFetch();
  // The answer for a style sheet (nullptr: it could not be fetched). Its
  // imports become further sheets to fetch.
  void DeliverStyleSheet(const std::wstring& url, const THttpAnswer* answer);
  // Whether sheets asked for are still missing.
  bool StyleSheetsPending() const;

  // ---- boxes, pictures, layout

  // Resolves the styles for a viewport width and builds the boxes; again
  // only when the width changes what the media conditions say.
  void BuildBoxes(int viewportWidth);
  bool BoxesBuilt() const { return built_; }
  // A style sheet arrived after the boxes were built: the next layout
  // builds them again.
  void StylesChanged() {
    if (html_) built_ = false;
  }
  bool NeedsNewBoxes(int viewportWidth) const;
  const TBoxTree& Boxes() const { return boxes_; }

  // The addresses of the pictures the boxes show, each once, in order.
  const std::vector<std::wstring>& PictureUrls() const { return pictureUrls_; }
  const TPictureState& PictureStateOf(size_t urlIndex) const { return pictureStates_[urlIndex]; }
  void SetPictureState(size_t urlIndex, const TPictureState& state);
  // The picture address index of a box picture (index into Boxes().Pictures); -1 for none.
  int PictureUrlIndex(int boxPicture) const {
    return boxPicture >= 0 && static_cast<size_t>(boxPicture) < pictureOfRef_.size()
               ? pictureOfRef_[static_cast<size_t>(boxPicture)]
               : -1;
  }

  // Lays the boxes out (building them first for this width when needed).
  void LayOut(int width, TTextMeasurer& measurer);
  const TPageLayout& Layout() const { return layout_; }

  // A link's address resolved against the page, and its target window.
  std::wstring LinkUrl(int link) const;
  std::wstring LinkTarget(int link) const;
  int LinkCount() const { return static_cast<int>(boxes_.Links.size()); }

 private:
  struct TSheetSlot {
    std::wstring Url;            // empty for a <style> element
    std::wstring Media;
    std::shared_ptr<const TStyleSheet> Sheet;
    bool Requested = false;
    bool Arrived = false;        // or given up
    int Depth = 0;
    std::vector<size_t> Imports;  // slots, in order
  };

  TPlainPage() = default;
  void ReadDocument(std::wstring_view text);
  void CollectStyleSheets();
  void AppendApplied(size_t slot, std::vector<TAppliedSheet>& applied, std::vector<std::wstring> media) const;
  std::wstring BaseUrl() const;

  std::wstring url_;
  std::wstring title_;
  unsigned codePage_ = 0;
  bool html_ = false;
  std::unique_ptr<TDomDocument> document_;
  std::vector<TSheetSlot> sheets_;
  std::vector<size_t> topSheets_;  // slots named by the page, in order
  std::unique_ptr<TStyleResolver> styles_;
  int stylesWidth_ = 0;
  bool built_ = false;
  TBoxTree boxes_;
  std::vector<std::wstring> pictureUrls_;
  std::vector<TPictureState> pictureStates_;
  std::vector<int> pictureOfRef_;
  TPageLayout layout_;
};

// Whether bytes start like a picture the platform's imaging component
// decodes (PNG, JPEG, GIF, BMP, ICO, TIFF). Only for judging natively what
// the browser would draw; the browser itself asks the decoder.
bool LooksLikeDecodablePicture(std::string_view bytes);
