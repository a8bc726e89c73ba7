// The "netlogon ping": a connectionless LDAP (CLDAP, UDP port 389) search of
// a domain controller's root DSE for the attribute Netlogon, answered with a
// NETLOGON_SAM_LOGON_RESPONSE_EX that names the forest, the domain, the
// controller and the sites. It needs no credentials and costs one datagram
// each way, which is why discovery asks it rather than binding over TCP.
//
// Encoding and decoding only; no sockets. Replies come from the network, so
// the decoder takes any bytes and refuses what is not a well-formed answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvauth_base {

// What a controller says about itself and its domain. Names are as sent:
// DNS names without a trailing dot, NetBIOS names in the controller's case.
struct NetlogonFacts {
    std::uint32_t flags = 0;  // DS_*_FLAG bits: PDC, GC, LDAP, DS, KDC, ...
    std::string forest;
    std::string domain;              // DNS domain name
    std::string controller;          // the answering controller's DNS host name
    std::string netbiosDomain;
    std::string netbiosController;
    std::string controllerSite;
    std::string clientSite;          // the site of the address the ping came from
};

// The CLDAP search request, message id `messageId` (1 to 2^31-1), with the
// filter (&(DnsDomain=<domain>)(NtVer=\06\00\00\00)): version 5 and 5EX,
// which asks for the extended response without the controller's address.
std::string EncodeNetlogonPing(std::uint32_t messageId, const std::string& domain);

// Reads a CLDAP reply datagram: an LDAP search result entry with message id
// `messageId` whose Netlogon value is a SAM logon response (extended form).
// False for anything else, including truncated and malformed replies.
bool DecodeNetlogonReply(const unsigned char* data, std::size_t size, std::uint32_t messageId, NetlogonFacts& facts);

// The Netlogon value itself: NETLOGON_SAM_LOGON_RESPONSE_EX (opcode 23, or
// 25 when a user was asked for and is unknown), its names in the compressed
// DNS form whose pointers count from the start of the value.
bool ParseSamLogonResponseEx(const unsigned char* data, std::size_t size, NetlogonFacts& facts);

}  // namespace orvauth_base
