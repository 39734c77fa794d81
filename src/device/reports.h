// The keyboard's output reports, by name: every command group and command
// byte, the collection each report goes to, its size and the fixed pause
// that gives the keyboard time to act. The command set, the upload and the
// simulated keyboard all take their bytes from here; docs/keyboard-reports.md
// is the reference page.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orv {

// Byte 0 of an output report: the command group.
constexpr std::uint8_t kGroupSettings = 0x07;       // settings and queries
constexpr std::uint8_t kGroupSlot = 0x0A;           // slot selection and slot contents
constexpr std::uint8_t kGroupKeyMatrixChunk = 0x0B; // byte 1: chunk number, from 1
constexpr std::uint8_t kGroupMacroChunk = 0x0C;     // byte 1: chunk number, from 1

// Byte 1 of the settings group.
constexpr std::uint8_t kCmdPollingRate = 0x01;   // 07 01 m: m = 1 << rate
constexpr std::uint8_t kCmdKeyMode = 0x11;       // 07 11 k
constexpr std::uint8_t kCmdFirmwareQuery = 0x80; // 07 80; the reply's bytes 2 and 3
constexpr std::uint8_t kCmdSlotQuery = 0x81;     // 07 81, 264 bytes; the reply's byte 2

// Byte 1 of the slot group (s = slot, p = matrix position).
constexpr std::uint8_t kCmdSelectSlot = 0x03;      // 0A 03 s
constexpr std::uint8_t kCmdKeyMatrixHeader = 0x04; // 0A 04 s, then the key-matrix chunks
constexpr std::uint8_t kCmdMacroHeader = 0x05;     // 0A 05 s p+1 01, then the macro chunks
constexpr std::uint8_t kCmdLightEffect = 0x0A;     // 0A 0A s effect
constexpr std::uint8_t kCmdLightColor = 0x0B;      // 0A 0B s 04 R G B
constexpr std::uint8_t kCmdKeyColor = 0x0C;        // 0A 0C s p R G B
constexpr std::uint8_t kCmdPrepareUpload = 0x0F;   // 0A 0F, before a full upload
constexpr std::uint8_t kLightColorMarker = 0x04;   // byte 3 of 0A 0B
constexpr std::uint8_t kMacroHeaderMarker = 0x01;  // byte 4 of 0A 05

// The keyboard, and the collections the device connection asks the library for.
constexpr std::uint32_t kKeyboardVendorId = 0x258A;
constexpr std::uint32_t kKeyboardProductId = 0x0090;
constexpr std::uint16_t kKeyboardUsagePage = 0xFF00;
constexpr std::uint16_t kKeyboardFirstUsage = 1;
constexpr std::uint32_t kKeyboardCollections = 5; // usages 1..5

// Collections the reports go to, by usage (usage page 0xFF00).
constexpr std::uint16_t kUsageCommands = 2;
constexpr std::uint16_t kUsageKeyMatrix = 3;
constexpr std::uint16_t kUsageMacros = 4;

// Report sizes.
constexpr std::uint32_t kCommandReportSize = 8;
constexpr std::uint32_t kSlotQuerySize = 264;

// Chunked transfers: six data bytes after the group and the chunk number.
constexpr int kChunkBytes = 6;
constexpr int kKeyMatrixChunks = 23; // 138 bytes
constexpr int kMacroChunks = 41;     // the 242-byte block and four zero bytes

// Fixed pauses of the command set, in milliseconds.
constexpr std::uint32_t kCommandDelay = 20;         // after most commands (m_nCommandDelay)
constexpr std::uint32_t kFirmwareQueryPause = 3000; // before the firmware query
constexpr std::uint32_t kSlotQueryPause = 100;      // between the slot query and its read
constexpr std::uint32_t kLightingPause = 200;       // after 0A 0A, 0A 0B and 0A 0F
constexpr std::uint32_t kKeyColorPause = 20;        // after 0A 0C
constexpr std::uint32_t kChunkHeaderPause = 200;    // after 0A 04 and 0A 05
constexpr std::uint32_t kChunkPause = 60;           // after every chunk

// One kind of output report, as the traffic logs name it.
struct KeyboardReport {
    const char* name;      // one word, for the logs
    std::uint8_t group;    // byte 0
    std::uint8_t command;  // byte 1; kAnyCommand for the chunks, whose byte 1 counts
    std::uint16_t usage;   // the collection it is written to
    std::uint32_t size;    // bytes written
    std::uint32_t pauseMs; // the fixed pause after it (the firmware query's comes first)
};
constexpr std::uint8_t kAnyCommand = 0xFF;

// clang-format off
constexpr KeyboardReport kKeyboardReports[] = {
    {"firmware-query",    kGroupSettings,       kCmdFirmwareQuery,   kUsageCommands,  kCommandReportSize, kFirmwareQueryPause},
    {"slot-query",        kGroupSettings,       kCmdSlotQuery,       kUsageCommands,  kSlotQuerySize,     kSlotQueryPause},
    {"polling-rate",      kGroupSettings,       kCmdPollingRate,     kUsageCommands,  kCommandReportSize, kCommandDelay},
    {"key-mode",          kGroupSettings,       kCmdKeyMode,         kUsageCommands,  kCommandReportSize, kCommandDelay},
    {"select-slot",       kGroupSlot,           kCmdSelectSlot,      kUsageCommands,  kCommandReportSize, kCommandDelay},
    {"key-matrix-header", kGroupSlot,           kCmdKeyMatrixHeader, kUsageCommands,  kCommandReportSize, kChunkHeaderPause},
    {"macro-header",      kGroupSlot,           kCmdMacroHeader,     kUsageCommands,  kCommandReportSize, kChunkHeaderPause},
    {"light-effect",      kGroupSlot,           kCmdLightEffect,     kUsageCommands,  kCommandReportSize, kLightingPause},
    {"light-color",       kGroupSlot,           kCmdLightColor,      kUsageCommands,  kCommandReportSize, kLightingPause},
    {"key-color",         kGroupSlot,           kCmdKeyColor,        kUsageCommands,  kCommandReportSize, kKeyColorPause},
    {"prepare-upload",    kGroupSlot,           kCmdPrepareUpload,   kUsageCommands,  kCommandReportSize, kLightingPause},
    {"key-matrix-chunk",  kGroupKeyMatrixChunk, kAnyCommand,         kUsageKeyMatrix, kCommandReportSize, kChunkPause},
    {"macro-chunk",       kGroupMacroChunk,     kAnyCommand,         kUsageMacros,    kCommandReportSize, kChunkPause},
};
// clang-format on

// The kind of report these bytes are, by their first two; null when none is.
constexpr const KeyboardReport* FindKeyboardReport(const std::uint8_t* bytes, std::size_t length) {
    if (length < 2)
        return nullptr;
    for (const KeyboardReport& report : kKeyboardReports) {
        if (report.group == bytes[0] &&
            (report.command == kAnyCommand || report.command == bytes[1]))
            return &report;
    }
    return nullptr;
}

} // namespace orv
