// The host's TCP sockets behind the simulated WinSock, kept apart from the
// device's declarations: the host headers define the same names as macros.
// Errors come back as WinSock error codes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim::host {

// A blocking TCP socket, or -1.
int openTcpSocket(int* error);
// `address` in host byte order.
bool connectTo(int socket, uint32_t address, uint16_t port, int* error);
// Count, or -1.
long sendBytes(int socket, const void* bytes, size_t size, int* error);
long receiveBytes(int socket, void* buffer, size_t size, int* error);
bool setTimeout(int socket, bool receiving, uint32_t milliseconds, int* error);
void closeSocket(int socket);
// The forms inet_addr takes: a, a.b, a.b.c, a.b.c.d with decimal, octal or hex parts.
bool parseDottedQuad(const char* text, uint32_t* address);

} // namespace sim::host
