#pragma once
// Checking the chain beside the log: every entry recomputed from the records, and the first
// examination that was changed, removed, reordered or added outside the station named.
#include "ExamLogReader.h"

namespace vz {

struct ChainCheck {
    bool chainFound = false;
    int chained = 0;        // examinations the chain vouches for
    int unchainedFirst = 0; // examinations logged before the chain began: [first, last]
    int unchainedLast = 0;
    int unchained = 0;
    bool keyed = false; // some entry is an HMAC
    QList<LogProblem> problems;
};

ChainCheck checkExamChain(const ExamLogScan& scan);

} // namespace vz
