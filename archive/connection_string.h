// The text of a connection to the lab's archive server as the station handles it: a
// password never shown, and the string as libpq reads it the way the lab meant it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vanta::archive {

// `connection` with any password replaced by "***", for messages and logs: in a URI of
// either scheme in any case (after the user, up to the last "@" before the host; the
// parameters "password" and "sslpassword"), and in "key = value" text. A message that
// quotes a URI or a "password=" somewhere inside it is redacted alike.
std::string redactedUrl(std::string_view connection);

// `text` as redactedUrl leaves it, and every one of `secrets` replaced by "***" too.
std::string redactedText(std::string_view text, const std::vector<std::string>& secrets);

// `connection` as libpq reads it the way the lab meant it: the URI's scheme in lower case
// (libpq takes no other), and a raw "@" inside the user's part percent-encoded, so a
// password "pa@ss" is the password and not half of the host's name.
std::string connectionForLibpq(std::string_view connection);

// The password a URI or "key=value" connection string carries, or "".
std::string passwordIn(std::string_view connection);

// `connection` with each libpq option ("key=value") added that the lab's string does not
// set already: as URI parameters after "?"/"&" where it is a URI (in any case), else as
// "key=value" words. The lab's own choice always wins.
std::string withLibpqOptions(const std::string& connection, const std::vector<std::string>& options);

// The password as the connection string writes it (still percent-encoded in a URI), or "".
std::string passwordWritten(std::string_view connection);

}  // namespace vanta::archive
