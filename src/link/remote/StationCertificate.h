#pragma once
// Whose certificate the station showed: the check of its subject names
// against the name the user reaches the station by, and the cause of a
// certificate that did not verify, in words. OpenSSL stays inside.

#include <string>

namespace remote {

struct NameCheck {
    bool matches = false;
    // Fit for a server: no extendedKeyUsage, or one with serverAuth (an
    // operator's certificate, clientAuth only, is not).
    bool forServer = false;
    // The names the certificate carries (its subjectAltName entries, else its
    // common name), for the message when it does not match.
    std::string names;
};

// `pem` is the certificate; `name` a host name or an IPv4 or IPv6 address.
// An address must be among the certificate's IP entries; a host name among
// its DNS entries (wildcards as usual), or be its common name when it has no
// DNS entries, as `openssl s_client -verify_hostname` judges.
NameCheck CheckStationName(const std::string& pem, const std::string& name);

// Why a certificate did not verify, from OpenSSL's verification text: a
// phrase that completes "The certificate of the remote station X ...".
std::string VerifyFailure(const std::string& opensslText, const std::string& caFile);

} // namespace remote
