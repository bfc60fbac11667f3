// An address taken apart: the host never reaches into the path, the path is
// the address's own tail, and a port is named only when the host has one.
#include "fuzz_check.hpp"
#include "http/url_splitting.hpp"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text address(reinterpret_cast<const char*>(data), size);

    const Text host = url_host(address);
    const Text host_and_port = url_host(address, true);
    check(host_and_port.find('/') == Text::npos, "the host holds no '/'", {{"address", address}});
    check(host.find(':') == Text::npos && host_and_port.starts_with(host),
          "the host without its port is the host and port cut at the first ':'",
          {{"address", address}, {"host", host}, {"with port", host_and_port}});
    check(host == lower_ascii(host), "the host is lower-cased", {{"host", host}});

    const Text path = url_path(address);
    check(path.starts_with("/") && (address.ends_with(path) || path == "/"),
          "the path starts with '/' and is the address's tail",
          {{"address", address}, {"path", path}});

    const int port = url_port(address);
    if (host_and_port.find(':') == Text::npos)
        check(port == 80 || port == 443, "without a port in the host the port is 80 or 443",
              {{"address", address}});
    return 0;
}
