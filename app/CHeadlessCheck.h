#pragma once
// `yuefengxuan --check-watched`: one check of the watch list with no window and no display
// (a QCoreApplication only). The configuration is composed as the main frame composes it at
// start: the local files (config.json of the user and the system), the configuration
// document the program kept from its server and, where the files say so, the keyring's
// secret. The demo's keys are its server's, so a check needs --server then. Two checks never run at once: a check that finds another running waits
// for it and then does not check again.
//
// Exit status 0 after a check (or after waiting for another); 1 with one line on standard
// error when the store or the keys cannot be used.
#include "store/WatchTypes.h"

#include <functional>
#include <vector>

namespace yfx {

// How long a headless check stays for the actions of its notices (then it exits; a notice
// still shown can no longer open anything).
constexpr int kNoticeWaitMs = 5 * 60 * 1000;

// Where the drops of a headless check go: one line each on standard output, and the desktop's
// notices, whose actions are carried out until they are closed or kNoticeWaitMs has passed.
void TellHeadlessAlerts(const std::vector<store::PriceAlert>& alerts);

// Runs the check; needs a QCoreApplication. Returns the exit status.
int RunHeadlessCheck();

} // namespace yfx
