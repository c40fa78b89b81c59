#include "ChainSeal.h"

#include "ExamTrail.h"

namespace vz {

ChainState readChainState(const QString& path, const QString& name) {
    ChainState state{path, name, {}, {}};
    if (fileKindAt(path) == FileKind::Missing)
        return state;
    StationFile file;
    if (!file.open(path, StationFile::Access::Read, kMaxChainFileSize)) {
        state.problem = file.error();
        return state;
    }
    state.tail = readChainTail(file);
    state.problem = state.tail.error;
    return state;
}

SealResult sealInChain(const ChainState& state, const QByteArray* key, const QString& keyTrouble, int number,
                       const QByteArray& bytes, const char* items) {
    SealResult result;
    if (!state.problem.isEmpty()) {
        result.trouble = QStringLiteral("the chain cannot be used: %1").arg(state.problem);
        return result;
    }
    if (state.tail.unreadable || state.tail.tornBytes() > 0) {
        result.trouble = QStringLiteral("%1: its end is damaged and could not be set aside").arg(state.name);
        return result;
    }
    const QLatin1StringView what(items);
    const std::optional<ChainEntry>& last = state.tail.last;
    QByteArray previous = last ? last->hash : QByteArray();
    QByteArray lines;
    if (!keyTrouble.isEmpty()) {
        // Never a silent fall-back to an unkeyed seal: the item stays unsealed, and one
        // break says from where and why.
        if (!last || last->kind != ChainEntryKind::Break) {
            const QByteArray reason =
                breakReason(keyTrouble + QStringLiteral("; %1 from %2 on unsealed").arg(what).arg(number));
            lines += chainEntryLine(
                {number, false, breakHash(previous, number, reason, nullptr), ChainEntryKind::Break, reason});
        }
        result.trouble = keyTrouble;
    } else {
        if (last && last->sealsRecord() && last->examNumber < number - 1) {
            const QByteArray reason =
                breakReason(QStringLiteral("resumed: %1 %2-%3 were written without a seal")
                                .arg(what)
                                .arg(last->examNumber + 1)
                                .arg(number - 1));
            const ChainEntry gap{number - 1, key != nullptr, breakHash(previous, number - 1, reason, key),
                                 ChainEntryKind::Break, reason};
            lines += chainEntryLine(gap);
            previous = gap.hash;
        }
        result.hash = chainHash(previous, bytes, key);
        lines += chainEntryLine({number, key != nullptr, result.hash, ChainEntryKind::Record, {}});
    }
    if (lines.isEmpty())
        return result;

    StationFile chain;
    auto fail = [&](const QString& error) {
        result.trouble = error;
        result.hash.clear();
        return result;
    };
    if (!chain.open(state.path, StationFile::Access::ReadWriteCreate, kMaxChainFileSize))
        return fail(chain.error());
    const int64_t oldSize = chain.size();
    if (oldSize != state.tail.size)
        return fail(QStringLiteral("%1: changed while being written").arg(state.name));
    if (!chain.writeAt(oldSize, lines)) {
        const QString error = chain.error();
        chain.truncate(oldSize);
        chain.sync();
        return fail(error);
    }
    passTrailStep(TrailStep::ChainWritten);
    if (!chain.sync()) {
        const QString error = chain.error();
        chain.truncate(oldSize);
        chain.sync();
        return fail(error);
    }
    passTrailStep(TrailStep::ChainSynced);
    return result;
}

} // namespace vz
