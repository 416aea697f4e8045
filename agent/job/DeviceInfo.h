// The device facts a log-in or sign result carries: kernel, an IPv4 address,
// the default gateway, a hardware address. Each probe fills its text and
// gives 0, or -1 (the caller puts its fallback in place).
#pragma once

#include <string>

// "<system> <release>" of uname.
int getlinuxkever(std::string& out);
// The first IPv4 address of an interface other than loopback; left empty
// (still 0) when there is none.
int getIpAddr(std::string& out);
// The gateway of the last IPv4 default route of the main table; empty when
// there is none.
int getGateWayIPAddr(std::string& out);
// "XX:XX:XX:XX:XX:XX\n" (upper-case) of "eth0", else of the default route's
// interface, else of the first interface other than loopback with a
// hardware address; six zero pairs when there is none.
int getMacAddr(std::string& out);

// The interface and gateway of the last IPv4 default route of the main
// table (empty texts when there is none): -1 when the route dump fails.
int ReadDefaultRoute(std::string& gateway, std::string& interfaceName);
