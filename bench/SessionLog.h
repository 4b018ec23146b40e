#pragma once

#include <cstddef>
#include <fstream>
#include <string>

// A connection log that was never trimmed: session blocks as the program writes them.
inline const std::string SessionLogBlock = "[08.12.2026 14:03:22] Verbindung zu Provider aufgenommen!\r\n"
                                           "  DeviceName: Standard 56000 bps Modem\r\n"
                                           "  DeviceType: modem\r\n"
                                           "  IP Address: 192.168.0.5\r\n"
                                           "[08.12.2026 14:35:10] Verbindung zu Provider getrennt!\r\n"
                                           "\r\n";

// Writes at least size bytes of such blocks, a few at a time, so the process never holds them.
inline void WriteSessionLog(const std::string& path, std::size_t size)
{
    std::ofstream out(path, std::ios::binary);
    std::string chunk;
    for (int i = 0; i < 4096; ++i)
        chunk += SessionLogBlock;
    for (std::size_t written = 0; written < size; written += chunk.size())
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
}
