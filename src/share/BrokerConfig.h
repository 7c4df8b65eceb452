#pragma once
// Where the broker is and how to log in to it: the --broker options, parsed
// and checked without touching the network. Free of the MQTT library, so the
// command line knows these options in every build.

#include <optional>
#include <string>

namespace share {

struct BrokerAddress {
    bool tls = false; // mqtts://
    std::string host;
    int port = 0;
};

// mqtt://HOST[:PORT] (port 1883 by default) or mqtts://HOST[:PORT] (8883).
// HOST may be a name, an IPv4 address or an IPv6 address in brackets.
// Anything else gives nullopt and says why in `error`.
std::optional<BrokerAddress> ParseBrokerUrl(const std::string& url, std::string& error);

struct BrokerLogin {
    std::string url;      // --broker
    std::string caFile;   // --broker-ca: checks the broker's certificate (mqtts only)
    std::string certFile; // --broker-cert: client certificate (mqtts only)
    std::string keyFile;  // --broker-key: its private key
    std::string user;     // --broker-user
    std::string password; // read from --broker-password-file, or asked for; never stored in the settings
};

// The first line of a password file, without its line end. Refused when the
// group or others may read the file, by its mode or through its ACL (an ACL
// entry that lets only our own user read it is fine): a password that
// everybody can read is no secret. A file under $CREDENTIALS_DIRECTORY is
// systemd's to guard and taken as it is.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& error);

// Empty when `user` may name a key topic (vorlinq/v1/NAME/key/USER);
// otherwise why not: '/', '+' and '#' mean something in a topic.
std::string TopicUserProblem(const std::string& user);

// A warning when the login sends a password unencrypted (mqtt://) to a host
// that is not this computer; empty otherwise.
std::string PlainTextPasswordWarning(const BrokerLogin& login);

// A station's name: letters, digits, '-' and '_', 1 to 32 characters.
bool ValidStationName(const std::string& name);

// The topic prefix of a station: "vorlinq/v1/NAME/".
std::string StationPrefix(const std::string& name);

} // namespace share
