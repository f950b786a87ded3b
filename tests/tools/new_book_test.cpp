// A new book end to end under Windows: "bookc new X --title T" and "bookc
// exe X X.exe" give an e-book whose window has all eight toolbar buttons with
// their pictures, the book's icon and its start page. (That such a program
// runs, serves its start page and ends with its window: signed_ebook_test.sh
// and tests/lifetime/ebookhost_test.sh.)
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <sstream>

#include "browser/embedded_wb.h"
#include "lifetime/show_ebook_support.h"
#include "runtime/ansi.h"
#include "runtime/streams.h"
#include "skin/controls/sk_effect_controls.h"
#include "tools/bookc/bookc.h"
#include "tools/bookc/default_art.h"
#include "tools/bookc/pe_resources.h"
#include "tools/common/book_image.h"

namespace fs = std::filesystem;

namespace {

constexpr char kTitle[] = "New Book Test";

class NewBookTest : public ShowEbookTest {
 protected:
  void SetUp() override {
    ShowEbookTest::SetUp();
    dir_ = fs::temp_directory_path() / "new_book_test";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    ShowEbookTest::TearDown();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // bookc as the author runs it; the e-book host and the viewer library are
  // found beside this program, as beside bookc.exe.
  void MakeEbook() {
    std::ostringstream out, err;
    ASSERT_EQ(RunBookc({"new", Utf8Of(dir_ / "X"), "--title", kTitle}, out, err), 0) << err.str();
    ASSERT_EQ(RunBookc({"exe", Utf8Of(dir_ / "X"), Utf8Of(dir_ / "X.exe")}, out, err), 0) << err.str();
    EXPECT_EQ(err.str(), "") << "the new book has no finding";
  }

  fs::path dir_;
};

TEST_F(NewBookTest, OpensWithEightButtonsItsIconAndItsStartPage) {
  MakeEbook();
  const std::string program = Utf8Of(dir_ / "X.exe");

  // The program's own icon is the book's, for Explorer and the taskbar.
  const std::vector<TPeResource> resources = ReadPeResources(ReadWholeFile(program));
  const std::vector<TPeResource> icon = IconFileResources(DefaultIconFile(), 1, 1, 0);
  size_t found = 0;
  for (const TPeResource& wanted : icon)
    for (const TPeResource& r : resources)
      found += r.Type == wanted.Type && r.Name == wanted.Name && r.Data == wanted.Data;
  EXPECT_EQ(found, icon.size()) << "every image of the book's icon is the program's";

  // The archive as the host finds it in its own file, shown as the host
  // shows it.
  const TBookImage image = LoadBookFile(program);
  TForm1* window = nullptr;
  scenario_.Run(std::vector<uint8_t>(image.Block.begin(), image.Block.end()), host_,
                {[&] { return ShowsPage(window = Window(0), AnsiToWide(kTitle)); },
                 [&] {
                   EXPECT_EQ(window->Caption(), AnsiToWide(kTitle));
                   EXPECT_EQ(window->WebBrowser1->LocationURL(), Url("/index.htm")) << "the start page";
                   TSkEffectSpeedButton* buttons[] = {window->SpeedButton8, window->SpeedButton7, window->SpeedButton1,
                                                      window->SpeedButton2, window->SpeedButton3, window->SpeedButton6,
                                                      window->SpeedButton4, window->SpeedButton5};
                   const wchar_t* captions[] = {L"Home",    L"About",  L"Back", L"Forward",
                                                L"Refresh", L"Search", L"Stop", L"Print"};
                   int left = -1;
                   for (size_t i = 0; i < 8; ++i) {
                     TSkEffectSpeedButton* button = buttons[i];
                     if (button == nullptr) {
                       ADD_FAILURE() << "no " << WideToUtf8(captions[i]) << " button";
                       continue;
                     }
                     EXPECT_TRUE(button->Visible()) << i;
                     EXPECT_EQ(button->Caption(), captions[i]);
                     EXPECT_EQ(button->Glyph().Width(), kDefaultGlyphSize) << i;
                     EXPECT_EQ(button->Glyph().Height(), kDefaultGlyphSize) << i;
                     EXPECT_GT(button->Left(), left) << "side by side in the window's order";
                     left = button->Left();
                   }
                   // The window's icon is the book's.
                   TMemoryStream shown;
                   window->Icon().SaveToStream(shown);
                   const std::vector<uint8_t> expected = DefaultIconFile();
                   EXPECT_EQ(shown.ToString(), std::string(expected.begin(), expected.end()));
                   EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window->Handle(), WM_GETICON, ICON_BIG, 0)),
                             window->Icon().Handle());
                   PostMessageW(window->Handle(), WM_CLOSE, 0, 0);
                   return true;
                 }});
  EXPECT_TRUE(errors_.empty()) << errors_.front();
  EXPECT_TRUE(PortFree(5055));
}

}  // namespace
