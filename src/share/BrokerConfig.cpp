#include "share/BrokerConfig.h"

#include <sys/stat.h>
#ifdef VORLINQ_HAVE_ACL
#include <acl/libacl.h>
#include <sys/acl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>
#include <algorithm>

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

// True when `path` lies in the directory that systemd handed us our
// credentials in.
bool UnderCredentialsDirectory(const std::string& path)
{
    const char* dir = std::getenv("CREDENTIALS_DIRECTORY");
    if (!dir || !*dir)
        return false;
    std::error_code error;
    const std::filesystem::path base = std::filesystem::weakly_canonical(dir, error);
    if (error)
        return false;
    const std::filesystem::path file = std::filesystem::weakly_canonical(path, error);
    if (error)
        return false;
    const auto [end, at] = std::mismatch(base.begin(), base.end(), file.begin(), file.end());
    return end == base.end() && at != file.end();
}

#ifdef VORLINQ_HAVE_ACL
// Whether anyone but the owner and our own user may read the file through
// its ACL (named users and groups, the owning group, others), each entry
// limited by the mask as the kernel does. Nullopt when there is no ACL to
// read (no extended ACL, or a file system without them).
std::optional<bool> OthersMayReadByAcl(const std::string& path)
{
    if (acl_extended_file(path.c_str()) != 1)
        return std::nullopt;
    acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (!acl)
        return std::nullopt;
    bool maskReads = true;
    bool others = false;
    struct Entry {
        acl_tag_t tag;
        bool reads;
        uid_t uid;
    };
    std::vector<Entry> entries;
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        acl_permset_t permset = nullptr;
        if (acl_get_tag_type(entry, &tag) != 0 || acl_get_permset(entry, &permset) != 0)
            continue;
        const bool reads = acl_get_perm(permset, ACL_READ) == 1;
        uid_t uid = 0;
        if (tag == ACL_USER) {
            if (void* qualifier = acl_get_qualifier(entry)) {
                uid = *static_cast<uid_t*>(qualifier);
                acl_free(qualifier);
            }
        }
        if (tag == ACL_MASK)
            maskReads = reads;
        else
            entries.push_back({tag, reads, uid});
    }
    acl_free(acl);
    for (const Entry& e : entries) {
        switch (e.tag) {
        case ACL_USER:
            others |= e.reads && maskReads && e.uid != ::geteuid();
            break;
        case ACL_GROUP_OBJ:
        case ACL_GROUP:
            others |= e.reads && maskReads;
            break;
        case ACL_OTHER:
            others |= e.reads;
            break;
        default:
            break;
        }
    }
    return others;
}
#endif

// True when the group or others may read the file.
bool OthersMayRead(const std::string& path, const struct stat& info)
{
#ifdef VORLINQ_HAVE_ACL
    if (const std::optional<bool> byAcl = OthersMayReadByAcl(path))
        return *byAcl;
#else
    (void)path;
#endif
    return (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool Loopback(const std::string& host)
{
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
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
    if (!UnderCredentialsDirectory(path) && OthersMayRead(path, info)) {
        error = "the password file " + path +
                " may be read by others; allow only its owner (chmod 600, and setfacl -b where it has an ACL)";
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

std::string TopicUserProblem(const std::string& user)
{
    if (user.find_first_of("/+#") == std::string::npos)
        return {};
    return "the broker user name \"" + user +
           "\" cannot key: keys go to a topic named after it, where '/', '+' and '#' are not plain characters";
}

std::string PlainTextPasswordWarning(const BrokerLogin& login)
{
    std::string error;
    const std::optional<BrokerAddress> address = ParseBrokerUrl(login.url, error);
    if (!address || address->tls || login.password.empty() || Loopback(address->host))
        return {};
    return "The broker password goes unencrypted to " + address->host +
           " (mqtt://): anyone on the network between can read it. Use mqtts://.";
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
