// The device probes: uname, the interface list (SIOCGIFCONF), the route
// table over netlink, and hardware addresses (SIOCGIFHWADDR).
#include "job/DeviceInfo.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "job/Job.h"

namespace {

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// The interfaces with an IPv4 address, in the kernel's order. The buffer
// grows until the list fits (an entry is sizeof(struct ifreq), 40 bytes on
// 64-bit systems).
bool listInterfaces(int sock, std::vector<ifreq>& out) {
    for (size_t room = 32; room <= 4096; room *= 2) {
        std::vector<ifreq> entries(room);
        ifconf conf{};
        conf.ifc_len = static_cast<int>(entries.size() * sizeof(ifreq));
        conf.ifc_req = entries.data();
        if (::ioctl(sock, SIOCGIFCONF, &conf) != 0) return false;
        const size_t got = static_cast<size_t>(conf.ifc_len) / sizeof(ifreq);
        if (got < room) {
            entries.resize(got);
            out = std::move(entries);
            return true;
        }
    }
    return false;
}

bool isLoopback(int sock, const char* name) {
    ifreq req{};
    std::strncpy(req.ifr_name, name, IFNAMSIZ - 1);
    return ::ioctl(sock, SIOCGIFFLAGS, &req) == 0 && (req.ifr_flags & IFF_LOOPBACK) != 0;
}

bool hardwareAddress(int sock, const std::string& name, unsigned char mac[6]) {
    if (name.empty() || name.size() >= IFNAMSIZ) return false;
    ifreq req{};
    std::memcpy(req.ifr_name, name.data(), name.size());
    if (::ioctl(sock, SIOCGIFHWADDR, &req) != 0) return false;
    std::memcpy(mac, req.ifr_hwaddr.sa_data, 6);
    return true;
}

std::string macText(const unsigned char mac[6]) {
    char text[32];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X\n", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

}  // namespace

int getlinuxkever(std::string& out) {
    utsname u{};
    if (::uname(&u) != 0) {
        WriteLogFile("[ERR]", "에러 ..");
        return -1;
    }
    out = std::string(u.sysname) + " " + u.release;
    return 0;
}

int getIpAddr(std::string& out) {
    Fd sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    std::vector<ifreq> entries;
    if (sock.fd < 0 || !listInterfaces(sock.fd, entries)) {
        JOBLOG("SIOCGIFCONF failed\n");
        return -1;
    }
    for (const ifreq& e : entries) {
        if (e.ifr_addr.sa_family != AF_INET || isLoopback(sock.fd, e.ifr_name)) continue;
        sockaddr_in addr{};
        std::memcpy(&addr, &e.ifr_addr, sizeof addr);
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text)) {
            out = text;
            return 0;
        }
    }
    out.clear();
    return 0;
}

int ReadDefaultRoute(std::string& gateway, std::string& interfaceName) {
    gateway.clear();
    interfaceName.clear();
    Fd sock(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (sock.fd < 0) {
        JOBLOG("Socket Creation: failed\n");
        return -1;
    }
    struct {
        nlmsghdr header;
        rtmsg route;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.route.rtm_family = AF_INET;
    if (::send(sock.fd, &request, request.header.nlmsg_len, 0) < 0) {
        JOBLOG("Write To Socket Failed...\n");
        return -1;
    }
    // Datagrams of the dump until NLMSG_DONE; each is walked whole, within
    // what was received.
    std::vector<char> buffer(32768);
    for (;;) {
        const ssize_t got = ::recv(sock.fd, buffer.data(), buffer.size(), 0);
        if (got < 0) {
            JOBLOG("Read From Socket Failed...\n");
            return -1;
        }
        int left = static_cast<int>(got);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(h, static_cast<unsigned>(left));
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE) return 0;
            if (h->nlmsg_type == NLMSG_ERROR) {
                JOBLOG("Error in recieved packet\n");
                return -1;
            }
            if (h->nlmsg_type != RTM_NEWROUTE || h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) continue;
            const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(h));
            if (route->rtm_family != AF_INET || route->rtm_table != RT_TABLE_MAIN || route->rtm_dst_len != 0) continue;
            std::string gw, name;
            int attrLen = static_cast<int>(RTM_PAYLOAD(h));
            for (auto* a = RTM_RTA(route); RTA_OK(a, attrLen); a = RTA_NEXT(a, attrLen)) {
                if (a->rta_type == RTA_GATEWAY && RTA_PAYLOAD(a) >= sizeof(in_addr)) {
                    char text[INET_ADDRSTRLEN] = {};
                    if (::inet_ntop(AF_INET, RTA_DATA(a), text, sizeof text)) gw = text;
                } else if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) >= sizeof(int)) {
                    int index = 0;
                    std::memcpy(&index, RTA_DATA(a), sizeof index);
                    char ifname[IF_NAMESIZE] = {};
                    if (::if_indextoname(static_cast<unsigned>(index), ifname)) name = ifname;
                }
            }
            // A later default route replaces an earlier one.
            gateway = gw;
            interfaceName = name;
        }
    }
}

int getGateWayIPAddr(std::string& out) {
    std::string name;
    return ReadDefaultRoute(out, name) == 0 ? 0 : -1;
}

int getMacAddr(std::string& out) {
    unsigned char mac[6] = {};
    Fd sock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (sock.fd < 0) {
        JOBLOG("Fatal error: Failed to get local host's MAC address\n");
        return -1;
    }
    std::vector<std::string> names;
    if (struct if_nameindex* list = ::if_nameindex()) {
        for (struct if_nameindex* i = list; i->if_index != 0 && i->if_name; ++i) names.emplace_back(i->if_name);
        ::if_freenameindex(list);
    }
    std::string gateway, routeIf;
    ReadDefaultRoute(gateway, routeIf);
    std::vector<std::string> order;
    for (const std::string& n : names)
        if (n == "eth0") order.push_back(n);
    if (!routeIf.empty()) order.push_back(routeIf);
    for (const std::string& n : names)
        if (!isLoopback(sock.fd, n.c_str())) order.push_back(n);
    for (const std::string& n : order) {
        unsigned char candidate[6] = {};
        if (hardwareAddress(sock.fd, n, candidate) && std::memcmp(candidate, mac, 6) != 0) {
            std::memcpy(mac, candidate, 6);
            break;
        }
    }
    out = macText(mac);
    JOBLOG("HWaddr %s", out.c_str());
    return 0;
}
