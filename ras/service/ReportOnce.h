#pragma once

#include <string>

// Writes the message to the standard error once for each key in this process: what the
// service cannot see (a peers folder it may not read, NetworkManager not answering) is said
// once, not at every poll.
void ReportOnce(const std::string& key, const std::string& message);
