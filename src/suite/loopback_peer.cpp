#include "suite/loopback_peer.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cv {

TLoopbackPeer LoopbackPeer(uint32_t serverAddress, uint16_t serverPort, uint32_t peerAddress, uint16_t peerPort)
{
    TLoopbackPeer peer;
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return peer;
    // The system answers at once; a bound on the wait all the same.
    const timeval wait{0, 200000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

    // One socket asked for by its four numbers (no dump): the peer's, whose
    // own end is peerAddress:peerPort.
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } ask{};
    ask.header.nlmsg_len = sizeof ask;
    ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    ask.header.nlmsg_flags = NLM_F_REQUEST;
    ask.request.sdiag_family = AF_INET;
    ask.request.sdiag_protocol = IPPROTO_TCP;
    ask.request.idiag_states = ~0u;
    ask.request.id.idiag_sport = htons(peerPort);
    ask.request.id.idiag_dport = htons(serverPort);
    ask.request.id.idiag_src[0] = htonl(peerAddress);
    ask.request.id.idiag_dst[0] = htonl(serverAddress);
    ask.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    ask.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &ask, sizeof ask, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) != ssize_t(sizeof ask)) {
        ::close(fd);
        return peer;
    }
    alignas(nlmsghdr) char answer[8192];
    ssize_t n;
    do
        n = ::recv(fd, answer, sizeof answer, 0);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    int left = n > 0 ? int(n) : 0;
    for (auto* h = reinterpret_cast<nlmsghdr*>(answer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
        if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
            continue;
        inet_diag_msg message;
        std::memcpy(&message, NLMSG_DATA(h), sizeof message);
        if (ntohs(message.id.idiag_sport) != peerPort || ntohs(message.id.idiag_dport) != serverPort)
            continue;
        peer.known = true;
        peer.uid = message.idiag_uid;
        peer.thisUser = message.idiag_uid == ::geteuid();
        break;
    }
    return peer;
}

} // namespace cv
