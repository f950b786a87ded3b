#include "archive/res_setup.h"

const std::array<const char*, kToolbarButtonCount> kToolbarGlyphKeys = {
    "tbBack", "tbForward", "tbRefresh", "tbStop", "tbPrint", "tbSearch", "tbAbout", "tbRegister"};
const std::array<const char*, kToolbarButtonCount> kToolbarCaptionKeys = {
    "eBack", "eForward", "eRefresh", "eStop", "ePrint", "eSearch", "eAbout", "eRegister"};

TResSetupObject::TResSetupObject(TStream& stream)
    : TMemIniFile(std::string()), lines_(std::make_unique<TStringList>()) {
  stream.SetPosition(0);
  lines_->LoadFromStream(stream);
  SetStrings(*lines_);
}

TResSetupObject::~TResSetupObject() {
  lines_.reset();
  ClearSections();
}

void TResSetupObject::ReadSettings(TResSetup& settings) const {
  settings.Users = std::make_unique<TStringList>();
  settings.Bookmarks = std::make_unique<TStringList>();
  settings.About = std::make_unique<TStringList>();

  ReadSectionValues("users", *settings.Users);
  ReadSectionValues("bookmarks", *settings.Bookmarks);

  {
    TMemoryStream about;
    ReadBinaryStream("params", "about", about);
    about.SetPosition(0);
    settings.About->LoadFromStream(about);
  }

  settings.StartPage = ReadString("params", "start", "index.htm");
  settings.Title = ReadString("params", "title", "unnamed - EBook");
  settings.Resolution = ReadString("params", "Resolution", "800x600");
  settings.Resizable = ReadInteger("params", "Resizable", 0) != 0;

  settings.Icon = std::make_unique<TMemoryStream>();
  ReadBinaryStream("Icon", "Bitmap", *settings.Icon);
  settings.Icon->SetPosition(0);

  for (int i = 0; i < kToolbarButtonCount; ++i) {
    TToolbarButtonSettings& button = settings.Toolbar[static_cast<size_t>(i)];
    if (ValueExists("Toolbar", kToolbarGlyphKeys[static_cast<size_t>(i)])) {
      button.Glyph = std::make_unique<TMemoryStream>();
      ReadBinaryStream("Toolbar", kToolbarGlyphKeys[static_cast<size_t>(i)], *button.Glyph);
      button.Glyph->SetPosition(0);
      button.Present = true;
    } else {
      button.Present = false;
      button.Glyph.reset();
    }
  }
  for (int i = 0; i < kToolbarButtonCount; ++i)
    settings.Toolbar[static_cast<size_t>(i)].Caption =
        ReadString("Toolbar", kToolbarCaptionKeys[static_cast<size_t>(i)], "");
}

void FreeSettings(TResSetup& settings) {
  settings.Icon.reset();
  settings.Users.reset();
  settings.Bookmarks.reset();
  settings.About.reset();
  for (auto& button : settings.Toolbar) button.Glyph.reset();
}
