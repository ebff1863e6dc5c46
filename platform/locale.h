// Locale services. The only installed locale is the built-in one, id 0,
// "ANSI Standard", whose case mapping is that of Windows code page 1252:
// tables made on Western Windows systems carry keys built with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zarnik::platform {

constexpr uint32_t kBuiltInLocaleId = 0;
inline constexpr const char* kBuiltInLocaleName = "ANSI Standard";
inline constexpr const char* kBuiltInLocaleShortName = "ANSI";

bool IsLocaleInstalled(uint32_t localeId);

uint8_t CharUpper(uint8_t c);
uint8_t CharLower(uint8_t c);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
void UpperCaseInPlace(char* text, size_t length);
void LowerCaseInPlace(char* text, size_t length);

// Compares under the built-in locale: by code after upper-casing when
// ignoreCase is set, else by code. Returns <0, 0 or >0.
int CompareText(std::string_view a, std::string_view b, bool ignoreCase);

// Trims spaces at both ends, then compares without regard to case: how the
// engine compares names.
bool SameName(std::string_view a, std::string_view b);
std::string_view TrimSpaces(std::string_view text);

}  // namespace zarnik::platform
