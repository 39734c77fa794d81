// Code-page conversion of the host build, through the C library's iconv.
#pragma once

#include "platform/codepage.h"

#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace orv::host {

class HostCodePages final : public ICodePages {
public:
    HostCodePages() = default;
    ~HostCodePages() override;
    HostCodePages(const HostCodePages&) = delete;
    HostCodePages& operator=(const HostCodePages&) = delete;

    int ToWide(std::uint32_t codePage, const char* data, int count, char16_t* out,
               int capacity) override;
    bool FromWide(std::uint32_t codePage, std::u16string_view text, std::string& out) override;

    // The code page that stands for the system's ANSI code page (code page 0):
    // 1252 unless a test plays a system of another language.
    void SetAnsiCodePage(std::uint32_t codePage);
    std::uint32_t AnsiCodePage();

    // The C library's name for a numbered code page; null when the host has none.
    static const char* IconvName(std::uint32_t codePage);

private:
    struct Converters {
        void* toWide = nullptr; // iconv descriptors; null: the host cannot convert
        void* fromWide = nullptr;
    };
    const Converters& Open(std::uint32_t codePage);
    std::uint32_t Resolve(std::uint32_t codePage) const {
        return codePage == kAnsiCodePage ? m_ansiCodePage : codePage;
    }
    int ToWideLocked(std::uint32_t codePage, const char* data, int count, char16_t* out,
                     int capacity);

    std::mutex m_lock;
    std::uint32_t m_ansiCodePage = 1252;
    std::map<std::uint32_t, Converters> m_open;
};

} // namespace orv::host
