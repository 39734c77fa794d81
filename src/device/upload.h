// Writing a profile into the keyboard: the key matrix and the macro blocks
// made from a PROFILE_DATA, and the sequences of commands an upload sends,
// with the progress it reports on the way.
#pragma once

#include "device/usb_driver.h"
#include "storage/profile_data.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace orv {

// Pauses of the upload itself, on top of each command's own (milliseconds).
constexpr std::uint32_t kPauseAfterMacro = 100;
constexpr std::uint32_t kPauseAfterKeyAssignments = 200;
constexpr std::uint32_t kPauseAfterEffect = 100;
constexpr std::uint32_t kPauseAfterEffectColor = 200;

// Effects that carry colours of their own.
constexpr std::uint8_t kEffectSingleColor = 16;  // followed by the effect colour
constexpr std::uint8_t kEffectPerKeyColors = 19; // followed by every key's colour

// Where the progress bar stands (0..100); called as the upload goes on.
using UploadProgress = std::function<void(int)>;

// Whether a function code is a macro, uploaded as a block of its own.
bool IsMacroFunction(std::int32_t function);

// The key code an assigned key puts into the uploaded matrix; none when it
// keeps the default code.
std::optional<std::uint8_t> AssignedKeyCode(const BUTTON_INFO& key);

// The key matrix of a profile: the default matrix with every assigned key's
// code and every disabled key's 0.
void BuildKeyMatrix(const PROFILE_DATA& profile, std::uint8_t (&matrix)[kMatrixSize]);

// The block a macro key is uploaded as: its two header bytes, then its data.
void BuildMacroBlock(const BUTTON_INFO& key, std::uint8_t (&block)[kMacroBlockSize]);

// The macros of every macro key, then the key matrix.
void WriteKeyAssignments(CUSBDriver& driver, std::uint8_t slot, const PROFILE_DATA& profile,
                         const UploadProgress& progress);
// Every key's colour of the first colour set, then black for the cells
// without a key.
void WriteKeyColors(CUSBDriver& driver, std::uint8_t slot, const LIGHT_DATA& colors);
// The effect, and the colours it carries.
void WriteLighting(CUSBDriver& driver, std::uint8_t slot, const PROFILE_DATA& profile,
                   const UploadProgress& progress);

// What the configuration program asks an upload to write besides the slot.
struct UploadRequest {
    bool lighting = false; // the slot selection and the lighting
    bool prepare = false;  // the preparing command first, then as `lighting`
};

// The whole upload of the current profile into `slot` after the reload:
// the key assignments (never for slot 0), the lighting as asked, and the
// slot selection; the progress runs from 20 to 100.
void UploadProfile(CUSBDriver& driver, std::uint8_t slot, const PROFILE_DATA& profile,
                   UploadRequest request, const UploadProgress& progress);
// Selecting `slot` with its lighting after the reload, from 50 to 100.
void UploadSlotLighting(CUSBDriver& driver, std::uint8_t slot, const PROFILE_DATA& profile,
                        const UploadProgress& progress);

} // namespace orv
