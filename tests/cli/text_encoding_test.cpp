#include "cli/text_encoding.h"

#include <gtest/gtest.h>

#include "cli/cli_error.h"

namespace zarnik::cli {
namespace {

struct TextCase {
  const char* utf8;
  const char* stored;
};

// UTF-8 and the Windows-1252 bytes it is stored as.
const TextCase kTexts[] = {
    {"", ""},
    {"plain ASCII ~", "plain ASCII ~"},
    {"caf\u00e9 na\u00efve \u00fc\u00df\u00ff", "caf\xE9 na\xEFve \xFC\xDF\xFF"},
    {"\u20ac \u201a \u0192 \u2026 \u2122 \u0178", "\x80 \x82 \x83 \x85 \x99 \x9F"},
    {"\u2018quoted\u2019 \u201cdouble\u201d \u2013 \u2014", "\x91quoted\x92 \x93" "double\x94 \x96 \x97"},
    {"\u0160\u0161\u017d\u017e\u0152\u0153", "\x8A\x9A\x8E\x9E\x8C\x9C"},
    {"\u00a0\u00a9\u00bf", "\xA0\xA9\xBF"},
    // The five undefined bytes stand for the control characters of their number.
    {"\u0081\u008d\u008f\u0090\u009d", "\x81\x8D\x8F\x90\x9D"},
};

TEST(TextEncoding, ConvertsBothWays) {
  for (const TextCase& c : kTexts) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.stored);
    EXPECT_EQ(Windows1252ToUtf8(c.stored), c.utf8);
  }
}

TEST(TextEncoding, EveryStoredByteReadsBackUnchanged) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

struct RefusedCase {
  const char* utf8;
  const char* reason;
};

TEST(TextEncoding, RefusesWhatCannotBeStored) {
  const RefusedCase cases[] = {
      {"\u4e2d", "U+4E2D has no Windows-1252 form"},
      {"a\u0080b", "U+0080 has no Windows-1252 form"},  // a control character that has its own byte in no table
      {"\U0001F600", "U+1F600 has no Windows-1252 form"},
      {"\xC3", "not valid UTF-8"},           // cut short
      {"\x80", "not valid UTF-8"},           // a lone continuation byte
      {"\xC0\xAF", "not valid UTF-8"},       // an overlong "/"
      {"\xED\xA0\x80", "not valid UTF-8"},   // a surrogate
      {"\xF4\x90\x80\x80", "not valid UTF-8"},  // beyond U+10FFFF
      {"\xFF", "not valid UTF-8"},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.reason);
    try {
      Utf8ToWindows1252(c.utf8);
      ADD_FAILURE() << "accepted";
    } catch (const ECliError& e) {
      EXPECT_NE(e.Message().find(c.reason), std::string::npos) << e.Message();
    }
  }
}

TEST(TextEncoding, WideStringsUseUtf16) {
  EXPECT_EQ(Utf8ToUtf16("a\u00e9\u4e2d\U0001F600"), (std::u16string{u'a', 0xE9, 0x4E2D, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xE9, 0x4E2D, 0xD83D, 0xDE00}), "a\u00e9\u4e2d\U0001F600");
  // Unpaired surrogates of a damaged value read as the replacement character.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDE00, u'x', 0xD83D}), "\ufffdx\ufffd");
  EXPECT_THROW(Utf8ToUtf16("\xE4\xB8"), ECliError);
}

}  // namespace
}  // namespace zarnik::cli
