// The keyboard's command set: every command is one or more short reports to
// one of the keyboard's collections, with fixed pauses that give the keyboard
// time to act. Nothing is retried. The bytes, collections and pauses are
// named in device/reports.h.
#include "device/usb_driver.h"

#include "platform/platform.h"

#include <cstring>

namespace orv {

namespace {

static_assert(kKeyMatrixChunks * kChunkBytes == kMatrixSize);
static_assert(kMacroChunks * kChunkBytes == kMacroBlockSize + 4);

int Result(bool ok) {
    return ok ? kCommandDone : kCommandFailed;
}

void SetColor(std::uint8_t* bytes, std::uint32_t color) {
    bytes[0] = static_cast<std::uint8_t>(color & 0xFF);         // red
    bytes[1] = static_cast<std::uint8_t>((color >> 8) & 0xFF);  // green
    bytes[2] = static_cast<std::uint8_t>((color >> 16) & 0xFF); // blue
}

} // namespace

bool CUSBDriver::EnsureOpen() {
    return m_bOpened != 0 || OpenDevice();
}

bool CUSBDriver::WriteReport(std::uint16_t deviceId, std::uint8_t* report, std::uint32_t length) {
    return HidLibrary().Write(deviceId, report, length, 0) != 0;
}

bool CUSBDriver::ReadReport(std::uint16_t deviceId, std::uint8_t* report, std::uint32_t length) {
    return HidLibrary().Read(deviceId, report, length, 0) != 0;
}

bool CUSBDriver::WriteCommand(std::uint8_t (&report)[kCommandReportSize]) {
    return WriteReport(GetDeviceIdByUsage(kUsageCommands), report, kCommandReportSize);
}

int CUSBDriver::GetFirmwareVersion(std::uint8_t& a, std::uint8_t& b) {
    if (!EnsureOpen())
        return kCommandFailed;
    std::uint8_t report[kCommandReportSize] = {kGroupSettings, kCmdFirmwareQuery};
    const std::uint16_t id = GetDeviceIdByUsage(kUsageCommands);
    Clock().Sleep(kFirmwareQueryPause);
    const bool written = WriteReport(id, report, kCommandReportSize);
    Clock().Sleep(m_nCommandDelay);
    const bool read = ReadReport(id, report, kCommandReportSize);
    a = report[2];
    b = report[3];
    Clock().Sleep(m_nCommandDelay);
    return Result(written && read);
}

int CUSBDriver::GetDeviceSlot(std::uint8_t& slot) {
    if (!EnsureOpen())
        return kCommandFailed;
    std::uint8_t report[kSlotQuerySize] = {kGroupSettings, kCmdSlotQuery};
    const std::uint16_t id = GetDeviceIdByUsage(kUsageCommands);
    const bool written = WriteReport(id, report, kSlotQuerySize);
    Clock().Sleep(kSlotQueryPause);
    const bool read = ReadReport(id, report, kSlotQuerySize);
    // The keyboard may name slot 0 as 6.
    slot = report[2] == 6 ? 0 : report[2];
    Clock().Sleep(m_nCommandDelay);
    return Result(written && read);
}

int CUSBDriver::SetPollingRate(std::uint32_t rate) {
    if (!EnsureOpen())
        return kCommandFailed;
    std::uint8_t report[kCommandReportSize] = {kGroupSettings, kCmdPollingRate,
                                               static_cast<std::uint8_t>(1u << (rate % 32))};
    const bool written = WriteCommand(report);
    Clock().Sleep(m_nCommandDelay);
    return Result(written);
}

int CUSBDriver::SetKeyMode(std::uint32_t mode) {
    if (!EnsureOpen())
        return kCommandFailed;
    std::uint8_t report[kCommandReportSize] = {kGroupSettings, kCmdKeyMode,
                                               static_cast<std::uint8_t>(mode)};
    const bool written = WriteCommand(report);
    Clock().Sleep(m_nCommandDelay);
    return Result(written);
}

int CUSBDriver::SetDeviceSlot(std::uint32_t slot) {
    if (m_bOpened == 0)
        return kCommandFailed;
    std::uint8_t report[kCommandReportSize] = {kGroupSlot, kCmdSelectSlot,
                                               static_cast<std::uint8_t>(slot)};
    const bool written = WriteCommand(report);
    Clock().Sleep(m_nCommandDelay);
    return Result(written);
}

void CUSBDriver::SetLightEffect(std::uint8_t slot, std::uint8_t effect) {
    if (!EnsureOpen())
        return;
    std::uint8_t report[kCommandReportSize] = {kGroupSlot, kCmdLightEffect, slot, effect};
    WriteCommand(report);
    Clock().Sleep(kLightingPause);
}

void CUSBDriver::SetLightColor(std::uint32_t color, std::uint8_t slot) {
    if (!EnsureOpen())
        return;
    std::uint8_t report[kCommandReportSize] = {kGroupSlot, kCmdLightColor, slot, kLightColorMarker};
    SetColor(report + 4, color);
    WriteCommand(report);
    Clock().Sleep(kLightingPause);
}

int CUSBDriver::SetKeyColor(std::uint32_t color, std::uint8_t slot, std::uint8_t position) {
    if (!EnsureOpen())
        return kCommandFailed;
    std::uint8_t report[kCommandReportSize] = {kGroupSlot, kCmdKeyColor, slot, position};
    SetColor(report + 4, color);
    const bool written = WriteCommand(report);
    Clock().Sleep(kKeyColorPause);
    return Result(written);
}

int CUSBDriver::SendCommand0F() {
    if (!EnsureOpen())
        return kCommandFailed;
    std::uint8_t report[kCommandReportSize] = {kGroupSlot, kCmdPrepareUpload};
    const bool written = WriteCommand(report);
    Clock().Sleep(kLightingPause);
    return Result(written);
}

int CUSBDriver::WriteKeyMatrix(std::uint8_t slot, const std::uint8_t (&matrix)[kMatrixSize]) {
    const std::uint8_t header[kCommandReportSize] = {kGroupSlot, kCmdKeyMatrixHeader, slot};
    return WriteChunked(slot, header, kUsageKeyMatrix, kGroupKeyMatrixChunk, matrix,
                        kKeyMatrixChunks);
}

int CUSBDriver::WriteMacro(std::uint8_t slot, const std::uint8_t (&block)[kMacroBlockSize],
                           std::uint8_t position) {
    const std::uint8_t header[kCommandReportSize] = {kGroupSlot, kCmdMacroHeader, slot,
                                                     static_cast<std::uint8_t>(position + 1),
                                                     kMacroHeaderMarker};
    // On the wire the block is followed by four zero bytes.
    std::uint8_t data[kMacroChunks * kChunkBytes] = {};
    std::memcpy(data, block, kMacroBlockSize);
    return WriteChunked(slot, header, kUsageMacros, kGroupMacroChunk, data, kMacroChunks);
}

int CUSBDriver::WriteChunked(std::uint8_t slot, const std::uint8_t (&header)[kCommandReportSize],
                             std::uint16_t chunkUsage, std::uint8_t chunkGroup,
                             const std::uint8_t* data, int chunks) {
    if (!EnsureOpen())
        return kCommandFailed;
    // The key matrix and the macros of slot 0 are never written.
    if (slot == 0)
        return kCommandDone;

    std::uint8_t report[kCommandReportSize];
    std::memcpy(report, header, kCommandReportSize);
    const bool written = WriteCommand(report);
    Clock().Sleep(kChunkHeaderPause);

    const std::uint16_t chunkId = GetDeviceIdByUsage(chunkUsage);
    for (int i = 1; i <= chunks; ++i) {
        report[0] = chunkGroup;
        report[1] = static_cast<std::uint8_t>(i);
        std::memcpy(report + 2, data + static_cast<std::size_t>(kChunkBytes) * (i - 1),
                    kChunkBytes);
        WriteReport(chunkId, report, kCommandReportSize);
        Clock().Sleep(kChunkPause);
    }
    return Result(written);
}

} // namespace orv
