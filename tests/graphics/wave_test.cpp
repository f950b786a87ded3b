// Sounds: play flags, the stream record, which items play, and the wave
// index rule of controls, with a player that records instead of sounding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/exceptions.h"
#include "graphics/sk_wave.h"

namespace {

struct TPlayed {
  const uint8_t* Data;
  uint32_t Flags;
};
std::vector<TPlayed> played;
bool playerThrows = false;

bool RecordingPlayer(const uint8_t* data, uint32_t flags) {
  if (playerThrows && data != nullptr) throw Exception("no sound device");
  played.push_back({data, flags});
  return true;
}

// A minimal wave image: 8-bit mono PCM at 8000 Hz, four samples of silence.
std::string WaveImage() {
  return std::string("RIFF\x28\0\0\0WAVE"
                     "fmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0"
                     "data\x04\0\0\0\x80\x80\x80\x80",
                     48);
}

struct WaveTest : testing::Test {
  TskSoundPlayer previous = SetSoundPlayer(&RecordingPlayer);
  ~WaveTest() override {
    SetSoundPlayer(previous);
    played.clear();
    playerThrows = false;
  }

  static void Load(TSkWave& wave, const std::string& bytes) {
    TMemoryStream stream;
    stream.WriteString(bytes);
    stream.SetPosition(0);
    wave.LoadFromStream(stream);
  }
};

}  // namespace

TEST(Wave, OptionsGiveThePlayFlags) {
  TSkExtraWave wave;
  EXPECT_EQ(wave.Name, "Extra Wave");
  EXPECT_EQ(wave.PlayFlags(), 5u);
  struct {
    TSkExtraWaveOptions options;
    uint32_t flags;
  } cases[] = {{{}, 4}, {{ewoSync}, 4}, {{ewoAsync, ewoLoop}, 13}, {{ewoNoDefault, ewoNoStop}, 22},
               {{ewoSync, ewoAsync, ewoNoDefault, ewoLoop, ewoNoStop}, 31}};
  for (const auto& c : cases) {
    wave.SetOptions(c.options);
    EXPECT_EQ(wave.PlayFlags(), c.flags);
    EXPECT_EQ(wave.Options(), c.options);
  }
}

TEST_F(WaveTest, StreamHoldsTheWholeFileAtTheStartAndARecordLater) {
  TSkWave wave;
  int changes = 0;
  wave.OnChange = [&] { ++changes; };
  Load(wave, WaveImage());
  EXPECT_TRUE(wave.Changed());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(std::string(wave.Data().begin(), wave.Data().end()), WaveImage());

  wave.Name = "click";
  TMemoryStream stream;
  stream.WriteString("xy");
  wave.SaveToStream(stream);
  EXPECT_EQ(stream.Size(), 2 + 8 + 5 + 48);
  TSkWave copy;
  stream.SetPosition(2);
  copy.LoadFromStream(stream);
  EXPECT_EQ(copy.Name, "click");
  EXPECT_EQ(std::string(copy.Data().begin(), copy.Data().end()), WaveImage());

  // Inconsistent records fail before anything is replaced.
  for (auto [dataSize, nameLength] : {std::pair{-1, 0}, {0, -1}, {1000, 0}, {INT32_MAX, INT32_MAX}}) {
    TMemoryStream bad;
    bad.WriteString("xy");
    bad.WriteBuffer(&dataSize, 4);
    bad.WriteBuffer(&nameLength, 4);
    bad.WriteString("abc");
    bad.SetPosition(2);
    EXPECT_THROW(copy.LoadFromStream(bad), EReadError);
    EXPECT_EQ(copy.Name, "click");
    EXPECT_EQ(copy.Data().size(), 48u);
  }
}

TEST_F(WaveTest, PlayWavePlaysOnlyAnItemWithAPlayableImage) {
  TSkExtraWaveList list;
  EXPECT_EQ(LibraryWaveList(), &list);
  Load(list.Waves().Add().Wave(), WaveImage());
  list.Waves().Add();                                             // no data
  // Images whose headers claim more than they hold, or lack the format.
  std::string longer = WaveImage(), shortFormat = WaveImage(), noFormat = WaveImage();
  longer[40] = '\x05';
  shortFormat[16] = '\x0e';
  noFormat.replace(12, 4, "junk");
  for (const std::string& image : {longer, shortFormat, noFormat}) Load(list.Waves().Add().Wave(), image);
  for (int32_t index : {-1, 1, 2, 3, 4, 99}) PlayWave(&list, index);
  PlayWave(nullptr, 0);
  EXPECT_TRUE(played.empty());

  PlayWave(&list, 0);
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].Data, list.Waves().Item(0)->Wave().Data().data());
  EXPECT_EQ(played[0].Flags, kSndMemory | kSndAsync);
  // Replacing data the platform may still be reading stops it first.
  Load(list.Waves().Item(0)->Wave(), WaveImage());
  ASSERT_EQ(played.size(), 2u);
  EXPECT_EQ(played[1].Data, nullptr);

  playerThrows = true;
  EXPECT_NO_THROW(PlayWave(&list, 0));
}

TEST(Wave, WaveIndexIsLimitedToTheList) {
  EXPECT_EQ(ClampWaveIndex(nullptr, 0), -1);
  TSkExtraWaveList list;
  EXPECT_EQ(ClampWaveIndex(&list, 0), -1);
  for (int i = 0; i < 3; ++i) list.Waves().Add();
  EXPECT_EQ(ClampWaveIndex(&list, 7), 2);
  EXPECT_EQ(ClampWaveIndex(&list, 1), 1);
  EXPECT_EQ(ClampWaveIndex(&list, -5), -1);
  {
    TSkExtraWaveList second;
    EXPECT_NE(LibraryWaveList(), &second);
  }
  EXPECT_EQ(LibraryWaveList(), &list);
}

#ifdef _WIN32
TEST(Wave, PlatformPlaysAWaveImageFromMemory) {
  // Whether a sound device exists or not, playing returns and raises nothing.
  TSkExtraWave wave;
  TMemoryStream stream;
  stream.WriteString(WaveImage());
  stream.SetPosition(0);
  wave.LoadFromStream(stream);
  wave.SetOptions({ewoSync, ewoNoDefault});
  wave.Play();
  TSkExtraWave::Stop();
}
#endif
