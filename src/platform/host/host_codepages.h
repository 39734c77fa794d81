// Code-page conversion of the host build, through the C library's iconv.
#pragma once

#include "platform/codepage.h"

#include <map>
#include <mutex>

namespace orv::host {

class HostCodePages final : public ICodePages {
public:
    HostCodePages() = default;
    ~HostCodePages() override;
    HostCodePages(const HostCodePages&) = delete;
    HostCodePages& operator=(const HostCodePages&) = delete;

    int ToWide(std::uint32_t codePage, const char* data, int count, char16_t* out,
               int capacity) override;

    // The C library's name for a code page; null when the host has none. Code
    // page 0, the system's ANSI code page, is windows-1252 here.
    static const char* IconvName(std::uint32_t codePage);

private:
    void* Open(std::uint32_t codePage); // an iconv descriptor, or null

    std::mutex m_lock;
    std::map<std::uint32_t, void*> m_open; // null entries: the host cannot convert
};

} // namespace orv::host
