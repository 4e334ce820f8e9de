// The seam itself: instance swapping, last error per thread, text rules.
#include "platform/WinApi.h"
#include "platform/sim/SimulatedWinApi.h"
#include "platform/text/TextHelpers.h"
#include "platform/text/Utf8.h"
#include "tests/support/RecordingWinApi.h"

#include <gtest/gtest.h>

#include <thread>

using namespace skarvet;

TEST(WinApiInstance, ScopedOverrideRestoresThePreviousInstance) {
  WinApi& before = Api();
  {
    test::RecordingWinApi fake;
    ScopedWinApi use(fake);
    EXPECT_EQ(&Api(), &fake);
    {
      SimulatedWinApi inner;
      ScopedWinApi useInner(inner);
      EXPECT_EQ(&Api(), &inner);
    }
    EXPECT_EQ(&Api(), &fake);
  }
  EXPECT_EQ(&Api(), &before);
}

TEST(WinApiInstance, LastErrorBelongsToTheCallingThread) {
  SimulatedWinApi api;
  api.SetLastError(5);
  DWORD seenByOther = 99;
  std::thread other([&] {
    seenByOther = api.GetLastError();
    api.SetLastError(53);
  });
  other.join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(api.GetLastError(), 5u);
}

TEST(SimulatedColors, WindowsDefaultsForTheColoursTheWindowsUse) {
  SimulatedWinApi api;
  EXPECT_EQ(api.GetSysColor(COLOR_GRADIENTACTIVECAPTION), RGB(166, 202, 240));
  EXPECT_EQ(api.GetSysColor(COLOR_BTNFACE), RGB(212, 208, 200));
  EXPECT_EQ(api.GetSysColor(COLOR_BTNSHADOW), RGB(128, 128, 128));
  EXPECT_EQ(api.GetSysColor(COLOR_BTNHIGHLIGHT), RGB(255, 255, 255));
  EXPECT_EQ(api.GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
  EXPECT_EQ(api.GetSysColor(COLOR_WINDOWTEXT), RGB(0, 0, 0));
  EXPECT_EQ(api.GetSysColor(COLOR_GRAYTEXT), RGB(128, 128, 128));
  EXPECT_EQ(api.GetSysColor(-1), 0u);
  EXPECT_EQ(api.GetSysColor(31), 0u);
  api.SetSysColor(COLOR_GRADIENTACTIVECAPTION, RGB(1, 2, 3));
  EXPECT_EQ(api.GetSysColor(COLOR_GRADIENTACTIVECAPTION), RGB(1, 2, 3));
}

TEST(TextRules, TrimRemovesCodesUpToBlankAtBothEndsOnly) {
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim(" \t\r\n"), "");
  EXPECT_EQ(Trim(std::string("\0\x01 a b \x1f", 8)), "a b");
  EXPECT_EQ(Trim("\x7f"
                 "x"),
            "\x7f"
            "x");                            // 127 is not trimmed
  EXPECT_EQ(Trim("\xa0x\xa0"), "\xa0x\xa0"); // nor is a code above 127
}

TEST(TextRules, RoundingSendsHalvesToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(4.5), 4);
  EXPECT_EQ(RoundHalfEven(18.75), 19);
  EXPECT_EQ(RoundHalfEven(16.666), 17);
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(-3.5), -4);
  EXPECT_EQ(RoundHalfEven(-0.4), 0);
}

#include "platform/text/AnsiCodePage.h"

TEST(AnsiCodePage, RoundTripsEveryByteAndReplacesWhatItCannotHold) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(WideToAnsi(AnsiToWide(all)), all);
  EXPECT_EQ(AnsiToWide("\x80"), u"\u20AC");
  EXPECT_EQ(WideToAnsi(u"\u20AC\u00E9"), "\x80\xE9");
  EXPECT_EQ(WideToAnsi(u"a\u4E2Db"), "a?b");
  EXPECT_EQ(WideToAnsi(u"\U0001F600"), "?");                // one character, one '?'
  EXPECT_EQ(WideToAnsi(std::u16string(1, u'\xD800')), "?"); // lone surrogate
}

TEST(Utf8, MalformedUtf8FromTheNetworkBecomesReplacementCharacters) {
  EXPECT_EQ(FromUtf8("PEER \xC3\xA9\xF0\x9F\x98\x80"), u"PEER \u00e9\U0001F600");
  // Overlong, truncated, stray continuation, surrogate, past Unicode's end.
  EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(FromUtf8("A\xE2\x82"), u"A\uFFFD\uFFFD");
  EXPECT_EQ(FromUtf8("\x80"
                     "B"),
            u"\uFFFDB");
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(ToUtf8(u"\u00e9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(ToUtf8(std::u16string(1, u'\xD800') + u"x"), "\xEF\xBF\xBDx");
}
