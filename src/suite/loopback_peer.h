#pragma once
// Who is at the other end of a TCP connection made on this machine: the
// user that owns the connecting socket, asked of the system (its socket
// diagnostics, as `ss -e` shows them). A server on 127.0.0.1 (the help
// pages) tells the user's own programs, the browser among them, from other
// users' with it.

#include <cstdint>

namespace cv {

struct TLoopbackPeer {
    bool known = false;    // the system answered
    uint32_t uid = 0;      // the user owning the peer's socket
    bool thisUser = false; // that user is this process's
};

// The peer of a connection accepted at `serverAddress`:`serverPort` from
// `peerAddress`:`peerPort` (IPv4 addresses in host order, as
// QHostAddress::toIPv4Address gives them). Unknown when the system does not
// say (no such socket, or no socket diagnostics).
TLoopbackPeer LoopbackPeer(uint32_t serverAddress, uint16_t serverPort, uint32_t peerAddress, uint16_t peerPort);

} // namespace cv
