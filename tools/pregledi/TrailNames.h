#pragma once
// The names of the files of an examination trail in a station directory, for verify (which
// tells what each is) and backup (which copies the ones that make the trail).
#include <QString>

namespace vz {

enum class TrailName {
    None,       // not a trail name
    LogFile,    // PreglediNNNNN.GPG
    Chain,      // Pregledi.chain
    Key,        // Pregledi.key
    Lock,       // Pregledi.lock, the running station's
    Printing,   // Pregledi.printing, an examination whose printing has not finished
    ChainTorn,  // Pregledi.chain.torn-YYYYMMDD-HHMMSS: torn bytes cut from the chain's end
    ChainAside, // Pregledi.chain.aside-YYYYMMDD-HHMMSS: a whole chain that could not be read
    LogTorn,    // PreglediNNNNN.GPG.torn-YYYYMMDD-HHMMSS: torn bytes cut from a log file's end
    Leftover,   // NAME.new-PID-XXXXXX: a file written in place whose rename never came
    Stray,      // any other name beginning with Pregledi
};
TrailName trailNameKind(const QString& name);

// What backup copies: the log, the chain, what the station set aside, and the key.
inline bool isTrailFile(TrailName kind) {
    return kind == TrailName::LogFile || kind == TrailName::Chain || kind == TrailName::Key ||
           kind == TrailName::ChainTorn || kind == TrailName::ChainAside || kind == TrailName::LogTorn;
}

} // namespace vz
