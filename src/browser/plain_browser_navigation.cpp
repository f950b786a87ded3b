// The plain browser's navigation: history, the fetching workers and what
// they bring (redirects, pages, their style sheets and pictures), the
// events of a shown page, and links (with a new window asked of the
// container for a target).
#include <cwctype>

#include "browser/plain_browser_object.h"
#include "browser/plain_picture_decoder.h"
#include "runtime/ansi.h"
#include "runtime/code_pages.h"

void RunFetch(std::shared_ptr<TBrowserFetch> job, HWND window) {
  RunPlainFetch(job->Fetch);
  try {
    if (job->Kind == TBrowserFetch::kPage) {
      job->Outcome = PlainFetchOutcome(job->Fetch, kMaxRedirects, AnsiCodePage());
    } else if (job->Kind == TBrowserFetch::kPicture && !job->Fetch.Failed && job->Fetch.Answer.StatusCode < 400) {
      job->Bitmap = DecodePicture(job->Fetch.Answer.Body);
    }
  } catch (...) {
    // Out of memory for the page or the picture: the window thread finds
    // neither and says so.
  }
  PostMessageW(window, kFetchDone, 0, static_cast<LPARAM>(job->Fetch.Id));
}


// ---- navigation

HRESULT TPlainBrowserObject::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
  if (url == nullptr) return E_INVALIDARG;
  const std::wstring address(url, SysStringLen(url));
  if (IsWindowCloseScript(address)) {
    // The page asks to close its window: the container decides.
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
    return S_OK;
  }
  StartNavigation(address, -1, 0);
  return S_OK;
}

HRESULT TPlainBrowserObject::GoBack() {
  if (index_ <= 0) return E_FAIL;
  StartNavigation(history_[static_cast<size_t>(index_ - 1)], index_ - 1, 0);
  return S_OK;
}

HRESULT TPlainBrowserObject::GoForward() {
  if (index_ < 0 || index_ + 1 >= static_cast<int>(history_.size())) return E_FAIL;
  StartNavigation(history_[static_cast<size_t>(index_ + 1)], index_ + 1, 0);
  return S_OK;
}

HRESULT TPlainBrowserObject::Refresh() {
  if (index_ < 0) return S_OK;
  StartNavigation(history_[static_cast<size_t>(index_)], index_, 0);
  return S_OK;
}

HRESULT TPlainBrowserObject::Stop() {
  CancelFetch();
  CancelResources();
  completePending_ = false;
  return S_OK;
}

void TPlainBrowserObject::CancelFetch() {
  if (current_ != nullptr) {
    current_->Fetch.Cancel();
    current_.reset();
  }
  if (arriving_ != nullptr) {
    arriving_.reset();
    if (window_ != nullptr) KillTimer(window_, kStyleSheetTimer);
  }
}

void TPlainBrowserObject::CancelResources() {
  for (auto& [id, job] : resources_) job->Fetch.Cancel();
  resources_.clear();
  picturesRunning_ = 0;
}

// Finished workers are joined as their answers arrive; all of them when the
// browser closes (their sockets were shut down, so they end at once).
void TPlainBrowserObject::JoinWorkers(bool all) {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (all) {
      if (it->second.joinable()) it->second.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

std::shared_ptr<TBrowserFetch> TPlainBrowserObject::StartFetch(TBrowserFetch::TKind kind, const std::wstring& url) {
  auto job = std::make_shared<TBrowserFetch>();
  job->Kind = kind;
  job->Serial = serial_;
  job->Fetch.Id = nextFetch_++;
  job->Fetch.Url = url;
  job->Fetch.Utf8 = (hostFlags_ & DOCHOSTUIFLAG_URL_ENCODING_ENABLE_UTF8) != 0;
  workers_.emplace_back(job->Fetch.Id, std::thread(RunFetch, job, window_));
  return job;
}

void TPlainBrowserObject::StartNavigation(const std::wstring& url, int historyIndex, int redirects) {
  CancelFetch();
  CancelResources();
  ++serial_;
  const std::wstring lower = [&] {
    std::wstring l = url.substr(0, 12);
    for (wchar_t& c : l) c = static_cast<wchar_t>(towlower(c));
    return l;
  }();
  if (lower.rfind(L"about:", 0) == 0) {
    ShowPage(url, TPlainPage::FromMessage(url, L""), historyIndex);
    return;
  }
  if (lower.rfind(L"javascript:", 0) == 0) return;  // scripts do not run here
  if (lower.rfind(L"http://", 0) != 0 || window_ == nullptr) {
    ShowPage(url, TPlainPage::FromMessage(url, L"This page cannot be displayed: " + url), historyIndex);
    return;
  }
  current_ = StartFetch(TBrowserFetch::kPage, url);
  current_->Fetch.HistoryIndex = historyIndex;
  current_->Fetch.Redirects = redirects;
}

void TPlainBrowserObject::FetchDone(unsigned id) {
  for (auto it = workers_.begin(); it != workers_.end(); ++it) {
    if (it->first == id) {
      if (it->second.joinable()) it->second.join();
      workers_.erase(it);
      break;
    }
  }
  if (current_ != nullptr && current_->Fetch.Id == id) {
    std::shared_ptr<TBrowserFetch> job = std::move(current_);
    current_.reset();
    PageArrived(*job);
    return;
  }
  const auto found = resources_.find(id);
  if (found == resources_.end()) return;  // stopped or superseded
  std::shared_ptr<TBrowserFetch> job = std::move(found->second);
  resources_.erase(found);
  if (job->Serial != serial_) return;
  if (job->Kind == TBrowserFetch::kStyleSheet) {
    StyleSheetArrived(*job);
  } else {
    PictureArrived(*job);
  }
}

void TPlainBrowserObject::PageArrived(TBrowserFetch& job) {
  TPlainOutcome outcome = std::move(job.Outcome);
  if (outcome.Redirect) {
    StartNavigation(outcome.RedirectTo, job.Fetch.HistoryIndex, job.Fetch.Redirects + 1);
    return;
  }
  if (!outcome.Page) {
    outcome.Page = TPlainPage::FromMessage(job.Fetch.Url, L"This page cannot be displayed: it is too large");
  }
  arriving_ = std::move(outcome.Page);
  arrivingUrl_ = job.Fetch.Url;
  arrivingHistory_ = job.Fetch.HistoryIndex;
  // A page shows once its style sheets are there (what they hide stays
  // hidden from the start), or when they take too long.
  RequestStyleSheets(*arriving_);
  if (arriving_->StyleSheetsPending() && window_ != nullptr) {
    SetTimer(window_, kStyleSheetTimer, kStyleSheetPatienceMs, nullptr);
  } else {
    ShowArrivingPage();
  }
}

void TPlainBrowserObject::RequestStyleSheets(TPlainPage& page) {
  for (const std::wstring& url : page.StyleSheetsToFetch()) {
    if (url.size() < 7 || _wcsnicmp(url.c_str(), L"http://", 7) != 0) {
      page.DeliverStyleSheet(url, nullptr);
      continue;
    }
    auto job = StartFetch(TBrowserFetch::kStyleSheet, url);
    resources_.emplace(job->Fetch.Id, std::move(job));
  }
}

void TPlainBrowserObject::StyleSheetArrived(const TBrowserFetch& job) {
  TPlainPage* page = arriving_ ? arriving_.get() : page_.get();
  if (page == nullptr) return;
  page->DeliverStyleSheet(job.Fetch.Url, job.Fetch.Failed ? nullptr : &job.Fetch.Answer);
  RequestStyleSheets(*page);
  if (page == arriving_.get()) {
    if (!page->StyleSheetsPending()) ShowArrivingPage();
    return;
  }
  // A late sheet of the shown page.
  page->StylesChanged();
  Layout();
  if (window_ != nullptr) InvalidateRect(window_, nullptr, FALSE);
  FetchPictures();
  CompleteIfDone();
}

void TPlainBrowserObject::ShowArrivingPage() {
  if (window_ != nullptr) KillTimer(window_, kStyleSheetTimer);
  if (!arriving_) return;
  ShowPage(arrivingUrl_, std::move(arriving_), arrivingHistory_);
}

void TPlainBrowserObject::ShowPage(const std::wstring& url, std::unique_ptr<TPlainPage> page, int historyIndex) {
  if (historyIndex < 0) {
    if (index_ + 1 < static_cast<int>(history_.size())) history_.resize(static_cast<size_t>(index_ + 1));
    history_.push_back(url);
    index_ = static_cast<int>(history_.size()) - 1;
  } else {
    index_ = historyIndex;
    history_[static_cast<size_t>(index_)] = url;
  }
  // The previous page's pictures are no longer wanted.
  for (auto it = resources_.begin(); it != resources_.end();) {
    if (it->second->Kind == TBrowserFetch::kPicture) {
      it->second->Fetch.Cancel();
      it = resources_.erase(it);
    } else {
      ++it;
    }
  }
  url_ = url;
  page_ = std::move(page);
  title_ = page_->Title().empty() ? url_ : page_->Title();
  bitmaps_.clear();
  nextPicture_ = 0;
  picturesRunning_ = 0;
  completePending_ = true;
  if (!document_) document_ = TComPtr<TPlainDocument>::Adopt(new TPlainDocument(this));
  scroll_ = 0;
  pressedLink_ = -1;
  layoutWidth_ = 0;
  Layout();
  if (window_ != nullptr) InvalidateRect(window_, nullptr, FALSE);
  ScrollToFragment(url_);

  // The events, in the order the platform's browser raises them.
  const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
  FireCommandStates();
  {
    VARIANT args[1];
    args[0].vt = VT_BSTR;
    args[0].bstrVal = ToBstr(title_);
    Fire(DISPID_TITLECHANGE, args, 1);
    SysFreeString(args[0].bstrVal);
  }
  FireForPage(DISPID_NAVIGATECOMPLETE2);
  FetchPictures();
  CompleteIfDone();
}

void TPlainBrowserObject::FetchPictures() {
  if (!page_) return;
  const auto& urls = page_->PictureUrls();
  if (bitmaps_.size() < urls.size()) bitmaps_.resize(urls.size());
  while (picturesRunning_ < kPictureFetches && nextPicture_ < urls.size()) {
    const size_t index = nextPicture_++;
    if (page_->PictureStateOf(index).Kind != TPictureState::kPending) continue;
    const std::wstring& url = urls[index];
    if (url.size() < 7 || _wcsnicmp(url.c_str(), L"http://", 7) != 0 || window_ == nullptr) {
      TPictureState failed;
      failed.Kind = TPictureState::kFailed;
      page_->SetPictureState(index, failed);
      continue;
    }
    auto job = StartFetch(TBrowserFetch::kPicture, url);
    job->Index = index;
    resources_.emplace(job->Fetch.Id, std::move(job));
    ++picturesRunning_;
  }
}

void TPlainBrowserObject::PictureArrived(TBrowserFetch& job) {
  if (picturesRunning_ > 0) --picturesRunning_;
  if (!page_ || job.Index >= page_->PictureUrls().size()) return;
  TPictureState state;
  if (job.Bitmap) {
    state.Kind = TPictureState::kReady;
    state.Width = job.Bitmap->Width();
    state.Height = job.Bitmap->Height();
    if (bitmaps_.size() <= job.Index) bitmaps_.resize(job.Index + 1);
    bitmaps_[job.Index] = std::move(job.Bitmap);
  } else {
    state.Kind = TPictureState::kFailed;  // its alternative text shows
  }
  page_->SetPictureState(job.Index, state);
  // One layout for the pictures that arrive together.
  if (!relayoutPosted_ && window_ != nullptr) {
    relayoutPosted_ = PostMessageW(window_, kRelayout, 0, 0) != 0;
  }
  if (!relayoutPosted_) Layout();
  FetchPictures();
  CompleteIfDone();
}

void TPlainBrowserObject::CompleteIfDone() {
  if (!completePending_ || !page_ || arriving_ || picturesRunning_ > 0 || nextPicture_ < page_->PictureUrls().size()) {
    return;
  }
  completePending_ = false;
  const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
  FireForPage(DISPID_DOCUMENTCOMPLETE);
}

void TPlainBrowserObject::FireForPage(DISPID id) {
  VARIANT address;
  address.vt = VT_BSTR;
  address.bstrVal = ToBstr(url_);
  VARIANT args[2];
  args[1].vt = VT_DISPATCH;  // pDisp
  args[1].pdispVal = static_cast<IWebBrowser2*>(this);
  args[0].vt = VT_BYREF | VT_VARIANT;  // URL
  args[0].pvarVal = &address;
  Fire(id, args, 2);
  SysFreeString(address.bstrVal);
}

void TPlainBrowserObject::ScrollToFragment(const std::wstring& url) {
  if (!page_) return;
  const size_t hash = url.find(L'#');
  if (hash == std::wstring::npos || hash + 1 >= url.size()) return;
  // The name as written, or with its percent escapes decoded.
  const std::wstring name = url.substr(hash + 1);
  const auto& anchors = page_->Layout().Anchors;
  auto found = anchors.find(name);
  if (found == anchors.end()) {
    std::string bytes;
    for (size_t i = 0; i < name.size(); ++i) {
      if (name[i] == L'%' && i + 2 < name.size() && iswxdigit(name[i + 1]) && iswxdigit(name[i + 2])) {
        bytes.push_back(static_cast<char>(std::stoi(std::wstring(name.substr(i + 1, 2)), nullptr, 16)));
        i += 2;
      } else {
        bytes += WideToUtf8(std::wstring(1, name[i]));
      }
    }
    found = anchors.find(Utf8ToWide(bytes));
  }
  if (found != anchors.end()) ScrollTo(viewFonts_.Scale(found->second));
}

void TPlainBrowserObject::FollowLink(int index) {
  if (!page_ || index < 0 || index >= LinkCount()) return;
  const std::wstring href = page_->Boxes().Links[static_cast<size_t>(index)].Href;
  const std::wstring url = page_->LinkUrl(index);
  std::wstring target = page_->LinkTarget(index);
  for (wchar_t& c : target) c = static_cast<wchar_t>(towlower(c));
  if (IsWindowCloseScript(url)) {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  const size_t hash = url.find(L'#');
  const bool samePage = hash != std::wstring::npos &&
                        std::wstring_view(url).substr(0, hash) == std::wstring_view(url_).substr(0, url_.find(L'#'));
  if ((!href.empty() && href[0] == L'#') || samePage) {
    ScrollToFragment(url);  // a place on this page
    return;
  }
  if (!target.empty() && target != L"_self" && target != L"_top" && target != L"_parent") {
    // Ask the container for the browser of the new window.
    TComPtr<IDispatch> other;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[2];
    args[1].vt = VT_BYREF | VT_DISPATCH;  // ppDisp
    args[1].ppdispVal = other.Put();
    args[0].vt = VT_BYREF | VT_BOOL;  // Cancel
    args[0].pboolVal = &cancel;
    {
      const TComPtr<IWebBrowser2> keepAlive = KeepAlive();
      Fire(DISPID_NEWWINDOW2, args, 2);
      if (cancel != VARIANT_FALSE) return;
      if (other) {
        if (const auto browser = other.Query<IWebBrowser2>(IID_IWebBrowser2)) {
          BSTR text = ToBstr(url);
          VARIANT empty;
          VariantInit(&empty);
          browser->Navigate(text, &empty, &empty, &empty, &empty);
          SysFreeString(text);
        }
        return;
      }
    }
    // Without a new window the page opens here.
  }
  StartNavigation(url, -1, 0);
}
