// The device probes inside a network namespace of the test's own (veth
// links: the dummy module is missing on some kernels), against uname and
// ip's views of the same interfaces and routes.
#include <gtest/gtest.h>
#include <net/if.h>

#include <algorithm>
#include <sstream>

#include "TestSupport.h"
#include "job/DeviceInfo.h"

namespace {

std::string sh(const std::string& command) {
    const auto r = zqtest::run({"sh", "-c", command});
    EXPECT_EQ(r.status, 0) << command;
    return r.output;
}

std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// The first IPv4 address ip lists on an interface other than lo.
std::string ipAddress() {
    std::istringstream in(sh("ip -o -4 addr show"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string index, name, family, cidr;
        f >> index >> name >> family >> cidr;
        if (name != "lo") return cidr.substr(0, cidr.find('/'));
    }
    return "";
}

// The gateway of the last default route ip lists.
std::string gateway() {
    std::istringstream in(sh("ip -4 route show table main"));
    std::string line, last;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string first, via, gw;
        f >> first >> via >> gw;
        if (first == "default" && via == "via") last = gw;
    }
    return last;
}

std::string macOf(const std::string& name) {
    std::string text = sh("ip -o link show " + name);
    const size_t at = text.find("link/ether ");
    std::string mac = text.substr(at + 11, 17);
    std::transform(mac.begin(), mac.end(), mac.begin(), ::toupper);
    return mac + "\n";
}

class Device : public ::testing::Test {
protected:
    void SetUp() override {
        // Only in a namespace of our own: never change the machine's links.
        if (trim(sh("ip -o link show | grep -v ': lo:' | wc -l")) != "0")
            GTEST_SKIP() << "not in a private network namespace";
    }
};

TEST_F(Device, ProbesAgreeWithUnameAndIp) {
    std::string text = "unset";
    ASSERT_EQ(getlinuxkever(text), 0);
    EXPECT_EQ(text, trim(sh("uname -sr")));

    // Loopback alone: no address, no gateway, the zero hardware address.
    ASSERT_EQ(getIpAddr(text), 0);
    EXPECT_EQ(text, "");
    ASSERT_EQ(getGateWayIPAddr(text), 0);
    EXPECT_EQ(text, "");
    ASSERT_EQ(getMacAddr(text), 0);
    EXPECT_EQ(text, "00:00:00:00:00:00\n");

    // "eth0" with an address and a default route.
    sh("ip link add eth0 type veth peer name peer0 && ip addr add 10.20.0.2/24 dev eth0 && "
       "ip link set eth0 up && ip link set peer0 up && ip route add default via 10.20.0.1 dev eth0");
    ASSERT_EQ(getIpAddr(text), 0);
    EXPECT_EQ(text, ipAddress());
    EXPECT_EQ(text, "10.20.0.2");
    ASSERT_EQ(getGateWayIPAddr(text), 0);
    EXPECT_EQ(text, gateway());
    EXPECT_EQ(text, "10.20.0.1");
    ASSERT_EQ(getMacAddr(text), 0);
    EXPECT_EQ(text, macOf("eth0"));

    // Only "enp0s3": the default route's interface gives the hardware
    // address; of two default routes the last listed gives the gateway; an
    // IPv6 default route is not looked at.
    sh("ip link del eth0");
    sh("ip link add enp0s3 type veth peer name peer1 && ip link add spare type veth peer name peer2 && "
       "ip addr add 10.30.0.5/24 dev enp0s3 && ip link set enp0s3 up && ip link set peer1 up && "
       "ip route add default via 10.30.0.1 dev enp0s3 metric 100 && "
       "ip route add default via 10.30.0.254 dev enp0s3 metric 200");
    zqtest::run({"sh", "-c", "ip -6 route add default dev enp0s3 metric 1"});
    ASSERT_EQ(getIpAddr(text), 0);
    EXPECT_EQ(text, ipAddress());
    EXPECT_EQ(text, "10.30.0.5");
    ASSERT_EQ(getGateWayIPAddr(text), 0);
    EXPECT_EQ(text, gateway());
    EXPECT_EQ(text, "10.30.0.254");
    ASSERT_EQ(getMacAddr(text), 0);
    EXPECT_EQ(text, macOf("enp0s3"));
    EXPECT_NE(text, macOf("peer1"));

    // No default route: the first interface other than loopback with a
    // hardware address.
    sh("ip route flush table main");
    ASSERT_EQ(getGateWayIPAddr(text), 0);
    EXPECT_EQ(text, "");
    ASSERT_EQ(getMacAddr(text), 0);
    const std::string first = trim(sh("ip -o link show | grep -v ': lo:' | head -n1 | cut -d: -f2 | cut -d@ -f1"));
    EXPECT_EQ(text, macOf(first));
    sh("ip link del enp0s3 && ip link del spare");
}

}  // namespace
