// Profile storage under Windows (run under Wine by `make bench-win`): a slot
// load and a profile save with the service's INI engine, beside the same
// reads and writes made with the platform's INI functions, in one run.
// Targets: the load at least as fast as the platform's reads, the save no
// slower than the platform's writes (ratios at or below 1).
#include "storage/paths.h"
#include "base/wstr.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"
#include "storage/profile_data.h"
#include "storage/profile_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {
namespace {

using win32::W;

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring PartKey(int part) {
    return W(FormatW(u"BUTTON_INFO_PART%d", part + 1));
}
std::wstring ColorKey(int i) {
    return W(FormatW(u"LIGHT_DATA_%d", i));
}
std::wstring LinkKey(int i) {
    return W(FormatW(u"LinkExe%d", i));
}
UINT PartSize(int part) {
    return part == 11 ? 1392 : 13920;
}

// The slot load with the platform's functions: the name, then the same reads.
void PlatformLoad(const std::wstring& path, const wchar_t* name, PROFILE_DATA& p,
                  bool writeName = true) {
    if (writeName) {
        WritePrivateProfileStringW(L"GROUP", L"CurrentProfileName", name, path.c_str());
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    }
    std::vector<wchar_t> buf(2048);
    for (int i = 0; i < kLinkExeCount; ++i) {
        GetPrivateProfileStringW(L"GROUP", LinkKey(i).c_str(), L"", buf.data(), 2048, path.c_str());
        CopyToField(p.LinkExe[i], win32::U16(buf.data()));
    }
    std::memset(&p.Light, 0, 4);
    GetPrivateProfileStructW(L"GROUP", L"LIGHT_INFO", &p.Light, sizeof p.Light, path.c_str());
    for (int i = 0; i < kColorSetCount; ++i)
        GetPrivateProfileStructW(L"GROUP", ColorKey(i).c_str(), &p.Colors[i], sizeof p.Colors[i],
                                 path.c_str());
    for (int part = 0; part < 12; ++part)
        GetPrivateProfileStructW(L"GROUP", PartKey(part).c_str(), &p.Buttons[part * 10],
                                 PartSize(part), path.c_str());
}

// The save with the platform's functions: each value written and flushed.
void PlatformSave(const std::wstring& path, const wchar_t* name, const PROFILE_DATA& p) {
    auto flush = [&] { WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str()); };
    WritePrivateProfileStringW(L"GROUP", L"CurrentProfileName", name, path.c_str());
    flush();
    for (int i = 0; i < kLinkExeCount; ++i) {
        WritePrivateProfileStringW(L"GROUP", LinkKey(i).c_str(), W(FieldText(p.LinkExe[i])).c_str(),
                                   path.c_str());
        flush();
    }
    WritePrivateProfileStructW(L"GROUP", L"LIGHT_INFO", const_cast<LIGHT_INFO*>(&p.Light),
                               sizeof p.Light, path.c_str());
    flush();
    for (int i = 0; i < kColorSetCount; ++i) {
        WritePrivateProfileStructW(L"GROUP", ColorKey(i).c_str(),
                                   const_cast<LIGHT_DATA*>(&p.Colors[i]), sizeof p.Colors[i],
                                   path.c_str());
        flush();
    }
    for (int part = 0; part < 12; ++part) {
        WritePrivateProfileStructW(L"GROUP", PartKey(part).c_str(),
                                   const_cast<BUTTON_INFO*>(&p.Buttons[part * 10]), PartSize(part),
                                   path.c_str());
        flush();
    }
}

void FillProfile(PROFILE_DATA& p) {
    std::memset(&p, 0, sizeof p);
    auto* bytes = reinterpret_cast<unsigned char*>(p.Buttons);
    for (std::size_t i = 0; i < sizeof p.Buttons; ++i)
        bytes[i] = static_cast<unsigned char>(i * 31 + 7);
    for (int key = 0; key < kKeyCount; ++key)
        CopyToField(p.Buttons[key].LaunchPath, FormatW(u"C:\\Tools\\tool%d.exe", key));
    for (int s = 0; s < kColorSetCount; ++s) {
        CopyToField(p.Colors[s].LightName, FormatW(u"Set %d", s));
        for (int key = 0; key < kKeyCount; ++key)
            p.Colors[s].KeyColor[key] = static_cast<std::uint32_t>(key * 0x010203 + s) & 0xFFFFFF;
    }
    for (int i = 0; i < kLinkExeCount; ++i)
        CopyToField(p.LinkExe[i], FormatW(u"C:\\Program Files\\Game %d\\game.exe", i));
    p.Light.Effect = 19;
    p.Light.EffectLevel = 3;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int Run() {
    win32::InstallWin32Platform();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring data =
        std::wstring(temp) + L"orv-bench-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(data.c_str(), nullptr);
    CreateDirectoryW((data + L"Profiles").c_str(), nullptr);
    CopyToField(g_szDataDir, win32::U16(data));

    auto settings = std::make_unique<SETTING_INFO>();
    std::memset(settings.get(), 0, sizeof *settings);
    FillProfile(settings->Current);
    const std::wstring oursPath = data + L"Profiles\\Ours.ini";
    const std::wstring theirsPath = data + L"Profiles\\Theirs.ini";
    SaveProfileFile(u"Ours", settings->Current);
    HANDLE h = CreateFileW(theirsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written;
    WriteFile(h, "\xFF\xFE", 2, &written, nullptr);
    CloseHandle(h);
    PlatformSave(theirsPath, L"Theirs", settings->Current);

    const int rounds = 40;
    std::vector<double> ourLoad, theirLoad, theirReads, ourSave, theirSave;
    for (int round = 0; round < rounds; ++round) {
        double t0 = NowMs();
        ClearProfile(*settings);
        LoadProfileFile(u"Ours", settings->Current);
        ValidateProfile(*settings);
        double t1 = NowMs();
        ClearProfile(*settings);
        PlatformLoad(theirsPath, L"Theirs", settings->Current);
        ValidateProfile(*settings);
        double t2 = NowMs();
        ClearProfile(*settings);
        PlatformLoad(theirsPath, L"Theirs", settings->Current, false);
        ValidateProfile(*settings);
        theirReads.push_back(NowMs() - t2);
        t2 = NowMs();
        // Each save carries a change, as after a lighting change.
        settings->Current.Light.EffectLevel = settings->Current.Light.EffectLevel % 5 + 1;
        SaveProfileFile(u"Ours", settings->Current);
        double t3 = NowMs();
        PlatformSave(theirsPath, L"Theirs", settings->Current);
        double t4 = NowMs();
        ourLoad.push_back(t1 - t0);
        theirLoad.push_back(t2 - t1);
        ourSave.push_back(t3 - t2);
        theirSave.push_back(t4 - t3);
    }

    double ol = Median(ourLoad), tl = Median(theirLoad), os = Median(ourSave),
           ts = Median(theirSave);
    std::printf("profile storage, %d rounds, medians (full profile: 111 keys, 5 colour sets)\n",
                rounds);
    std::printf("  slot load  engine %8.3f ms   platform INI functions %8.3f ms   ratio %.2f\n", ol,
                tl, ol / tl);
    double tr = Median(theirReads);
    std::printf("  slot load  engine %8.3f ms   platform reads alone   %8.3f ms   ratio %.2f"
                " (the same reads without the name write and flush)\n",
                ol, tr, ol / tr);
    std::printf("  slot save  engine %8.3f ms   platform INI functions %8.3f ms   ratio %.2f\n", os,
                ts, os / ts);
    bool ok = ol <= tl && ol <= tr && os <= ts;
    std::printf("  %s\n", ok ? "targets met" : "TARGET MISSED");

    for (const wchar_t* name : {L"Profiles\\Ours.ini", L"Profiles\\Theirs.ini"})
        DeleteFileW((data + name).c_str());
    RemoveDirectoryW((data + L"Profiles").c_str());
    RemoveDirectoryW(data.c_str());
    return ok ? 0 : 1;
}

} // namespace
} // namespace orv

int main() {
    return orv::Run();
}
