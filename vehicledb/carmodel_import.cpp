// carmodel-import <input.csv> <output.db>: builds a limits table CarModel.DB from a station's
// CSV. Bad rows are listed with their line numbers and nothing is written; exit code 1.
#include "CarModelImport.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv) {
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
