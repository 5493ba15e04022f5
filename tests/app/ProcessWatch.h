#pragma once
// What the program tests look at from outside: whether a process still runs, whether a
// loopback server still answers.
#include <string>

namespace yfx::test {

// True when process `pid` has ended: there is no such process, or it is dead and waits only
// to be reaped by whoever its parent is now (a zombie).
bool ProcessEnded(long long pid);

// The HTTP status of "GET `path`" on 127.0.0.1:`port`, or 0 when nothing answers there.
int LoopbackStatus(int port, const std::string& path);

} // namespace yfx::test
