// `pregledi seal`: the head of the examination log's chain, and the protocol head.
#include "Verify.h"

#include "ArchiveVerify.h"
#include "ChainFile.h"
#include "ExamChain.h"
#include "LogExport.h"
#include "StationFile.h"
#include "VerifyHelpers.h"

#include <QDir>

namespace vz {

using verify_parts::kChainName;
using verify_parts::plural;

namespace {

// The examination line of seal; 1 without a usable chain.
int sealExaminations(const QString& dir, QTextStream& out, QTextStream& err) {
    const QString path = QDir(dir).filePath(kChainName);
    if (fileKindAt(path) == FileKind::Missing) {
        err << "pregledi: " << terminalText(path) << ": missing; there is no chain to seal\n";
        return 1;
    }
    StationFile chain;
    if (!chain.open(path, StationFile::Access::Read, kMaxChainFileSize)) {
        err << "pregledi: " << terminalText(chain.error()) << "; there is no chain to seal\n";
        return 1;
    }
    const ChainTail tail = readChainTail(chain);
    if (!tail.error.isEmpty() || !tail.last) {
        err << "pregledi: " << terminalText(path) << ": "
            << terminalText(tail.error.isEmpty() ? QStringLiteral("no entry at its end") : tail.error)
            << "; there is no chain to seal\n";
        return 1;
    }
    if (tail.tornBytes() > 0)
        err << "pregledi: note: " << plural(tail.tornBytes(), "torn byte", "torn bytes")
            << " after the last entry (a crash); the head is the last whole entry\n";
    out << tail.last->examNumber << ' ' << tail.last->hash.toHex() << '\n';
    return 0;
}

} // namespace

int runSealCommand(const QString& dir, QTextStream& out, QTextStream& err) {
    const ProtocolSeal protocol = protocolSeal(dir);
    int status = 0;
    if (!protocol.line.isEmpty() && fileKindAt(QDir(dir).filePath(kChainName)) == FileKind::Missing)
        err << "pregledi: note: " << terminalText(QDir(dir).filePath(kChainName))
            << ": missing; no examination head\n";
    else
        status = sealExaminations(dir, out, err);
    if (!protocol.note.isEmpty())
        err << "pregledi: note: " << terminalText(protocol.note) << '\n';
    if (!protocol.error.isEmpty()) {
        err << "pregledi: " << terminalText(protocol.error) << '\n';
        status = 1;
    }
    if (!protocol.line.isEmpty())
        out << protocol.line << '\n';
    return status;
}

} // namespace vz
