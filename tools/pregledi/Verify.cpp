// `pregledi verify`'s two passes in turn: the examination log and its chain, then the test
// archive; and the exit status their findings give.
#include "Verify.h"

#include "ArchiveVerify.h"
#include "TrailVerifier.h"

namespace vz {

int VerifyResult::status() const {
    if (!error.isEmpty())
        return kVerifyUsage;
    if (tampering > 0)
        return kVerifyTampering;
    return breakFindings > 0 ? kVerifyBreaks : kVerifyClean;
}

VerifyResult verifyTrail(const QString& dir, const VerifyOptions& options, const FindingSink& sink) {
    verify_parts::TrailVerifier verifier(dir, options, sink);
    VerifyResult result = verifier.run();
    if (result.error.isEmpty())
        verifyArchive(dir, options, result, sink);
    return result;
}

} // namespace vz
