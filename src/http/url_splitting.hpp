#pragma once
// Taking a request address apart with plain text rules: the host ends only at a
// "/", the scheme is "https://" at the very start or "http://" anywhere.
#include "text/text.hpp"

// The host, lower-cased, without scheme; with ":port" only when `keep_port`.
Text url_host(const Text& address, bool keep_port = false);

// The explicit port, else 443 when the address starts with "https", else 80.
int url_port(const Text& address);

// From the first "/" after the host to the end, letter case kept; "/" when none.
Text url_path(const Text& address);

// The bytes before the first `marker`; empty when the marker does not occur.
Text text_before(const Text& text, const Text& marker);
