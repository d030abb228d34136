#pragma once

#include <string_view>

/// The maker of the program, in one place.
namespace Maker {
inline constexpr std::u16string_view kName = u"Team Vendramel";
inline constexpr std::u16string_view kSupportEmail = u"support@vendramel.example";
inline constexpr std::u16string_view kContactPage = u"https://vendramel.example/contact";
inline constexpr std::u16string_view kHomePage = u"https://vendramel.example/tagloom";
}  // namespace Maker
