#include "browser/plain_fetch.h"

#include <exception>

#include "runtime/ansi.h"
#include "runtime/scope_exit.h"

void TPlainFetch::Cancel() {
  std::lock_guard<std::mutex> guard(Lock);
  Cancelled = true;
  if (Socket != nullptr) Socket->Shutdown();
}

std::string PlainFetchRequest(const THttpUrl& url) {
  return "GET " + url.Path + " HTTP/1.0\r\nHost: " + url.Host + ":" + std::to_string(url.Port) +
         "\r\nAccept: */*\r\nUser-Agent: PlainBrowser/1.0\r\nConnection: close\r\n\r\n";
}

namespace {

std::string ReceiveAnswer(TPlainFetch& fetch, const THttpUrl& url) {
  TSocket socket = TSocket::Connect(url.Host, url.Port, kPlainConnectTimeoutMs);
  {
    std::lock_guard<std::mutex> guard(fetch.Lock);
    if (fetch.Cancelled) throw Exception("Cancelled");
    fetch.Socket = &socket;
  }
  std::string answer;
  {
    // The socket is unpublished before it goes, however the exchange ends.
    const TScopeExit unpublish([&fetch] {
      std::lock_guard<std::mutex> guard(fetch.Lock);
      fetch.Socket = nullptr;
    });
    const std::string request = PlainFetchRequest(url);
    socket.SendAll(request.data(), request.size(), kPlainReceiveTimeoutMs);
    char buffer[8192];
    for (;;) {
      size_t got = 0;
      try {
        got = socket.Receive(buffer, sizeof buffer, kPlainReceiveTimeoutMs);
      } catch (const ESocketError& e) {
        // A reset after the answer still leaves the answer.
        if (e.Kind != TSocketErrorKind::Reset || answer.empty()) throw;
      }
      if (got == 0) break;
      answer.append(buffer, got);
    }
  }
  socket.Close();
  return answer;
}

}  // namespace

void RunPlainFetch(TPlainFetch& fetch) {
  try {
    THttpUrl url;
    if (!ParseHttpUrl(fetch.Url, fetch.Utf8, url)) throw Exception("Not an HTTP address");
    const std::string answer = ReceiveAnswer(fetch, url);
    if (!ParseHttpAnswer(answer, fetch.Answer)) throw Exception("The server sent no HTTP answer");
  } catch (const Exception& e) {
    fetch.Failed = true;
    fetch.Error = e.Message;
  } catch (const std::exception& e) {
    fetch.Failed = true;
    fetch.Error = e.what();
  } catch (...) {
    fetch.Failed = true;
    fetch.Error = "Unknown error";
  }
}

TPlainOutcome PlainFetchOutcome(const TPlainFetch& fetch, int maxRedirects, unsigned defaultCodePage) {
  TPlainOutcome outcome;
  if (fetch.Failed) {
    outcome.Page = TPlainPage::FromMessage(fetch.Url, L"This page cannot be displayed: " + AnsiToWide(fetch.Error));
    return outcome;
  }
  const THttpAnswer& answer = fetch.Answer;
  if (answer.StatusCode >= 300 && answer.StatusCode < 400 && !answer.Location.empty() &&
      fetch.Redirects < maxRedirects) {
    outcome.Redirect = true;
    outcome.RedirectTo = ResolveUrl(fetch.Url, AnsiToWide(answer.Location));
    return outcome;
  }
  outcome.Page = TPlainPage::FromAnswer(fetch.Url, answer, defaultCodePage);
  return outcome;
}
