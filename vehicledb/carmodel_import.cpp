// carmodel-import <input.csv> <output.db>: builds a limits table CarModel.DB from a station's
// CSV. Bad rows are listed with their line numbers and nothing is written; exit code 1.
#include "CarModelImport.h"
#include "CommandLine.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

namespace {
const char* const kUsage =
    "usage: carmodel-import <input.csv> <output.db>\n"
    "Builds a limits table (CarModel.DB) from a station's CSV file. Bad rows are listed with\n"
    "their line numbers and nothing is written. The output may be a new file or a regular\n"
    "file, which is replaced as a whole; anything else is refused.\n"
    "  -h, --help   show this text\n"
    "  --version    show the version\n";
} // namespace

int main(int argc, char** argv) {
    if (const auto status = vz::answerStandardOptions(
            std::vector<std::string>(argv + 1, argv + argc), "carmodel-import", kUsage,
            [](const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }))
        return *status;
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        err << "usage: carmodel-import <input.csv> <output.db>\n";
        return 2;
    }
    return vz::runCarModelImport(args[1], args[2], out, err);
}
