// The plain browser's navigation: history, the fetching worker threads and
// their answers (redirects, errors, pages), the events of a shown page, and
// links (with a new window asked of the container for a target).
#include <cwctype>

#include "browser/plain_browser_object.h"
#include "runtime/ansi.h"

void RunFetch(std::shared_ptr<TPlainFetch> fetch, HWND window) {
  RunPlainFetch(*fetch);
  PostMessageW(window, kFetchDone, 0, static_cast<LPARAM>(fetch->Id));
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
  return S_OK;
}

void TPlainBrowserObject::CancelFetch() {
  if (current_ != nullptr) {
    current_->Cancel();
    current_.reset();
  }
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

void TPlainBrowserObject::StartNavigation(const std::wstring& url, int historyIndex, int redirects) {
  CancelFetch();
  const std::wstring lower = [&] {
    std::wstring l = url.substr(0, 12);
    for (wchar_t& c : l) c = static_cast<wchar_t>(towlower(c));
    return l;
  }();
  if (lower.rfind(L"about:", 0) == 0) {
    ShowPage(url, THtmlPage{}, historyIndex);
    return;
  }
  if (lower.rfind(L"javascript:", 0) == 0) return;  // scripts do not run here
  if (lower.rfind(L"http://", 0) != 0 || window_ == nullptr) {
    THtmlPage page;
    THtmlItem item;
    item.Text = L"This page cannot be displayed: " + url;
    page.Items.push_back(item);
    ShowPage(url, std::move(page), historyIndex);
    return;
  }
  auto fetch = std::make_shared<TPlainFetch>();
  fetch->Id = nextFetch_++;
  fetch->Url = url;
  fetch->HistoryIndex = historyIndex;
  fetch->Redirects = redirects;
  fetch->Utf8 = (hostFlags_ & DOCHOSTUIFLAG_URL_ENCODING_ENABLE_UTF8) != 0;
  current_ = fetch;
  workers_.emplace_back(fetch->Id, std::thread(RunFetch, fetch, window_));
}

void TPlainBrowserObject::FetchDone(unsigned id) {
  for (auto it = workers_.begin(); it != workers_.end(); ++it) {
    if (it->first == id) {
      if (it->second.joinable()) it->second.join();
      workers_.erase(it);
      break;
    }
  }
  if (current_ == nullptr || current_->Id != id) return;  // stopped or superseded
  std::shared_ptr<TPlainFetch> fetch = std::move(current_);
  current_.reset();
  TPlainOutcome outcome = PlainFetchOutcome(*fetch, kMaxRedirects);
  if (outcome.Redirect) {
    StartNavigation(outcome.RedirectTo, fetch->HistoryIndex, fetch->Redirects + 1);
    return;
  }
  ShowPage(fetch->Url, std::move(outcome.Page), fetch->HistoryIndex);
}

void TPlainBrowserObject::ShowPage(const std::wstring& url, THtmlPage page, int historyIndex) {
  if (historyIndex < 0) {
    if (index_ + 1 < static_cast<int>(history_.size())) history_.resize(static_cast<size_t>(index_ + 1));
    history_.push_back(url);
    index_ = static_cast<int>(history_.size()) - 1;
  } else {
    index_ = historyIndex;
    history_[static_cast<size_t>(index_)] = url;
  }
  url_ = url;
  page_ = std::move(page);
  title_ = page_.Title.empty() ? url_ : page_.Title;
  if (!document_) document_ = TComPtr<TPlainDocument>::Adopt(new TPlainDocument(this));
  scroll_ = 0;
  pressedLink_ = -1;
  Layout();
  if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);

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
  for (DISPID id : {DISPID(DISPID_NAVIGATECOMPLETE2), DISPID(DISPID_DOCUMENTCOMPLETE)}) {
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
}

void TPlainBrowserObject::FollowLink(int index) {
  if (index < 0 || index >= LinkCount()) return;
  const std::wstring href = page_.Links[static_cast<size_t>(index)].Href;
  const std::wstring url = ResolveUrl(url_, href);
  std::wstring target = page_.Links[static_cast<size_t>(index)].Target;
  for (wchar_t& c : target) c = static_cast<wchar_t>(towlower(c));
  if (IsWindowCloseScript(url)) {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return;
  }
  if (!href.empty() && href[0] == L'#') return;  // same page
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
