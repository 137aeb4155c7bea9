#pragma once
// Product facts, in one place.
namespace vexlo::product {
inline constexpr const char* kName = "Vexlo";
// From the project's version in CMakeLists.txt.
inline constexpr const char* kVersion = VEXLO_VERSION;
inline constexpr const char* kHomepage = "http://www.vexlo.example/";
inline constexpr const char* kSupportMail = "support@vexlo.example";
inline constexpr const char* kHelpFile = "Vexlo.chm";
inline constexpr const char* kFaqFile = "faq.htm";
inline constexpr const char* kLicenseFile = "license.txt";
inline constexpr const char* kShellExtensionFile = "Palvex.dll";
} // namespace vexlo::product
