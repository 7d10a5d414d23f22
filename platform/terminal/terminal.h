#pragma once
// The terminal front end: one thread owns the terminal, draws every visible
// window (at most about 30 times a second, following resizes) and passes the
// user's keys to the window that has them.

namespace terminal {

// Takes over the terminal on standard input and output, installs the front
// end and starts its thread. The terminal is restored on every way out:
// platform::end_process, SIGTERM, SIGHUP and fatal signals. False when
// standard input or output is not a terminal.
bool start();

}  // namespace terminal
