#include "ras/service/ReportOnce.h"

#include <cstdio>
#include <mutex>
#include <set>

void ReportOnce(const std::string& key, const std::string& message)
{
    static std::mutex lock;
    static std::set<std::string> reported;
    std::lock_guard<std::mutex> guard(lock);
    if (reported.insert(key).second)
        std::fprintf(stderr, "%s\n", message.c_str());
}
