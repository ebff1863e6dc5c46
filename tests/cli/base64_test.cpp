#include "cli/base64.h"

#include <gtest/gtest.h>

namespace zarnik::cli {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Base64, EncodesAndDecodesTheStandardVectors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF\xBF", "+/+/"},
  };
  for (const auto& [plain, coded] : cases) {
    SCOPED_TRACE(coded);
    EXPECT_EQ(EncodeBase64(Bytes(plain)), coded);
    EXPECT_EQ(DecodeBase64(coded), Bytes(plain));
  }
  EXPECT_EQ(DecodeBase64("Zm9v\nYmFy"), Bytes("foobar"));
  EXPECT_EQ(DecodeBase64("Zg"), Bytes("f"));  // padding left out
}

TEST(Base64, RefusesWhatIsNotBase64) {
  for (const char* text : {"Z", "Zm9vY", "Zg===", "Z=g=", "Zm9v!", "Zg==Zg==", "-_=="}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(DecodeBase64(text));
  }
}

}  // namespace
}  // namespace zarnik::cli
