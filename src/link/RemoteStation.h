#pragma once
// Where a remote station is and how to reach it: an RFC 2217 serial server
// (ser2net, or `vorlinq --serve-simulator`) on the computer next to the
// amplifier. Plain text, or TLS with the server's certificate checked against
// a CA file and its names against the station's, and, for a server that
// demands one, a client certificate.
//
// Built without the network library as well: the command line, the settings
// and the connection dialog handle a station whatever the build.

#include <optional>
#include <string>

struct RemoteStation {
    std::string address; // HOST:PORT as the user wrote it; it is also the device's serial number
    bool tls = false;
    std::string caFile;   // checks the server's certificate; required with TLS
    std::string certFile; // client certificate and its key, both or neither
    std::string keyFile;
    // The name the server's certificate must carry; empty: the host of `address`.
    std::string serverName;

    bool operator==(const RemoteStation&) const = default;
};

struct HostPort {
    std::string host;
    int port = 0;
};

// "HOST:PORT", "[v6 address]:PORT", or with `defaultHost` set also a bare
// "PORT". Ports 1 to 65535 (0 too when `allowZero`: any free port). Null
// when the text is not such an address.
std::optional<HostPort> ParseHostPort(const std::string& text, const std::string& defaultHost = {},
                                      bool allowZero = false);

// Empty when the station can be tried; otherwise what is wrong with it, in a
// sentence for the user (no address, a bad address, TLS without a CA file, a
// certificate without its key).
std::string StationProblem(const RemoteStation& station);
