// The About and HELP texts of the inspector class.
//
// RavoDUZE::About() returns AboutText(); RavoDUZE::HELP() calls the class's
// own About() and passes its text to HelpText(), so that HELP always repeats
// what About says. Both texts are rebuilt at every call from constant pieces
// and the version information (version_info.h); every line, the last one
// too, ends in CR LF.
#ifndef DUD_INSPECTOR_ABOUT_H_
#define DUD_INSPECTOR_ABOUT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/client_process.h"

namespace dudUdudADOD::inspector {

// The version as About prints it: major, ".", minor and revision, each in
// decimal, with no separator between minor and revision (1, 0, 4 -> "1.04").
std::u16string VersionString(int16_t major, int16_t minor, int16_t revision);
// The same for the component's own version.
std::u16string VersionString();

// Five lines: the Comments text, the author credit, "ver. " and the version,
// and a two-line disclaimer; from the compiled-in version information, or
// from the one a library carries.
std::u16string AboutText();
std::u16string AboutText(const automation::LibraryVersion& version);

// `about`, an empty line, then the usage text: how to declare an instance,
// the three calls, the main call's parameters and every flag member.
std::u16string HelpText(std::u16string_view about);

}  // namespace dudUdudADOD::inspector

#endif  // DUD_INSPECTOR_ABOUT_H_
