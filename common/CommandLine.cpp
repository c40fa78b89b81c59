#include "CommandLine.h"

#include <algorithm>
#include <iterator>

#include "VzVersion.h"

#include <iostream>

namespace vz {

std::string versionLine(const std::string& program) {
    return program + " " VZ_VERSION "\n";
}

bool isQtOption(const std::string& arg) {
    // The options of Qt 6's QGuiApplication, QApplication and xcb platform, without their dash.
    static const char* const kQtOptions[] = {"platform",
                                             "platformpluginpath",
                                             "platformtheme",
                                             "plugin",
                                             "qwindowgeometry",
                                             "qwindowicon",
                                             "qwindowtitle",
                                             "reverse",
                                             "session",
                                             "style",
                                             "stylesheet",
                                             "widgetcount",
                                             "qmljsdebugger",
                                             "testability",
                                             "display",
                                             "geometry",
                                             "name",
                                             "title",
                                             "visual",
                                             "ncols",
                                             "cmap",
                                             "nograb",
                                             "dograb",
                                             "sync",
                                             "fn",
                                             "font",
                                             "bg",
                                             "background",
                                             "fg",
                                             "foreground",
                                             "btn",
                                             "button",
                                             "im",
                                             "inputstyle"};
    // The ones Qt also takes as -OPTION=VALUE.
    static const char* const kWithEquals[] = {"style", "stylesheet", "qmljsdebugger"};
    std::string name;
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0)
        name = arg.substr(2);
    else if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-')
        name = arg.substr(1);
    else
        return false;
    if (const size_t equals = name.find('='); equals != std::string::npos) {
        const std::string option = name.substr(0, equals);
        return std::any_of(std::begin(kWithEquals), std::end(kWithEquals),
                           [&](const char* known) { return option == known; });
    }
    return std::any_of(std::begin(kQtOptions), std::end(kQtOptions),
                       [&](const char* known) { return name == known; });
}

std::optional<int> answerStandardOptions(const std::vector<std::string>& args, const std::string& program,
                                         const std::string& usage,
                                         const std::function<bool(const std::string&)>& isUnknownOption) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << versionLine(program);
            return 0;
        }
    }
    for (const std::string& arg : args) {
        if (isUnknownOption(arg)) {
            std::cerr << program << ": unknown option '" << arg << "' (see --help)\n";
            return 2;
        }
    }
    return std::nullopt;
}

} // namespace vz
