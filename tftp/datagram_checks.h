#pragma once
// The two decisions that the listener and the transfer take on one received
// datagram, apart from their sockets, screens and sessions: does it ask for
// the file being offered, and is it the ACK the transfer awaits. Both read
// only the bytes the datagram filled and drop anything too short or too long
// to read (see the readers in tftp/packets.h).
#include <netinet/in.h>

#include <cstdint>
#include <string_view>

#include "tftp/packets.h"

// The listener's: a datagram of `length` bytes (as receive_packet reports it)
// is taken when it is an RRQ whose file name is `file_name`, byte for byte,
// letter case included. Its source is not looked at, nor its mode and options:
// a request in any mode, with any options, is taken when it names the file.
bool names_the_file(const TftpPacket& packet, long length, std::string_view file_name);

// The transfer's: the datagram moves the transfer on only when it comes from
// the request's own address and port (host order) and is an ACK of
// `next_block`. The block number is compared in full with no wrap, so past
// block 65,535 no ACK can match and the silence limit ends the transfer.
bool is_expected_ack(const TftpPacket& packet, long length, const sockaddr_in& from, uint32_t client_address,
                     uint16_t client_port, uint32_t next_block);
