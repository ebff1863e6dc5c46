#include "cli/field_json.h"

#include <gtest/gtest.h>

#include "cli/cli_error.h"
#include "cli/table_schema.h"
#include "engine/data/bcd.h"
#include "platform/byte_order.h"

namespace zarnik::cli {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

TFieldDefinition Field(const char* type, uint16_t size = 0, uint8_t scale = 0) {
  TFieldDefinition f;
  f.number = 1;
  f.name = "F";
  EXPECT_TRUE(FieldTypeCodes(type, f.dataType, f.subtype)) << type;
  f.size = size;
  f.scale = scale;
  f.DerivePhysicalSize();
  return f;
}

// The stored bytes padded to the field's physical size, as its slot holds them.
std::vector<uint8_t> Slot(const TFieldDefinition& f, std::vector<uint8_t> bytes) {
  if (!f.IsBlob() && bytes.size() < f.physicalSize) bytes.resize(f.physicalSize);
  return bytes;
}

struct RoundTrip {
  const char* type;
  uint16_t size;
  uint8_t scale;
  const char* value;     // JSON
  const char* readBack;  // JSON; nullptr: the value itself
};

const RoundTrip kRoundTrips[] = {
    {"ftString", 10, 0, R"("abc")", nullptr},
    {"ftString", 10, 0, R"("caf\u00e9 \u20ac")", nullptr},
    {"ftString", 4, 0, R"("abcd")", nullptr},
    {"ftFixedChar", 8, 0, R"("rp  ")", nullptr},
    {"ftWideString", 4, 0, R"("\u4e2d\u6587")", nullptr},
    {"ftGuid", 38, 0, R"("{12345678-1234-1234-1234-123456789012}")", nullptr},
    {"ftSmallint", 0, 0, "-32768", nullptr},
    {"ftSmallint", 0, 0, "32767", nullptr},
    {"ftInteger", 0, 0, "-2147483648", nullptr},
    {"ftInteger", 0, 0, "7.0", "7"},
    {"ftAutoInc", 0, 0, "2147483647", nullptr},
    {"ftWord", 0, 0, "65535", nullptr},
    {"ftLargeint", 0, 0, "-9223372036854775808", nullptr},
    {"ftLargeint", 0, 0, "9223372036854775807", nullptr},
    {"ftBoolean", 0, 0, "true", nullptr},
    {"ftBoolean", 0, 0, "false", nullptr},
    {"ftFloat", 0, 0, "-562912420.2446058", nullptr},
    {"ftFloat", 0, 0, "2910.0", nullptr},
    {"ftFloat", 0, 0, "3", "3.0"},
    {"ftCurrency", 0, 0, "19807.29", nullptr},
    {"ftBCD", 0, 2, "12.34", nullptr},
    {"ftBCD", 0, 2, "-7", nullptr},
    {"ftBCD", 0, 4, "0.1", nullptr},
    {"ftBCD", 0, 2, "1.005", "1.0"},  // rounded to the field's places, half to even
    {"ftDate", 0, 0, R"("0001-01-01")", nullptr},
    {"ftDate", 0, 0, R"("2024-02-29")", nullptr},
    {"ftDate", 0, 0, R"("9999-12-31")", nullptr},
    {"ftTime", 0, 0, R"("00:00:00.000")", nullptr},
    {"ftTime", 0, 0, R"("23:59:59.999")", nullptr},
    {"ftTime", 0, 0, R"("06:48:33")", R"("06:48:33.000")"},
    {"ftTime", 0, 0, R"("06:48:33.9")", R"("06:48:33.900")"},
    {"ftDateTime", 0, 0, R"("2017-09-07T22:33:18.042")", nullptr},
    {"ftDateTime", 0, 0, R"("1899-12-30T00:00:00.000")", nullptr},
    {"ftBytes", 6, 0, R"({"base64": "SkPXgTP2"})", nullptr},
    {"ftBytes", 6, 0, R"({"base64": "SkPX"})", R"({"base64": "SkPXAAAA"})"},  // zero-filled
    {"ftVarBytes", 6, 0, R"({"base64": "MS6c+D8w"})", nullptr},
    {"ftMemo", 0, 0, R"("line one\nline \u00e9 two")", nullptr},
    {"ftFmtMemo", 0, 0, R"("{\\rtf1}")", nullptr},
    {"ftBlob", 0, 0, R"({"base64": "AAEC/w=="})", nullptr},
    {"ftGraphic", 0, 0, R"({"base64": "iVBORw=="})", nullptr},
    {"ftMemo", 0, 0, R"("")", "null"},  // empty contents are no BLOB
};

TEST(FieldJson, EveryTypeReadsBackAsLoaded) {
  for (const RoundTrip& c : kRoundTrips) {
    SCOPED_TRACE(std::string(c.type) + " " + c.value);
    TFieldDefinition f = Field(c.type, c.size, c.scale);
    std::vector<uint8_t> bytes = Slot(f, JsonToFieldBytes(f, json::parse(c.value)));
    EXPECT_EQ(FieldBytesToJson(f, bytes), ordered_json::parse(c.readBack ? c.readBack : c.value));
  }
}

TEST(FieldJson, StoredFormsAreTheRecordEncodings) {
  using namespace platform;
  auto bytes = [](const char* type, const char* value, uint16_t size = 0, uint8_t scale = 0) {
    TFieldDefinition f = Field(type, size, scale);
    return JsonToFieldBytes(f, json::parse(value));
  };
  EXPECT_EQ(bytes("ftString", R"("a\u00e9")", 5), (std::vector<uint8_t>{'a', 0xE9, 0}));
  EXPECT_EQ(bytes("ftWideString", R"("a\u4e2d")", 5), (std::vector<uint8_t>{'a', 0, 0x2D, 0x4E, 0, 0}));
  EXPECT_EQ(GetInt32(bytes("ftDate", R"("0001-01-02")"), 0), 2);
  EXPECT_EQ(GetInt32(bytes("ftTime", R"("01:02:03.004")"), 0), 3723004);
  EXPECT_EQ(GetFloat64(bytes("ftDateTime", R"("0001-01-01T00:00:01.500")"), 0), 86400000.0 + 1500);
  EXPECT_EQ(GetInt16(bytes("ftBoolean", "true"), 0), 1);
  EXPECT_EQ(BcdToCurrency(bytes("ftBCD", "-12.5", 0, 1)), -125000);
  EXPECT_EQ(bytes("ftMemo", R"("\u20ac")"), (std::vector<uint8_t>{0x80}));
}

struct Refused {
  const char* type;
  uint16_t size;
  const char* value;
  const char* reason;
};

const Refused kRefused[] = {
    {"ftString", 3, R"("abcd")", "too long: 4 characters for a field of 3"},
    {"ftString", 10, "12", "expected a text, got number"},
    {"ftString", 10, R"("\u4e2d")", "U+4E2D has no Windows-1252 form"},
    {"ftString", 10, R"("a\u0000b")", "U+0000"},
    {"ftWideString", 1, R"("ab")", "too long"},
    {"ftSmallint", 0, "32768", "out of range"},
    {"ftWord", 0, "-1", "out of range"},
    {"ftInteger", 0, "2147483648", "out of range"},
    {"ftInteger", 0, "1.5", "expected a whole number, got 1.5"},
    {"ftInteger", 0, R"("12")", "expected a whole number, got string"},
    {"ftLargeint", 0, "9223372036854775808", "out of range"},
    {"ftBoolean", 0, "1", "expected true or false, got number"},
    {"ftFloat", 0, R"("1.5")", "expected a number, got string"},
    {"ftBCD", 0, "1e300", "out of range"},
    {"ftDate", 0, R"("2023-02-29")", "expected a date \"YYYY-MM-DD\""},
    {"ftDate", 0, R"("2023-1-01")", "expected a date"},
    {"ftDate", 0, R"("2023-01-01T00:00:00.000")", "expected a date"},
    {"ftTime", 0, R"("24:00:00.000")", "expected a time \"HH:MM:SS.zzz\""},
    {"ftTime", 0, R"("12:00")", "expected a time"},
    {"ftTime", 0, R"("12:00:00.0000")", "expected a time"},
    {"ftDateTime", 0, R"("2017-09-07 22:33:18.042")", "expected a timestamp"},
    {"ftBytes", 2, R"({"base64": "AAAA"})", "too long: 3 bytes for a field of 2"},
    {"ftBytes", 2, R"("AAAA")", "expected {\"base64\": \"...\"}"},
    {"ftVarBytes", 2, R"({"base64": "A"})", "not base64"},
    {"ftBlob", 0, R"({"base64": "AA==", "x": 1})", "expected {\"base64\""},
    {"ftMemo", 0, R"({"base64": "AA=="})", "expected a text, got object"},
    {"ftGraphic", 0, R"("text")", "expected {\"base64\""},
};

TEST(FieldJson, RefusesValuesThatDoNotFit) {
  for (const Refused& c : kRefused) {
    SCOPED_TRACE(std::string(c.type) + " " + c.value);
    TFieldDefinition f = Field(c.type, c.size);
    try {
      JsonToFieldBytes(f, json::parse(c.value));
      ADD_FAILURE() << "accepted";
    } catch (const ECliError& e) {
      EXPECT_NE(e.Message().find(c.reason), std::string::npos) << e.Message();
    }
  }
}

TEST(FieldJson, OddStoredValuesStillWriteJson) {
  TFieldDefinition f = Field("ftFloat");
  std::vector<uint8_t> bytes(8);
  platform::PutFloat64(bytes, 0, std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(FieldBytesToJson(f, bytes).is_null());
  EXPECT_TRUE(FieldBytesToJson(Field("ftInteger"), std::vector<uint8_t>(2)).is_null());  // cut short
  EXPECT_EQ(TimeText(-1500), "-00:00:01.500");
  EXPECT_EQ(TimeText(90000000), "25:00:00.000");
  EXPECT_EQ(DateText(0), "0000-00-00");
  EXPECT_EQ(TimestampText(-5.0), "0000-00-00T00:00:00.000");
}

}  // namespace
}  // namespace zarnik::cli
