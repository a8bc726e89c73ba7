// The plug-in's intent journal: before a join or leave changes the directory
// it records what it is about to do (adclient.intent beside the state file,
// replaced atomically, owner-only); once the host's files follow the
// directory it is cleared. A journal found by a later call is the trace of a
// process killed in between, and tells that call what to finish or undo.
#pragma once

#include "common/StateFile.h"

namespace adclient {

namespace intent {
constexpr const char* OPERATION = "operation";  // JOIN or LEAVE
constexpr const char* PHASE = "phase";          // STARTED, or DIRECTORY_DONE once adcli succeeded
constexpr const char* WITH_CREDENTIALS = "with_credentials";  // "yes" for a leave that deletes the account
constexpr const char* JOIN = "join";
constexpr const char* LEAVE = "leave";
constexpr const char* STARTED = "started";
constexpr const char* DIRECTORY_DONE = "directory_done";
}  // namespace intent

// The journal as it is now; empty when there is none. A malformed journal
// (which an atomic write cannot produce) reads as empty and is logged.
orvauth_plugin::StateFile LoadIntent();
// Throws StatusError 5 when it cannot be written: the operation must then not
// go on to change the directory.
void RecordIntent(const orvauth_plugin::StateFile& journal);
void ClearIntent();

}  // namespace adclient
