#pragma once
// `pregledi verify` and `seal` over the archive of two-speed tests (ProtocolArchive.h): each
// line file and its chain read forward together, once, in blocks; each entry checked on its
// own against the line of its number, from the previous entry's stored value, so that one
// changed line is one finding. Findings come in the classes of the examination log's
// (Verify.h), after its findings, file by file:
//
//   tampering  a line that does not match its entry; an entry changed (the line matches the
//              chain as it was); lines with no entry and no break to account for them, other
//              than the very last; entries for lines the file does not have; a chain line that
//              is no entry, out of order, or a break that does not link; unkeyed entries after
//              keyed ones (or not keyed with --key); a chain whose line file is gone; a file
//              that is a link, a FIFO, unreadable or too large;
//   a break    break entries and the lines they leave unsealed, lines written before the chain
//              began or with no chain at all, the last line not yet sealed, a torn last line
//              or a torn chain end, and the torn lines the station set aside;
//   a note     a name that begins like the archive's but is none of its files, a line that is
//              not as the station writes one.
//
// The protocol head that `seal` prints, "P45 HEX", is the last entry of the chain of the
// latest official file (Protokoli-YYYY-MM.chain), named by the test number of the line it
// seals: normally the result line of the last official test, or a line of the test under way.
// `verify --expect-head P45:HEX` holds when an entry with that value seals (or breaks at) a
// line of test 45, and nothing in its file up to that line was changed.
#include "Verify.h"

#include <QString>

namespace vz {

// Checks every archive file of `dir` and adds to `result` (its counts, its archive fields and
// protocolHead) and to `sink`.
void verifyArchive(const QString& dir, const VerifyOptions& options, VerifyResult& result,
                   const FindingSink& sink);

// The protocol line of `seal`. Nothing (and no error) when there is no official archive file;
// `error` when there is one but its head cannot be given; `note` for a torn chain end.
struct ProtocolSeal {
    QString line; // "P45 HEX"
    QString note;
    QString error;
};
ProtocolSeal protocolSeal(const QString& dir);

} // namespace vz
