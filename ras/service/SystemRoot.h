#pragma once

#include <string>
#include <string_view>

// The folder the pppd backend reads the system below: /etc/ppp/peers, the pid files in /run,
// /proc and /sys. It is "/" on a real machine; tests put a tree of fake files there.
// SystemPath("/etc/ppp/peers") is that path below the root.
std::string SystemPath(std::string_view path);

// The root as set in ServiceSeams().SystemRoot, else $ZELTIX_SYSTEM_ROOT, else "" (meaning "/").
std::string SystemRoot();
