#include "storage/ini_file.h"

#include "base/wstr.h"
#include "platform/platform.h"

namespace orv {

namespace {

constexpr std::string_view kUtf16Mark = "\xFF\xFE";

// A commit applies its writes again to a file that another program changed
// under it, after a short pause that lets a burst of that program's writes
// end. Against one that never pauses it stops waiting after a while and
// replaces the file anyway, taking back in what slipped in; and after more
// rounds still it leaves that to the next commit.
constexpr int kWaitingRounds = 50;
constexpr int kMergingRounds = 100;
constexpr std::uint32_t kWaitMs = 2;

// The platform's integer reader looks at no more than this many units.
constexpr std::size_t kReadIntChars = 29;

std::u16string CutToReadBuffer(std::u16string_view text) {
    return std::u16string(text.substr(0, kReadStringChars - 1));
}

} // namespace

// ---------------------------------------------------------------- session

// The keys that `after` holds with another value than `before`: another
// program's changes, which a switch to `placed` put out of the file.
std::vector<CIniSession::SlippedIn> CIniSession::ChangesPutOut(std::string_view before,
                                                               std::string_view after,
                                                               const ini::Document& placed) {
    ini::Document was = ini::Document::Parse(before);
    ini::Document now = ini::Document::Parse(after);
    std::vector<SlippedIn> changes;
    for (const auto& [section, key] : now.Keys()) {
        auto value = now.Find(section, key);
        if (!value || was.Find(section, key) == value)
            continue;
        auto ours = placed.Find(section, key);
        changes.push_back({{section, key, std::u16string(*value)},
                           ours ? std::optional<std::u16string>(*ours) : std::nullopt});
    }
    return changes;
}

const ini::Document& CIniSession::Doc() {
    if (!m_loaded) {
        m_loaded = true;
        if (PathUsable() && Files().ReadAll(m_path, m_bytes) == ReadResult::Ok) {
            m_readOk = true;
            m_doc = ini::Document::Parse(m_bytes);
        } else {
            m_bytes.clear();
        }
    }
    return m_doc;
}

std::u16string CIniSession::ReadString(std::u16string_view section, std::u16string_view key,
                                       std::u16string_view def) {
    auto value = Doc().Find(section, key);
    return CutToReadBuffer(value ? ini::StripQuotes(*value) : def);
}

std::int32_t CIniSession::ReadInt(std::u16string_view section, std::u16string_view key,
                                  std::int32_t def) {
    auto value = Doc().Find(section, key);
    if (!value)
        return def;
    std::u16string_view text = ini::StripQuotes(*value).substr(0, kReadIntChars);
    return text.empty() ? def : ini::ParseInteger(text);
}

bool CIniSession::ReadStruct(std::u16string_view section, std::u16string_view key, void* data,
                             std::size_t size) {
    auto value = Doc().Find(section, key);
    return value && ini::DecodeStruct(*value, data, size);
}

void CIniSession::WriteString(std::u16string_view section, std::u16string_view key,
                              std::u16string_view value) {
    Doc();
    m_edits.push_back({std::u16string(section), std::u16string(key), std::u16string(value)});
    m_changed = m_doc.Set(section, key, value) || m_changed;
}

void CIniSession::WriteInt(std::u16string_view section, std::u16string_view key,
                           std::int32_t number) {
    WriteString(section, key, FormatW(u"%d", number));
}

void CIniSession::WriteStruct(std::u16string_view section, std::u16string_view key,
                              const void* data, std::size_t size) {
    WriteString(section, key, ini::EncodeStruct(data, size));
}

bool CIniSession::Commit() {
    if (m_edits.empty())
        return true;
    std::vector<Edit> edits = std::move(m_edits);
    m_edits.clear();
    bool changed = m_changed;
    m_changed = false;
    if (!PathUsable())
        return false;
    // Writes that leave the file as it was read need no new file.
    if (!changed && m_readOk)
        return true;

    std::vector<SlippedIn> putOut;
    // Read the file again: another program may have written it since. The
    // new file only takes the place of the one the writes were applied to;
    // when another program wrote in between, they are applied again.
    for (int round = 0;; ++round) {
        std::string bytes;
        ReadResult read = Files().ReadAll(m_path, bytes);
        if (read == ReadResult::NotFound) {
            // A new file appears with all the writes at once: one that a kill
            // left holding only its byte-order mark would pass for written.
            ini::Document fresh = ini::Document::Parse(kUtf16Mark);
            for (const Edit& edit : edits)
                fresh.Set(edit.section, edit.key, edit.value);
            std::string out = fresh.Serialize();
            if (Files().CreateNew(m_path, out)) {
                m_doc = std::move(fresh);
                m_loaded = true;
                m_readOk = true;
                m_bytes = std::move(out);
                return true;
            }
            // Another program may have made it meanwhile: write into theirs.
            read = Files().ReadAll(m_path, bytes);
        }
        // A file that cannot be read is never replaced: its keys would be lost.
        if (read != ReadResult::Ok)
            return false;

        if (!m_readOk || bytes != m_bytes) {
            m_doc = ini::Document::Parse(bytes);
            changed = false;
            // Their changes go back in unless they have changed the key again.
            for (const SlippedIn& change : putOut) {
                auto now = m_doc.Find(change.edit.section, change.edit.key);
                if (change.placed ? now == change.placed : !now)
                    changed = m_doc.Set(change.edit.section, change.edit.key, change.edit.value) ||
                              changed;
            }
            for (const Edit& edit : edits)
                changed = m_doc.Set(edit.section, edit.key, edit.value) || changed;
        }
        m_loaded = true;
        m_readOk = true;
        m_bytes = std::move(bytes);
        if (!changed)
            return true;
        std::string out = m_doc.Serialize();
        std::string replaced;
        ReplaceOutcome outcome =
            Files().ReplaceChecked(m_path, m_bytes, out, round >= kWaitingRounds, replaced);
        if (outcome == ReplaceOutcome::Failed)
            return false;
        if (outcome == ReplaceOutcome::Changed)
            Clock().Sleep(kWaitMs);
        if (outcome == ReplaceOutcome::Done) {
            if (replaced.empty() || round >= kMergingRounds) {
                m_bytes = std::move(out);
                return true;
            }
            // Another program wrote the file between the last look and the
            // switch: its changes go in again, under ours, in one more round.
            for (SlippedIn& change : ChangesPutOut(m_bytes, replaced, m_doc))
                putOut.push_back(std::move(change));
            m_readOk = false;
        }
    }
}

// ---------------------------------------------------------------- single calls

void CIniFile::EnsureExists() const {
    if (!m_path.empty() && m_path.size() <= kMaxIniPath && !Files().Exists(m_path))
        Files().CreateNew(m_path, kUtf16Mark);
}

std::u16string CIniFile::ReadString(std::u16string_view section, std::u16string_view key,
                                    std::u16string_view def) const {
    return CIniSession(*this).ReadString(section, key, def);
}

std::int32_t CIniFile::ReadInt(std::u16string_view section, std::u16string_view key,
                               std::int32_t def) const {
    return CIniSession(*this).ReadInt(section, key, def);
}

bool CIniFile::ReadStruct(std::u16string_view section, std::u16string_view key, void* data,
                          std::size_t size) const {
    return CIniSession(*this).ReadStruct(section, key, data, size);
}

int CIniFile::WriteString(std::u16string_view section, std::u16string_view key,
                          std::u16string_view value) const {
    CIniSession session(*this);
    session.WriteString(section, key, value);
    return session.Commit() ? 1 : 0;
}

int CIniFile::WriteInt(std::u16string_view section, std::u16string_view key,
                       std::int32_t number) const {
    CIniSession session(*this);
    session.WriteInt(section, key, number);
    return session.Commit() ? 1 : 0;
}

int CIniFile::WriteStruct(std::u16string_view section, std::u16string_view key, const void* data,
                          std::size_t size) const {
    CIniSession session(*this);
    session.WriteStruct(section, key, data, size);
    return session.Commit() ? 1 : 0;
}

} // namespace orv
