#pragma once
// The PC itself: its IPv4 addresses and ending the process.
#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

constexpr int max_local_addresses = 8;

// The PC's IPv4 addresses (host byte order), at most 8: interfaces that are
// up, non-loopback ones first in the system's order, loopback ones only when
// there is nothing else.
std::vector<uint32_t> local_ipv4_addresses();

// Replaces the source of local_ipv4_addresses (an empty function restores the
// system's). Tests use it to play PCs with 0, 1 or 10 addresses.
void set_local_address_source(std::function<std::vector<uint32_t>()> source);

// Ends the process with exit status 0 from any thread: restores the terminal,
// flushes output and leaves without running static destructors, since other
// threads may still be using the session.
[[noreturn]] void end_process();

// The terminal front end registers how to restore the terminal; end_process
// and fatal signals call it first.
void set_terminal_restorer(void (*restore)());
void restore_terminal();

}  // namespace platform
