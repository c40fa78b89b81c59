#include "CommandLine.h"

#include "VzVersion.h"

#include <iostream>

namespace vz {

std::string versionLine(const std::string& program) {
    return program + " " VZ_VERSION "\n";
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
