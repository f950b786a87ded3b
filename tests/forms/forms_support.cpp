#include "forms/forms_support.h"

#include <gtest/gtest.h>

namespace {

void FailOnReport(TObject*, const std::string& message) {
  ADD_FAILURE() << "unexpected exception reported by the framework: " << message;
}

// Installed for the whole run, so that no test can end up in a modal
// message box.
class TFormsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { Application->OnException = FailOnReport; }
};

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new TFormsEnvironment);

}  // namespace

void ShowWithoutActivating(TForm& form) {
  form.SetBorderStyle(bsNone);
  ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
  form.SetVisible(true);  // already shown: only the form's own state follows
}

bool PumpUntil(const std::function<bool()>& done, int milliseconds) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > static_cast<DWORD>(milliseconds)) return false;
    Application->ProcessMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(int milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

TExceptionCapture::TExceptionCapture() : previous_(Application->OnException) {
  Application->OnException = [this](TObject* sender, const std::string& message) {
    Senders.push_back(sender);
    Messages.push_back(message);
  };
}

TExceptionCapture::~TExceptionCapture() { Application->OnException = previous_; }

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

std::string BitmapFile(int width, int height, int bitCount, const std::vector<uint32_t>& palette,
                       const std::string& bits, uint32_t compression) {
  const uint32_t offset = 14 + 40 + 4 * static_cast<uint32_t>(palette.size());
  std::string out = "BM";
  Put32(out, offset + static_cast<uint32_t>(bits.size()));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(bitCount));
  Put32(out, compression);
  Put32(out, static_cast<uint32_t>(bits.size()));
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, static_cast<uint32_t>(palette.size()));
  Put32(out, 0);
  for (uint32_t entry : palette) Put32(out, entry);
  return out + bits;
}

std::string IconFile(const std::vector<int>& sizes, uint32_t colour) {
  std::vector<std::string> images;
  for (int size : sizes) {
    std::string image;
    Put32(image, 40);
    Put32(image, static_cast<uint32_t>(size));
    Put32(image, static_cast<uint32_t>(size * 2));  // colours and mask
    Put16(image, 1);
    Put16(image, 32);
    for (int i = 0; i < 6; ++i) Put32(image, 0);
    for (int i = 0; i < size * size; ++i) Put32(image, 0xFF000000u | colour);
    image.append(static_cast<size_t>(((size + 31) / 32) * 4 * size), '\0');
    images.push_back(image);
  }
  std::string out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(sizes.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    out += static_cast<char>(sizes[i]);
    out += static_cast<char>(sizes[i]);
    out += '\0';
    out += '\0';
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<uint32_t>(images[i].size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const std::string& image : images) out += image;
  return out;
}
