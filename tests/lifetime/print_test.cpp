// Printing from the viewer window on a real printer queue: the toolbar's
// Print button applies the page setup, shows the print dialog and, when the
// reader confirms, prints the page through the browser; the job travels
// through the platform's spooler to a private CUPS daemon whose PDF queue
// writes it to a file (tests/print_queue.sh, started by ctest's fixture).
// The PDF is then read with poppler's tools: its page size, its words with
// their positions, and its pictures.
//
// Needs EBOOK_PRINT_OUTPUT (the queue's output folder) and Wine's ability to
// start the build machine's programs; without them the tests are skipped
// with the reason.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <iterator>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/book_file.h"
#include "browser/embedded_wb.h"
#include "browser/plain_browser.h"
#include "lifetime/show_ebook_support.h"
#include "runtime/ansi.h"
#include "skin/controls/controls_support.h"
#include "skin/controls/sk_effect_controls.h"

namespace {

constexpr double kPointsPerMillimetre = 72 / 25.4;

// The Windows path of a path of the build machine (Wine's own mapping).
std::wstring DosPath(const std::string& unixPath) {
  using TGetDosName = wchar_t*(CDECL*)(const char*);
  const auto getDosName = reinterpret_cast<TGetDosName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (getDosName == nullptr) return {};
  wchar_t* name = getDosName(unixPath.c_str());
  if (name == nullptr) return {};
  std::wstring result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// One argument of a Windows command line, quoted so that it reads back as
// itself (backslashes are literal except before a quote).
std::string Quoted(const std::string& argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct TToolResult {
  int Code = -1;       // -1: it could not be started or did not finish
  std::string Output;  // standard output and error
};

// The queue's output folder, as the build machine and as Windows name it.
std::string queueFolderUnix;
std::wstring queueFolder;

// Runs a program of the build machine. Wine starts it as a process of its
// own that a Windows handle can neither wait for nor ask for its exit code,
// so a shell runs it and leaves its output and then its exit code in files
// of the queue folder, which are awaited here.
TToolResult RunTool(const std::vector<std::string>& arguments) {
  static int runs = 0;
  const std::string result =
      queueFolderUnix + "/tool-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs);
  const std::string script =
      "out=$1; shift; \"$@\" >\"$out.part\" 2>&1; echo $? >\"$out.code.part\"; "
      "mv \"$out.part\" \"$out\"; mv \"$out.code.part\" \"$out.code\"";
  std::string line = "/bin/sh -c " + Quoted(script) + " sh " + Quoted(result);
  for (const std::string& argument : arguments) line += " " + Quoted(argument);
  std::wstring command = AnsiToWide(line);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  TToolResult answer;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return answer;
  }
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  const std::wstring code = DosPath(result + ".code");
  for (int i = 0; i < 600 && GetFileAttributesW(code.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  const std::string codeText = ReadFile(code);
  if (codeText.empty()) return answer;
  answer.Code = std::atoi(codeText.c_str());
  answer.Output = ReadFile(DosPath(result));
  DeleteFileW(code.c_str());
  DeleteFileW(DosPath(result).c_str());
  return answer;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder, const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

struct TWord {
  double Left, Top, Right, Bottom;  // points from the page's top left corner
  std::string Text;
};

// What poppler reads from a printed PDF.
struct TPrinted {
  int Pages = 0;
  double Width = 0;  // of the first page, in points
  double Height = 0;
  std::vector<TWord> Words;  // of every page
  std::string Text;          // the words, separated by spaces
  std::vector<std::pair<int, int>> Pictures;  // pixel sizes of its images
};

// Why the print tests cannot run here; empty when they can.
std::string MissingPrerequisite() {
  const char* folder = std::getenv("EBOOK_PRINT_OUTPUT");
  if (folder == nullptr || *folder == '\0') {
    return "no printer queue: EBOOK_PRINT_OUTPUT is not set (ctest runs this test through tests/print_queue.sh)";
  }
  queueFolderUnix = folder;
  queueFolder = DosPath(queueFolderUnix);
  if (queueFolder.empty()) return "not under Wine: the build machine's PDF tools cannot be run from here";
  for (const char* tool : {"/usr/bin/pdftotext", "/usr/bin/pdfimages", "/usr/bin/pdfinfo"}) {
    if (const int code = RunTool({tool, "-v"}).Code; code != 0) {
      return std::string("poppler's ") + tool + " cannot be run (exit code " + std::to_string(code) +
             "; scripts/setup installs poppler-utils)";
    }
  }
  return {};
}

class PrintTest : public ShowEbookTest {
 protected:
  // The PDFs the queue wrote for a job of this title.
  std::vector<std::wstring> Pdfs(const std::string& title) const {
    std::vector<std::wstring> pdfs;
    for (const std::wstring& name : FilesIn(queueFolder, L"job-*.pdf")) {
      if (name.find(AnsiToWide("-" + title + ".pdf")) != std::wstring::npos) pdfs.push_back(name);
    }
    return pdfs;
  }

  TPrinted Read(const std::wstring& pdf) const {
    TPrinted printed;
    const std::string unixPdf = queueFolderUnix + "/" + WideToAnsi(pdf);
    const std::string words = unixPdf + ".bbox.html";
    const TToolResult text = RunTool({"/usr/bin/pdftotext", "-bbox", unixPdf, words});
    EXPECT_EQ(text.Code, 0) << text.Output;
    const std::string html = ReadFile(DosPath(words));
    static const std::regex page(R"re(<page width=)re");
    printed.Pages = static_cast<int>(std::distance(std::sregex_iterator(html.begin(), html.end(), page),
                                                   std::sregex_iterator()));
    // The first page's size as it is viewed: a landscape page is printed
    // as a portrait sheet turned a quarter.
    const TToolResult info = RunTool({"/usr/bin/pdfinfo", unixPdf});
    EXPECT_EQ(info.Code, 0) << info.Output;
    std::smatch match;
    static const std::regex size(R"re(Page size:\s+([0-9.]+) x ([0-9.]+) pts)re");
    static const std::regex rotation(R"re(Page rot:\s+([0-9]+))re");
    if (std::regex_search(info.Output, match, size)) {
      printed.Width = std::stod(match[1]);
      printed.Height = std::stod(match[2]);
    }
    if (std::regex_search(info.Output, match, rotation) && std::stoi(match[1]) % 180 == 90) {
      std::swap(printed.Width, printed.Height);
    }
    static const std::regex word(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it) {
      printed.Words.push_back(
          TWord{std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4]), (*it)[5]});
      printed.Text += (printed.Text.empty() ? "" : " ") + printed.Words.back().Text;
    }
    // Every image the PDF holds, written out as PNG files: their headers
    // give the sizes.
    const std::string prefix = unixPdf + ".image";
    const TToolResult images = RunTool({"/usr/bin/pdfimages", "-png", unixPdf, prefix});
    EXPECT_EQ(images.Code, 0) << images.Output;
    for (const std::wstring& name : FilesIn(queueFolder, pdf + L".image-*.png")) {
      const std::string png = ReadFile(queueFolder + L"\\" + name);
      if (png.size() < 24) continue;
      auto number = [&png](size_t at) {
        return (static_cast<uint8_t>(png[at]) << 24) | (static_cast<uint8_t>(png[at + 1]) << 16) |
               (static_cast<uint8_t>(png[at + 2]) << 8) | static_cast<uint8_t>(png[at + 3]);
      };
      printed.Pictures.emplace_back(number(16), number(20));
    }
    return printed;
  }

  // The steps of one press of the Print button: the page setup is filled
  // and confirmed by the viewer itself, then the print dialog waits for the
  // reader, who confirms or cancels it.
  std::vector<TScenario::TStep> PressPrint(bool confirm) {
    auto confirmedBefore = std::make_shared<int>(0);
    auto printsBefore = std::make_shared<int>(0);
    auto answered = std::make_shared<bool>(false);
    auto quietTicks = std::make_shared<int>(0);
    return {
        [=] {
          TForm1* w = Window(0);
          TPlainBrowser* plain = w->WebBrowser1->PlainBrowser();
          *confirmedBefore = plain->PageSetup().Confirmed;
          *printsBefore = plain->PrintCount();
          *answered = false;
          *quietTicks = 0;
          // The print dialog is modal: the click is delivered by the loop,
          // and the next steps run inside the dialog's own loop.
          POINT p{10, 10};
          HWND target = MouseTarget(*w->SpeedButton5, p);
          const LPARAM at = MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
          PostMessageW(target, WM_MOUSEMOVE, 0, at);
          PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
          PostMessageW(target, WM_LBUTTONUP, 0, at);
          return true;
        },
        [=] {
          // The page setup is confirmed before the print dialog shows.
          TPlainBrowser* plain = Window(0)->WebBrowser1->PlainBrowser();
          if (plain->PageSetup().Confirmed != *confirmedBefore + 1) return false;
          HWND dialog = ShownDialog();
          if (dialog == nullptr) return false;
          PostMessageW(dialog, WM_COMMAND, confirm ? IDOK : IDCANCEL, 0);
          return true;
        },
        [=] {
          // Done when the dialog has gone and the print (if any) returned.
          if (ShownDialog() != nullptr) {
            *quietTicks = 0;
            return false;
          }
          return ++*quietTicks > 10;
        },
        [=] {
          TPlainBrowser* plain = Window(0)->WebBrowser1->PlainBrowser();
          EXPECT_EQ(plain->PrintCount(), *printsBefore + (confirm ? 1 : 0))
              << (confirm ? "a confirmed dialog prints the page" : "a cancelled dialog prints nothing");
          return true;
        }};
  }

  // Waits for the queue's PDF of the job of this title.
  TScenario::TStep AwaitPdf(const std::string& title) {
    return [this, title] { return !Pdfs(title).empty(); };
  }

  TScenario::TStep CloseWindow() {
    return [] {
      PostMessageW(Window(0)->Handle(), WM_CLOSE, 0, 0);
      return true;
    };
  }

  static BOOL CALLBACK FindShownDialog(HWND window, LPARAM data) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
      *reinterpret_cast<HWND*>(data) = window;
      return FALSE;
    }
    return TRUE;
  }

  // A dialog of this thread that is showing, nullptr for none.
  static HWND ShownDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindShownDialog, reinterpret_cast<LPARAM>(&found));
    return found;
  }

  // A book whose start page has the title, a paragraph and a picture.
  static std::vector<uint8_t> PrintBook(const std::string& title, const std::string& body) {
    TArchiveBuilder builder;
    // With a Home button the start page shows first.
    builder.Add("config.ini", Config("Resolution=800x600\r\n") + "tbPrint=" + Hex(GlyphFile(16, 16)) + "\r\nePrint=Print\r\n");
    builder.Add("index.htm", "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>");
    builder.Add("picture.bmp", GlyphFile(120, 80, 0x00208040));
    return builder.Build();
  }

  bool Shows(const std::string& title) const {
    TForm1* w = Window(0);
    return ShowsPage(w, AnsiToWide(title)) && w->WebBrowser1->PlainBrowser() != nullptr &&
           !w->WebBrowser1->PlainBrowser()->Loading();
  }

};

std::vector<TScenario::TStep> operator+(std::vector<TScenario::TStep> a, const std::vector<TScenario::TStep>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(PrintTest, ACancelledDialogPrintsNothingAndAConfirmedOnePrintsThePageOnce) {
  const std::string title = "PrintedOnce";
  const std::vector<uint8_t> block = PrintBook(
      title, "<h1>Chapter of the printed book</h1><p>Quiet words for the paper</p><p><img src=\"picture.bmp\"></p>");
  scenario_.Run(block, host_,
                std::vector<TScenario::TStep>{[&] { return Shows(title); }} + PressPrint(false) + PressPrint(true) +
                    std::vector<TScenario::TStep>{AwaitPdf(title), CloseWindow()});
  EXPECT_TRUE(errors_.empty()) << errors_.front();
  const std::vector<std::wstring> pdfs = Pdfs(title);
  ASSERT_EQ(pdfs.size(), 1u) << "one job for the confirmed dialog, none for the cancelled one";
  const TPrinted printed = Read(pdfs.front());
  EXPECT_EQ(printed.Pages, 1);
  EXPECT_NE(printed.Text.find("Chapter of the printed book"), std::string::npos) << printed.Text;
  EXPECT_NE(printed.Text.find("Quiet words for the paper"), std::string::npos) << printed.Text;
  // The viewer prints with empty header and footer: no address, no title
  // line, no page number beside the page's own text.
  EXPECT_EQ(printed.Text.find("127.0.0.1"), std::string::npos) << printed.Text;
  EXPECT_EQ(printed.Text.find("http"), std::string::npos) << printed.Text;
  EXPECT_EQ(printed.Text.find(title), std::string::npos) << printed.Text;
  EXPECT_EQ(printed.Text, "Chapter of the printed book Quiet words for the paper");
  // Portrait, with the stored margins of 19.05 mm (0.75 inch) from the
  // paper's edges.
  EXPECT_LT(printed.Width, printed.Height);
  ASSERT_FALSE(printed.Words.empty());
  const double margin = 19.05 * kPointsPerMillimetre;
  double left = printed.Width, top = printed.Height;
  for (const TWord& word : printed.Words) {
    left = std::min(left, word.Left);
    top = std::min(top, word.Top);
  }
  EXPECT_GE(left, margin - 1);
  EXPECT_LE(left, margin + 12);
  EXPECT_GE(top, margin - 1);
  EXPECT_LE(top, margin + 36) << "the heading's own space above it";
  // The picture is printed at its own pixel size.
  ASSERT_EQ(printed.Pictures.size(), 1u) << "the page's picture";
  EXPECT_EQ(printed.Pictures.front(), std::make_pair(120, 80));
}

// The user's locale measures in millimetres ("0") or inches ("1"): the
// page-setup dialog shows its margins in that unit.
class PrintPageSetup : public PrintTest, public ::testing::WithParamInterface<const wchar_t*> {
 protected:
  void SetUp() override {
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, previousMeasure_, 8);
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, GetParam());
    PrintTest::SetUp();
  }
  void TearDown() override {
    PrintTest::TearDown();
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, previousMeasure_);
  }

 private:
  wchar_t previousMeasure_[8] = {};
};

// The page setup's orientation and margins, set in the window's print
// options, reach the paper: landscape, and a text column kept inside
// margins of different widths, whichever unit the dialog shows.
TEST_P(PrintPageSetup, OrientationAndMarginsReachThePaper) {
  const std::string title = std::string("PrintedWide") + (std::wstring(GetParam()) == L"1" ? "Inches" : "Metric");
  std::string paragraph;
  for (int i = 0; i < 60; ++i) paragraph += "margin" + std::to_string(i) + " ";
  const std::vector<uint8_t> block = PrintBook(title, "<p>" + paragraph + "</p>");
  const TMargins margins{30.0, 40.0, 25.0, 15.0};  // left, right, top, bottom
  scenario_.Run(block, host_,
                std::vector<TScenario::TStep>{[&] {
                  if (!Shows(title)) return false;
                  TPrintOptions& options = Window(0)->WebBrowser1->PrintOptions();
                  options.Orientation = poLandscape;
                  options.Margins = margins;
                  return true;
                }} + PressPrint(true) +
                    std::vector<TScenario::TStep>{AwaitPdf(title),
                                                  [&] {
                                                    const TPlainPageSetup& setup =
                                                        Window(0)->WebBrowser1->PlainBrowser()->PageSetup();
                                                    EXPECT_TRUE(setup.Landscape);
                                                    EXPECT_NEAR(setup.Left, margins.Left, 0.1);
                                                    EXPECT_NEAR(setup.Right, margins.Right, 0.1);
                                                    EXPECT_NEAR(setup.Top, margins.Top, 0.1);
                                                    EXPECT_NEAR(setup.Bottom, margins.Bottom, 0.1);
                                                    return true;
                                                  },
                                                  CloseWindow()});
  EXPECT_TRUE(errors_.empty()) << errors_.front();
  const std::vector<std::wstring> pdfs = Pdfs(title);
  ASSERT_EQ(pdfs.size(), 1u);
  const TPrinted printed = Read(pdfs.front());
  EXPECT_GT(printed.Width, printed.Height) << "landscape";
  ASSERT_GT(printed.Words.size(), 50u) << printed.Text;
  double left = printed.Width, right = 0, top = printed.Height;
  std::set<long> lines;
  for (const TWord& word : printed.Words) {
    left = std::min(left, word.Left);
    right = std::max(right, word.Right);
    top = std::min(top, word.Top);
    lines.insert(std::lround(word.Top));
  }
  EXPECT_GT(lines.size(), 1u) << "the paragraph wraps within the margins";
  EXPECT_GE(left, margins.Left * kPointsPerMillimetre - 1);
  EXPECT_LE(left, margins.Left * kPointsPerMillimetre + 12);
  EXPECT_LE(right, printed.Width - margins.Right * kPointsPerMillimetre + 1);
  EXPECT_GE(right, printed.Width - margins.Right * kPointsPerMillimetre - 80) << "the column fills the width";
  EXPECT_GE(top, margins.Top * kPointsPerMillimetre - 1);
  EXPECT_LE(top, margins.Top * kPointsPerMillimetre + 24);
}

INSTANTIATE_TEST_SUITE_P(Locales, PrintPageSetup, ::testing::Values(L"0", L"1"));

}  // namespace

// Without a printer queue or the tools to read its PDFs, the whole program
// reports itself skipped (exit 77), with the reason.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (const std::string missing = MissingPrerequisite(); !missing.empty()) {
    std::printf("SKIPPED: %s\n", missing.c_str());
    return 77;
  }
  OleInitialize(nullptr);
  const int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
