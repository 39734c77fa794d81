// A modelled HID stack with the keyboard on it, behaving as Windows does with
// a real one: the keyboard (vendor id 0x258A, product id 0x0090) shows its
// five vendor collections (usage page 0xFF00, usages 1 to 5) beside a few
// collections of other devices; every open handle gets its own copy of each
// input report, in a buffer of kInputBuffer reports that drops the oldest
// when full; reports must be exactly the lengths the capabilities give.
//
// The keyboard answers the firmware query (07 80) and the slot query
// (07 81) and takes the slot command (0A 03 s) as its own, as in
// docs/keyboard-reports.md. Its replies come either as input reports on the
// collection that was written to, or through that collection's feature
// report (ReplyVia).
//
// Scripted faults: the keyboard pulled out (waiting reads end with
// NotConnected), every handle going stale as after sleep (reads and writes
// fail with a general error until the collection is opened again), writes
// that never complete, opens that fail.
//
// Standard C++ only and deterministic: nothing happens by itself; input
// reports come from SendInput, from the SetBeforeReply hook or as replies.
// Device-change notices are delivered on the thread that plugs or unplugs.
#pragma once

#include "hiddevice/hid_stack.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orv::hid::model {

enum class ReplyVia { InputReports, FeatureReports };

struct PostedMessage {
    WndHandle wnd;
    MsgId msg;
    WParam wParam;
    LParam lParam;
};

class ModelStack final : public IHidStack {
public:
    static constexpr std::size_t kInputBuffer = 32;
    static constexpr std::uint16_t kInputLength = 9;
    static constexpr std::uint16_t kOutputLength = 9;
    static constexpr std::uint16_t kFeatureLength = 264;
    static constexpr int kForeignCollections = 4; // a mouse, a headset, ...

    explicit ModelStack(ReplyVia via = ReplyVia::InputReports, bool plugged = true);
    ~ModelStack() override;

    std::vector<CollectionInfo> Enumerate() override;
    std::unique_ptr<IHidHandle> Open(const std::u16string& path) override;
    void Watch(std::function<void()> onChange) override;
    bool Post(WndHandle wnd, MsgId msg, WParam wParam, LParam lParam) override;

    // The person at the keyboard.
    void Plug();
    void Unplug();
    bool Plugged();
    // An input report from the collection with this usage (padded to the
    // input length); false when the keyboard is out.
    bool SendInput(std::uint16_t usage, const std::vector<std::uint8_t>& report);
    void SetVersion(std::uint8_t a, std::uint8_t b);
    void SetSlot(std::uint8_t slot);
    std::uint8_t Slot();

    // Sleep and resume: every handle open now goes stale.
    void Resume();
    // Writes wait for their whole limit and time out (until turned off).
    void HangWrites(bool on);
    // The next `count` opens of the keyboard's collections fail.
    void FailOpens(int count);
    // Whether the keyboard answers its queries at all (the default).
    void AnswerQueries(bool on);

    // Called after a query is taken and before its reply is made, without
    // the stack's lock, on the writer's thread: what it sends arrives ahead
    // of the reply. Set it before the keyboard is used.
    void SetBeforeReply(std::function<void(std::uint16_t usage)> hook);

    // Called with every report the keyboard takes (usage, the bytes as
    // written), under the stack's lock: it must not call back. Set it before
    // the keyboard is used.
    void SetOnTake(std::function<void(std::uint16_t, const std::vector<std::uint8_t>&)> hook);

    // Called with every message posted (the library's notices); none when
    // not set. Messages are also kept.
    std::function<void(const PostedMessage&)> onPost;
    std::vector<PostedMessage> Posted();

    // Counts, for the tests and the benchmark.
    int Enumerations();
    int Opens();
    // Reports written to the keyboard, by usage, in order (exact lengths).
    std::vector<std::vector<std::uint8_t>> Written(std::uint16_t usage);

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace orv::hid::model
