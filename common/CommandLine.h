#pragma once
// The options every program of the station takes, answered before anything else starts (so
// `--help` and `--version` need no display, no port and no files).
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vz {

// Looks at the arguments (without the program name): "--help" or "-h" prints `usage` to
// standard output, "--version" prints "<program> <version>"; both end the program with
// status 0. An argument for which `isUnknownOption` holds ends it with a one-line error on
// standard error and status 2. Nothing is returned when the program goes on.
std::optional<int> answerStandardOptions(const std::vector<std::string>& args, const std::string& program,
                                         const std::string& usage,
                                         const std::function<bool(const std::string&)>& isUnknownOption);

// Whether `arg` is one of the options Qt's application object takes (QGuiApplication,
// QApplication and the X11 platform): "-platform", "-style", "-reverse", "-qwindowtitle", ...
// in its one-dash or two-dash spelling, with "=VALUE" where Qt accepts that form. Qt itself
// reads both spellings; a program passes such an argument on instead of refusing it.
bool isQtOption(const std::string& arg);

// "<program> <version>\n".
std::string versionLine(const std::string& program);

} // namespace vz
