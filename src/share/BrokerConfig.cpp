#include "share/BrokerConfig.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace share {

namespace {

bool AllDigits(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

std::optional<BrokerAddress> ParseBrokerUrl(const std::string& url, std::string& error)
{
    const std::string shape = "the broker address must be mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
    BrokerAddress address;
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
        address.port = 1883;
    } else if (url.rfind("mqtts://", 0) == 0) {
        rest = url.substr(8);
        address.tls = true;
        address.port = 8883;
    } else {
        error = shape + ", not \"" + url + "\"";
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back(); // a trailing slash is harmless; a path is not
    std::string portText;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) {
            error = shape + ": an IPv6 address in brackets lacks its ']'";
            return std::nullopt;
        }
        address.host = rest.substr(1, close - 1);
        const std::string after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                error = shape + ": unexpected \"" + after + "\" after the address";
                return std::nullopt;
            }
            portText = after.substr(1);
            if (portText.empty()) {
                error = shape + ": the port after ':' is missing";
                return std::nullopt;
            }
        }
    } else {
        const std::size_t colon = rest.find(':');
        address.host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            portText = rest.substr(colon + 1);
            if (portText.empty()) {
                error = shape + ": the port after ':' is missing";
                return std::nullopt;
            }
        }
    }
    if (address.host.empty()) {
        error = shape + ": the host is missing";
        return std::nullopt;
    }
    for (char c : address.host) {
        if (c == '/' || c == '@' || c == '?' || c == '#' || c == ' ') {
            error = shape + ": \"" + address.host + "\" is no host name";
            return std::nullopt;
        }
    }
    if (!portText.empty()) {
        if (!AllDigits(portText) || portText.size() > 5 || std::stoi(portText) < 1 || std::stoi(portText) > 65535) {
            error = shape + ": \"" + portText + "\" is no port (1 to 65535)";
            return std::nullopt;
        }
        address.port = std::stoi(portText);
    }
    return address;
}

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "the password file " + path + " is not a plain file";
        return false;
    }
    if ((info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        error = "the password file " + path + " may be read by others; allow only its owner (chmod 600)";
        return false;
    }
    std::ifstream in(path);
    if (!in) {
        error = "cannot read the password file " + path;
        return false;
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty()) {
        error = "the password file " + path + " is empty";
        return false;
    }
    password = line;
    return true;
}

bool ValidStationName(const std::string& name)
{
    if (name.empty() || name.size() > 32)
        return false;
    for (char c : name) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

std::string StationPrefix(const std::string& name)
{
    return "vorlinq/v1/" + name + "/";
}

} // namespace share
