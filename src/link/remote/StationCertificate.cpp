#include "link/remote/StationCertificate.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <memory>

namespace remote {

namespace {

bool IsAddress(const std::string& name)
{
    unsigned char bytes[16];
    return inet_pton(AF_INET, name.c_str(), bytes) == 1 || inet_pton(AF_INET6, name.c_str(), bytes) == 1;
}

std::string AddressText(const ASN1_OCTET_STRING* ip)
{
    char text[INET6_ADDRSTRLEN] = {};
    const int family = ip->length == 4 ? AF_INET : ip->length == 16 ? AF_INET6 : -1;
    if (family < 0 || !inet_ntop(family, ip->data, text, sizeof text))
        return "an unreadable address";
    return text;
}

void Append(std::string& list, const std::string& name)
{
    list += (list.empty() ? "" : ", ") + name;
}

std::string NamesOf(X509* cert)
{
    std::string names;
    using Names = std::unique_ptr<GENERAL_NAMES, decltype(&GENERAL_NAMES_free)>;
    const Names alt(static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr)),
                    &GENERAL_NAMES_free);
    for (int i = 0; alt && i < sk_GENERAL_NAME_num(alt.get()); ++i) {
        const GENERAL_NAME* entry = sk_GENERAL_NAME_value(alt.get(), i);
        if (entry->type == GEN_DNS)
            Append(names, std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(entry->d.dNSName)),
                                      static_cast<std::size_t>(ASN1_STRING_length(entry->d.dNSName))));
        else if (entry->type == GEN_IPADD)
            Append(names, AddressText(entry->d.iPAddress));
    }
    if (!names.empty())
        return names;
    char common[256] = {};
    if (X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, common, sizeof common) > 0)
        return common;
    return "no name at all";
}

} // namespace

NameCheck CheckStationName(const std::string& pem, const std::string& name)
{
    using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;
    using Cert = std::unique_ptr<X509, decltype(&X509_free)>;
    const Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    const Cert cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr, &X509_free);
    NameCheck check;
    if (!cert) {
        check.names = "an unreadable certificate";
        return check;
    }
    check.forServer = X509_check_purpose(cert.get(), X509_PURPOSE_SSL_SERVER, 0) == 1;
    check.matches = IsAddress(name) ? X509_check_ip_asc(cert.get(), name.c_str(), 0) == 1
                                    : X509_check_host(cert.get(), name.data(), name.size(), 0, nullptr) == 1;
    if (!check.matches)
        check.names = NamesOf(cert.get());
    return check;
}

std::string VerifyFailure(const std::string& opensslText, const std::string& caFile)
{
    const auto is = [&](int code) { return opensslText == X509_verify_cert_error_string(code); };
    if (is(X509_V_ERR_CERT_HAS_EXPIRED))
        return "has expired.";
    if (is(X509_V_ERR_CERT_NOT_YET_VALID))
        return "is not valid yet: is the clock of this computer or of the station wrong?";
    if (is(X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY) || is(X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT) ||
        is(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT) || is(X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN))
        return "is not signed by the CA in " + caFile + ".";
    if (is(X509_V_ERR_CERT_SIGNATURE_FAILURE))
        return "carries a signature that does not match the CA in " + caFile + ".";
    return "did not verify against the CA file " + caFile + (opensslText.empty() ? "" : ": " + opensslText) + ".";
}

} // namespace remote
