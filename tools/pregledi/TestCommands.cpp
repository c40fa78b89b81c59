// The commands `pregledi tests` and `show-test`: the archive read, the text printed and the exit
// status.
#include "TestCommands.h"

namespace vz {

int runTestsCommand(const QString& dir, ArchiveSeries series, const ExamFilter& filter, bool json,
                    QTextStream& out, QTextStream& err) {
    int status = 0;
    out << (json ? jsonBegin() : testListHeader() + u'\n');
    bool first = true;
    readTests(
        dir, series, filter.from, filter.to,
        [&](const RecordedTest& test) {
            if (!testMatches(test, filter))
                return;
            if (json)
                out << testJsonElement(test, first);
            else
                out << testListLine(test) << '\n';
            first = false;
        },
        [&](const ArchiveProblem& problem) {
            err << "pregledi: " << terminalText(describeArchiveProblem(problem)) << '\n';
            status = 1;
        });
    if (json)
        out << jsonEnd();
    return status;
}

int runShowTestCommand(const QString& dir, ArchiveSeries series, int number, QTextStream& out,
                       QTextStream& err) {
    const TestLookup lookup = findTest(dir, series, number);
    int status = 0;
    for (const ArchiveProblem& problem : lookup.problems) {
        err << "pregledi: " << terminalText(describeArchiveProblem(problem)) << '\n';
        status = 1;
    }
    if (!lookup.test) {
        err << "pregledi: " << (series == ArchiveSeries::Training ? "training test " : "test ")
            << testNumberText(series, number) << " is not in the archive"
            << (series == ArchiveSeries::Official ? "" : " (Obuchenie-*.jsonl)");
        if (!lookup.whereBroken.isEmpty())
            err << ": " << terminalText(lookup.whereBroken);
        err << '\n';
        return 1;
    }
    LineSeal seal;
    if (lookup.test->finished()) {
        if (const std::optional<ArchiveFile> file = archiveFileNamed(lookup.test->fileName))
            seal = sealOfLine(dir, *file, lookup.test->resultLine, lookup.resultBytes);
    }
    out << testShowText(lookup, seal);
    if (seal.state == LineSeal::State::Differs)
        status = 1;
    return status;
}

} // namespace vz
