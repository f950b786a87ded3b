// The theme manager: the registered theme kinds, the current theme and its
// clients, loading themes from files and streams, and the hidden window that
// hears the platform's colour and visual-style changes. Also the lookups that
// ask the current theme (or a link's own) whether it defines an object.
//
// The manager's one instance, and the rest of the process-wide state
// FreeThemeLibrary() frees, live in sk_theme.cpp.
#include <algorithm>
#include <string>

#include "runtime/ansi.h"
#include "runtime/process.h"
#include "skin/sk_theme.h"
#include "graphics/sk_api_win.h"

namespace {
constexpr wchar_t kUtilityClassName[] = L"TskThemeManagerWindow";

bool FileExistsUtf8(const std::string& fileName) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(fileName).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}
}  // namespace

TskThemeManager::TskThemeManager() : TComponent(nullptr) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &TskThemeManager::UtilityWindowProc;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = kUtilityClassName;
  RegisterClassW(&windowClass);  // fails harmlessly when already registered
  // A hidden top-level window: colour, display and visual-style changes are
  // broadcast to top-level windows only.
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kUtilityClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            ThisModule(), nullptr);
  if (window_ != nullptr) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TskThemeManager::~TskThemeManager() {
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  // A class that a library registers outlives the library's unloading: a
  // later load at another address would create its window with this copy's
  // window procedure.
  UnregisterClassW(kUtilityClassName, ThisModule());
  // The clients are not told: the library is ending.
  current_.reset();
}

LRESULT CALLBACK TskThemeManager::UtilityWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* manager = reinterpret_cast<TskThemeManager*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (manager != nullptr) {
    try {
      switch (msg) {
        case WM_THEMECHANGED:
          UpdateVisualStylesActive();
          manager->Broadcast(tcColors, kColorsFromPlatform);
          return 0;
        case WM_SYSCOLORCHANGE:
        case WM_DISPLAYCHANGE:
          manager->Broadcast(tcColors, kColorsFromPlatform);
          return 0;
        default:
          break;
      }
    } catch (...) {
      // Nothing may escape into the platform's dispatch; a client that fails
      // on a colour change simply keeps its old colours.
      return 0;
    }
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

void TskThemeManager::RegisterThemeKind(const TskThemeClass& kind) {
  if (std::find(kinds_.begin(), kinds_.end(), &kind) == kinds_.end()) kinds_.push_back(&kind);
}

const TskThemeClass* TskThemeManager::KindAt(int index) const {
  if (index < 0 || index >= KindCount()) return nullptr;
  return kinds_[static_cast<size_t>(index)];
}

bool TskThemeManager::IsClient(const TObject* client) const {
  return std::find(clients_.begin(), clients_.end(), client) != clients_.end();
}

int TskThemeManager::RegisterClient(TObject* client) {
  if (client == nullptr) return 0;
  const auto it = std::find(clients_.begin(), clients_.end(), client);
  if (it != clients_.end()) return static_cast<int>(it - clients_.begin()) + 1;
  clients_.push_back(client);
  if (current_) Deliver(client, tcSet, 0);
  return 0;
}

void TskThemeManager::UnregisterClient(TObject* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

void TskThemeManager::Deliver(TObject* client, TskThemeChange code, intptr_t argument) {
  if (auto* control = dynamic_cast<TControl*>(client)) {
    if (code == tcColors && !control->Visible()) return;
    control->Perform(SKM_THEMECHANGE, code, argument);
    return;
  }
  if (auto* receiver = dynamic_cast<TskThemeClient*>(client)) receiver->ThemeChanged(code, argument);
}

void TskThemeManager::Broadcast(TskThemeChange code, intptr_t argument) {
  const std::vector<TObject*> snapshot = clients_;
  for (TObject* client : snapshot) {
    // A handler may unregister (or free) a client later in the list.
    if (IsClient(client)) Deliver(client, code, argument);
  }
}

const TskThemeClass* TskThemeManager::FindKindForFile(const std::string& fileName) const {
  const size_t slash = fileName.find_last_of("\\/:");
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
  const std::string extension = LowerAscii(fileName.substr(dot));
  if (extension.size() < 2) return nullptr;
  for (const TskThemeClass* kind : kinds_) {
    if (!kind->Config.CanLoadFile) continue;
    if (LowerAscii(kind->Config.FileFilter).find(extension) != std::string::npos) return kind;
  }
  return nullptr;
}

std::unique_ptr<TskTheme> TskThemeManager::LoadThemeFromFile(const std::string& fileName) {
  if (fileName.empty()) return nullptr;
  std::string name = fileName;
  if (!FileExistsUtf8(name) && name.size() > 1) {
    // A name with a drive is complete; any other is also looked for beside
    // the host program.
    if (name[1] == ':') return nullptr;
    std::string directory = ExecutablePath();
    const size_t slash = directory.find_last_of("\\/");
    directory = slash == std::string::npos ? std::string() : directory.substr(0, slash + 1);
    name = directory + name;
    if (!FileExistsUtf8(name)) return nullptr;
  }
  std::unique_ptr<TskTheme> theme;
  if (const TskThemeClass* kind = FindKindForFile(name)) {
    try {
      theme = kind->Create();
      if (theme && !theme->LoadFromFile(name)) theme.reset();
    } catch (const std::exception&) {
      theme.reset();
    }
  } else {
    try {
      TFileStream stream(name, TFileMode::OpenRead);
      theme = LoadThemeFromStream(stream);
    } catch (const std::exception&) {
      theme.reset();
    }
  }
  if (theme && theme->FileName.empty()) theme->FileName = name;
  return theme;
}

std::unique_ptr<TskTheme> TskThemeManager::LoadThemeFromStream(TStream& stream) {
  const int64_t position = stream.Position();
  const TskThemeClass* chosen = nullptr;
  for (const TskThemeClass* kind : kinds_) {
    bool accepts = false;
    if (kind->CanLoadStream) {
      try {
        accepts = kind->CanLoadStream(stream);
      } catch (const std::exception&) {
        accepts = false;
      }
    }
    stream.SetPosition(position);
    if (accepts) {
      chosen = kind;
      break;
    }
  }
  if (chosen == nullptr || !chosen->Create) return nullptr;
  try {
    std::unique_ptr<TskTheme> theme = chosen->Create();
    if (theme && theme->LoadFromStream(stream)) return theme;
  } catch (const std::exception&) {
    // A loader that fails reports it by raising as well as by answering
    // false; either way there is no theme.
  }
  return nullptr;
}

bool TskThemeManager::SaveTheme(TskTheme* theme, TStream& stream) {
  if (theme == nullptr || !theme->KindConfig().CanSave) return false;
  return theme->SaveToStream(stream);
}

void TskThemeManager::SetCurrentTheme(std::unique_ptr<TskTheme> theme) {
  if (!theme) {
    ClearCurrentTheme();
    return;
  }
  Broadcast(tcChanging, 0);
  const TskThemeChange code = current_ ? tcReplaced : tcSet;
  current_.reset();
  current_ = std::move(theme);
  Broadcast(code, 0);
  Broadcast(tcChanged, 0);
}

void TskThemeManager::ClearCurrentTheme() {
  if (!current_) return;
  Broadcast(tcChanging, 0);
  current_.reset();
  Broadcast(tcRemoved, 0);
  Broadcast(tcChanged, 0);
}

namespace {
void ApplyHueAndBrightness(int hue, int brightness) {
  if (!ThemeManagerExists()) return;
  TskThemeManager& manager = ThemeManager();
  TskTheme* theme = manager.CurrentTheme();
  if (theme == nullptr) return;
  if (theme->SetDeltaHueAndBrightness(hue, brightness)) manager.Broadcast(tcColors, kColorsFromHueAndBrightness);
}
}  // namespace

void SetThemeHue(int delta) {
  if (!ThemeManagerExists() || ThemeManager().CurrentTheme() == nullptr) return;
  ApplyHueAndBrightness(delta, ThemeManager().CurrentTheme()->DeltaBrightness());
}

void SetThemeBrightness(int delta) {
  if (!ThemeManagerExists() || ThemeManager().CurrentTheme() == nullptr) return;
  ApplyHueAndBrightness(ThemeManager().CurrentTheme()->DeltaHue(), delta);
}

void SetThemeHueAndBrightness(int hue, int brightness) { ApplyHueAndBrightness(hue, brightness); }

// ---- object lookup ---------------------------------------------------------

TskTheme* ThemeOf(TskCustomThemeLink* link) {
  if (link != nullptr) {
    if (TskTheme* theme = link->Theme()) return theme;
  }
  return ThemeManagerExists() ? ThemeManager().CurrentTheme() : nullptr;
}

namespace {
using TDefinesMember = bool (TskTheme::*)(int, const std::string&);

bool DefinesObject(TDefinesMember defines, int kind, const std::string& objectName, TskCustomThemeLink* link) {
  if (link != nullptr) {
    if (TskTheme* theme = link->Theme()) return (theme->*defines)(kind, objectName);
  }
  TskTheme* current = ThemeManagerExists() ? ThemeManager().CurrentTheme() : nullptr;
  if (current == nullptr) return false;
  return (current->*defines)(kind, objectName) || (current->*defines)(kind, kDefaultObjectName);
}
}  // namespace

#define SK_DEFINES_OBJECT(Family)                                                                \
  bool Defines##Family##Object(int kind, const std::string& objectName, TskCustomThemeLink* link) { \
    return DefinesObject(&TskTheme::Defines##Family, kind, objectName, link);                    \
  }
SK_DEFINES_OBJECT(Window)
SK_DEFINES_OBJECT(Label)
SK_DEFINES_OBJECT(Panel)
SK_DEFINES_OBJECT(Button)
SK_DEFINES_OBJECT(CheckBox)
SK_DEFINES_OBJECT(ScrollBar)
SK_DEFINES_OBJECT(StatusBar)
SK_DEFINES_OBJECT(Edit)
SK_DEFINES_OBJECT(GroupBox)
SK_DEFINES_OBJECT(Menu)
SK_DEFINES_OBJECT(ToolBar)
SK_DEFINES_OBJECT(Tab)
SK_DEFINES_OBJECT(List)
#undef SK_DEFINES_OBJECT
