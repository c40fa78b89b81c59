#pragma once
// Sealing one more item in a chain file (the format of ExamChain.h): the examination log's
// records, or the lines of a test archive. The item is already written and synced; its
// entry follows it. A chain that cannot take the entry never undoes the item: the trouble is
// returned, and the chain takes up again later with a break entry that covers what it missed.
#include "ChainFile.h"

#include <QString>

namespace vz {

// A chain file as an append finds it.
struct ChainState {
    QString path;
    QString name;    // as messages name it
    QString problem; // it cannot be used as it is (a link, a FIFO, unreadable, too large)
    ChainTail tail;
};
ChainState readChainState(const QString& path, const QString& name);

struct SealResult {
    QString trouble; // empty when sealed
    QByteArray hash; // the entry's value when sealed
};

// Appends the entry of item `number` (`bytes`), keyed with `key` when it is given. Where the
// last entry seals an item before number - 1, a break entry first says which were not sealed
// (`items` names them: "examinations", "lines"). With `keyTrouble` (a key is required but
// unusable) nothing is sealed: one break entry says from where and why, and later items wait
// under it until the key is back. Passes TrailStep::ChainWritten and ChainSynced.
SealResult sealInChain(const ChainState& chain, const QByteArray* key, const QString& keyTrouble, int number,
                       const QByteArray& bytes, const char* items);

} // namespace vz
