// Starting and stopping the loopback HTTPS command server, for code that
// should not see the server's (asio) headers.
#pragma once

#include <chrono>
#include <string>

class IQuillet;

// Runs the server on the first of ports that can be bound on 127.0.0.1,
// blocking until DMServerWrapper_StopServer. 0 after an orderly stop; 100
// when a server already runs; -1 bad arguments or no port could be bound.
int DMServerWrapper_StartServer(IQuillet* quillet, const unsigned short* ports, int count, unsigned short& chosenPort);
// Stops the server and waits until it has released everything; safe from
// any thread but the server's own, and when no server runs.
void DMServerWrapper_StopServer();
// The port being served, once listening; 0 when the timeout passes first.
unsigned short DMServerWrapper_WaitListening(std::chrono::milliseconds timeout);

// A request (head and body) larger than this gets 400 without reading on;
// commands carry a few KB at most.
inline constexpr size_t kDMMaxRequestBytes = 64 * 1024;
// A connection that has not finished within this time is closed.
inline constexpr std::chrono::milliseconds kDMSessionTimeout{30000};
// At most this many connections are served at once; beyond it a new one
// takes the place of the oldest.
inline constexpr size_t kDMMaxSessions = 512;

// Settings read when the server starts (tests shorten the timeout and point
// at their own container; the daemon keeps the defaults).
void DMServerWrapper_SetSessionTimeout(std::chrono::milliseconds timeout);
void DMServerWrapper_SetCertContainerPath(const std::string& path);

// From the kernel's table of IPv4 sockets: 1 free, 0 in use, -1 bad address.
int IsOpenPossiblePort(const char* address, unsigned short port);
int IsOpenPossiblePortIn(const char* table, const char* address, unsigned short port);
