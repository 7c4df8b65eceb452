#include "link/RemoteStation.h"

#include <charconv>

std::optional<HostPort> ParseHostPort(const std::string& text, const std::string& defaultHost, bool allowZero)
{
    HostPort result;
    std::string portText;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return std::nullopt;
        result.host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string::npos) {
            if (defaultHost.empty())
                return std::nullopt;
            result.host = defaultHost;
            portText = text;
        } else {
            result.host = text.substr(0, colon);
            portText = text.substr(colon + 1);
            // A second colon outside brackets: an IPv6 address without them.
            if (result.host.find(':') != std::string::npos)
                return std::nullopt;
        }
    }
    if (result.host.empty() || portText.empty())
        return std::nullopt;
    for (const char c : result.host) {
        // Characters that would break the connection description, or that
        // no host name or address contains.
        if (c == ',' || c == '(' || c == ')' || c == '"' || c == ' ' || c == '\'' || c == '\\')
            return std::nullopt;
    }
    const char* end = portText.data() + portText.size();
    const auto [ptr, ec] = std::from_chars(portText.data(), end, result.port);
    if (ec != std::errc() || ptr != end || result.port > 65535 || result.port < (allowZero ? 0 : 1))
        return std::nullopt;
    return result;
}

std::string StationProblem(const RemoteStation& station)
{
    if (station.address.empty())
        return "No remote station is configured.";
    if (!ParseHostPort(station.address))
        return "The remote station address \"" + station.address + "\" is not HOST:PORT.";
    if (station.tls && station.caFile.empty())
        return "A TLS connection to " + station.address + " needs a CA file to check the server's certificate.";
    if (station.certFile.empty() != station.keyFile.empty())
        return "A client certificate needs both its certificate file and its key file.";
    for (const std::string* file : {&station.caFile, &station.certFile, &station.keyFile}) {
        if (file->find('"') != std::string::npos)
            return "The file name " + *file + " contains a double quote, which cannot be passed on.";
    }
    return {};
}
