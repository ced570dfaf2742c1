// The component's version information: the one place that holds it.
//
// On the platform this is the library's version resource, which About reads
// through the host's application object (the Comments text and the major,
// minor and revision numbers). Everything that shows or embeds the version
// takes it from here, so a new release changes this file only.
#ifndef DUD_INSPECTOR_VERSION_INFO_H_
#define DUD_INSPECTOR_VERSION_INFO_H_

#include <cstdint>
#include <string_view>

namespace dudUdudADOD::inspector {

struct VersionInfo {
  // The numbers About shows; each is a 16-bit integer on the platform.
  int16_t major;
  int16_t minor;
  int16_t revision;
  // Fixed file and product version, four parts.
  std::u16string_view fixed_version;
  // The string block (key "041004B0").
  std::u16string_view comments;
  std::u16string_view file_description;
  std::u16string_view product_name;
  std::u16string_view file_version;
  std::u16string_view product_version;
  std::u16string_view internal_name;
  std::u16string_view original_filename;
  std::u16string_view company_name;  // shown by no call
};

inline constexpr std::u16string_view kVersionStringBlockKey = u"041004B0";

inline constexpr VersionInfo kVersionInfo = {
    .major = 1,
    .minor = 0,
    .revision = 4,
    .fixed_version = u"1.0.0.4",
    .comments = u"RavoDUZE (Ravo Duze) ActiveX DLL",
    .file_description = u"ActiveX DLL",
    .product_name = u"RavoDUZE",
    .file_version = u"1.00.0004",
    .product_version = u"1.00.0004",
    .internal_name = u"dudUdudADOD",
    .original_filename = u"dudUdudADOD.dll",
    .company_name = u"The RavoDUZE team",
};

}  // namespace dudUdudADOD::inspector

#endif  // DUD_INSPECTOR_VERSION_INFO_H_
